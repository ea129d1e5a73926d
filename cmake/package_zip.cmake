# Run by CPack once it has made the ZIP, before it copies it to the build
# folder: makes the archive depend on the files alone, not on when they were built.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
    execute_process(COMMAND "${CPACK_TREVASK_PYTHON}" "${CMAKE_CURRENT_LIST_DIR}/reproducible_zip.py" "${package}"
                    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
