# Shared body of the MinGW-w64 toolchain files; they set TREVASK_MINGW_PREFIX
# (i686-w64-mingw32 or x86_64-w64-mingw32) and CMAKE_SYSTEM_PROCESSOR first.
if(NOT TREVASK_MINGW_PREFIX)
    message(FATAL_ERROR "TREVASK_MINGW_PREFIX is not set: use cmake/toolchain-mingw-i686.cmake or "
                        "cmake/toolchain-mingw-x86_64.cmake")
endif()

set(CMAKE_SYSTEM_NAME Windows)

find_program(CMAKE_C_COMPILER NAMES ${TREVASK_MINGW_PREFIX}-gcc)
find_program(CMAKE_CXX_COMPILER NAMES ${TREVASK_MINGW_PREFIX}-g++)
find_program(CMAKE_RC_COMPILER NAMES ${TREVASK_MINGW_PREFIX}-windres)
foreach(tool CMAKE_C_COMPILER CMAKE_CXX_COMPILER CMAKE_RC_COMPILER)
    if(NOT ${tool})
        message(FATAL_ERROR "${tool}: no ${TREVASK_MINGW_PREFIX} compiler found: run tools/install-packages.sh")
    endif()
endforeach()

set(CMAKE_FIND_ROOT_PATH /usr/${TREVASK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
