"""What a PE image is made of, as the checks and the Wine sessions read it:
its machine, its place in memory, its imports and its base relocations.
Needs Debian's python3-pefile.
"""
import pefile

I386, X86_64 = 0x014C, 0x8664
ABSOLUTE, HIGHLOW, DIR64 = 0, 3, 10  # IMAGE_REL_BASED_*: padding, 32-bit and 64-bit addresses
WIDTH = {HIGHLOW: 4, DIR64: 8}
# The relocation type each machine's images use for an address.
ADDRESS_TYPE = {I386: HIGHLOW, X86_64: DIR64}


def image_of(path):
    """(whether it is an i386 image, first address, end address) when loaded at its preferred base."""
    pe = pefile.PE(path, fast_load=True)
    header = pe.OPTIONAL_HEADER
    return pe.FILE_HEADER.Machine == I386, header.ImageBase, header.ImageBase + header.SizeOfImage


def imports(pe):
    """{DLL name in capitals: set of function names (or #ordinals)} that the image imports."""
    found = {}
    for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
        found.setdefault(entry.dll.decode().upper(), set()).update(
            imp.name.decode() if imp.name else f"#{imp.ordinal}" for imp in entry.imports)
    return found


def imported_functions(path):
    """Every function name the executable imports, from any DLL."""
    return set().union(*imports(pefile.PE(path)).values())


def relocations(pe):
    """(rva, type) of every entry of the relocation table, padding included."""
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]])
    return [(entry.rva, entry.type) for block in getattr(pe, "DIRECTORY_ENTRY_BASERELOC", [])
            for entry in block.entries]


def read_address(pe, rva, kind):
    return pe.get_dword_at_rva(rva) if kind == HIGHLOW else pe.get_qword_at_rva(rva)


def rebase(path, copy, new_base):
    """Writes copy: the image with every relocation applied for new_base and the base field changed to
    match, as a rebase tool does. The copy loads at new_base with nothing left for the loader to fix."""
    pe = pefile.PE(path)
    delta = new_base - pe.OPTIONAL_HEADER.ImageBase
    for rva, kind in relocations(pe):
        if kind == ABSOLUTE:
            continue
        if kind not in WIDTH:
            raise ValueError(f"{path}: relocation type {kind} at RVA 0x{rva:x} is not one an x86 image uses")
        value = (read_address(pe, rva, kind) + delta) & ((1 << 8 * WIDTH[kind]) - 1)
        if kind == HIGHLOW:
            pe.set_dword_at_rva(rva, value)
        else:
            pe.set_qword_at_rva(rva, value)
    pe.OPTIONAL_HEADER.ImageBase = new_base
    pe.write(copy)
