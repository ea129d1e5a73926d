# The distributable: a ZIP archive with TREVASK.EXE and a readme for the
# administrator who runs it (cpack in the build folder of win32 or win64).
set(admin_readme "${PROJECT_BINARY_DIR}/README.TXT")
file(READ "${PROJECT_SOURCE_DIR}/docs/README.TXT" text)
string(REPLACE "\n" "\r\n" text "${text}")  # Notepad on older systems needs CR LF
file(WRITE "${admin_readme}" "${text}")

install(TARGETS trevask RUNTIME DESTINATION .)
install(FILES "${admin_readme}" DESTINATION .)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(arch win32)
else()
    set(arch win64)
endif()
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME trevask)
set(CPACK_PACKAGE_FILE_NAME "trevask-${PROJECT_VERSION}-${arch}")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
# Two builds of the same source give the same ZIP: fixed times and order.
set(CPACK_POST_BUILD_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}/package_zip.cmake")
set(CPACK_TREVASK_PYTHON "${TREVASK_PYTHON}")
include(CPack)
