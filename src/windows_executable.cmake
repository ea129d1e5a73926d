# TREVASK.EXE: the program's code, its own entry point and the compiled
# resources, with no C or C++ runtime. It imports from KERNEL32, USER32 and
# ADVAPI32 only, so it runs on a bare Windows NT 3.51 as on Windows 11.
set(res_object "${CMAKE_CURRENT_BINARY_DIR}/trevask_res.o")
add_custom_command(
    OUTPUT "${res_object}"
    COMMAND "${CMAKE_RC_COMPILER}" -J res -O coff -i "${TREVASK_RES_FILE}" -o "${res_object}"
    DEPENDS trevask_resources "${TREVASK_RES_FILE}"
    COMMENT "Turning the compiled resources into an object to link"
    VERBATIM)
set_source_files_properties("${res_object}" PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)

add_executable(trevask WIN32 ${TREVASK_PROGRAM_SOURCES} app/entry_point.cpp "${res_object}")
set_target_properties(trevask PROPERTIES OUTPUT_NAME TREVASK SUFFIX ".EXE")
target_include_directories(trevask PRIVATE ${TREVASK_INCLUDE_DIRS})
target_compile_options(trevask PRIVATE
    -Os -ffreestanding -fno-exceptions -fno-rtti -fno-stack-protector -fno-stack-check -fno-ident
    -Wall -Wextra -Werror)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # i386 code for the oldest machines NT runs on; stdcall names are decorated.
    # 32-bit Windows unwinds through frame chains, so unwind tables are dead weight.
    target_compile_options(trevask PRIVATE -march=i386 -mtune=generic
        -fno-asynchronous-unwind-tables -fno-unwind-tables)
    set(entry "_WinMainCRTStartup@0")
    # NT 3.x loaders refuse images marked for a newer subsystem.
    set(subsystem "windows:3.10")
    # No structured exception handlers, so none to register (what SafeSEH checks ask).
    # The layout puts read-only data in the code section: see the script.
    set(hardening "LINKER:--no-seh" "LINKER:-T,${CMAKE_CURRENT_SOURCE_DIR}/i386_image.ld")
    set_property(TARGET trevask APPEND PROPERTY LINK_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/i386_image.ld")
else()
    # 64-bit Windows needs unwind tables to pass exceptions through our frames, so they stay.
    set(entry "WinMainCRTStartup")
    # The oldest subsystem version that 64-bit Windows loads.
    set(subsystem "windows:5.02")
    # Addresses anywhere in the 64-bit space, not only below 4 GiB.
    set(hardening "LINKER:--high-entropy-va")
endif()

target_link_options(trevask PRIVATE
    -nostdlib -s
    "LINKER:-e,${entry}"
    "LINKER:--subsystem,${subsystem}"
    "LINKER:--no-insert-timestamp"
    # What went where, for the size report; it changes nothing in the image.
    "LINKER:-Map,${CMAKE_CURRENT_BINARY_DIR}/TREVASK.map"
    # Relocatable (ASLR, and Win32s, which loads every program into one address
    # space), and no code run from data pages. Older loaders ignore both flags
    # and apply the relocations only when they must.
    "LINKER:--dynamicbase,--enable-reloc-section,--nxcompat"
    ${hardening})
# Replaces MinGW's default list of system libraries.
set(CMAKE_CXX_STANDARD_LIBRARIES "")
target_link_libraries(trevask PRIVATE kernel32 user32 advapi32)
