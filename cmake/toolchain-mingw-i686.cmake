# 32-bit Windows executables with MinGW-w64 (Debian: g++-mingw-w64-i686).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TREVASK_MINGW_PREFIX i686-w64-mingw32)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake")
