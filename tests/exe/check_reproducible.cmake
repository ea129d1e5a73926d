# Builds TREVASK.EXE and its ZIP twice from scratch, in folders at different
# depths, and checks that both builds and the executable under test are byte
# for byte the same, and the two ZIPs too.
foreach(var SOURCE_DIR TOOLCHAIN WORK_DIR REFERENCE)
    if(NOT ${var})
        message(FATAL_ERROR "${var} is not set")
    endif()
endforeach()

file(REMOVE_RECURSE "${WORK_DIR}")
set(builds "${WORK_DIR}/a" "${WORK_DIR}/second/build/b")
foreach(dir IN LISTS builds)
    execute_process(
        COMMAND "${CMAKE_COMMAND}" -S "${SOURCE_DIR}" -B "${dir}" -G Ninja
                "-DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN}" -DCMAKE_BUILD_TYPE=MinSizeRel -DBUILD_TESTING=OFF
        RESULT_VARIABLE failed OUTPUT_QUIET)
    if(NOT failed)
        execute_process(COMMAND "${CMAKE_COMMAND}" --build "${dir}" --target trevask
                        RESULT_VARIABLE failed OUTPUT_QUIET)
    endif()
    if(NOT failed)
        execute_process(COMMAND "${CMAKE_CPACK_COMMAND}" WORKING_DIRECTORY "${dir}" RESULT_VARIABLE failed OUTPUT_QUIET)
    endif()
    if(failed)
        message(FATAL_ERROR "building in ${dir} failed")
    endif()
endforeach()

set(first "${WORK_DIR}/a/src/TREVASK.EXE")
set(second "${WORK_DIR}/second/build/b/src/TREVASK.EXE")
file(SHA256 "${first}" first_hash)
file(SHA256 "${second}" second_hash)
file(SHA256 "${REFERENCE}" reference_hash)
message(STATUS "first clean build:  ${first_hash}")
message(STATUS "second clean build: ${second_hash}")
message(STATUS "build under test:   ${reference_hash}")
if(NOT first_hash STREQUAL second_hash OR NOT first_hash STREQUAL reference_hash)
    message(FATAL_ERROR "the builds differ")
endif()

file(GLOB first_zip "${WORK_DIR}/a/trevask-*.zip")
file(GLOB second_zip "${WORK_DIR}/second/build/b/trevask-*.zip")
if(NOT first_zip OR NOT second_zip)
    message(FATAL_ERROR "cpack made no ZIP")
endif()
file(SHA256 "${first_zip}" first_zip_hash)
file(SHA256 "${second_zip}" second_zip_hash)
message(STATUS "first clean ZIP:    ${first_zip_hash}")
message(STATUS "second clean ZIP:   ${second_zip_hash}")
if(NOT first_zip_hash STREQUAL second_zip_hash)
    message(FATAL_ERROR "the ZIPs differ")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
