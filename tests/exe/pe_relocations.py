#!/usr/bin/python3
"""The base relocations of a PE image, and rebasing a copy of it.

    pe_relocations.py rebase EXE COPY BASE

rebase writes COPY: EXE with every relocation applied for the preferred base
BASE (hexadecimal) and the base field changed to match, as a rebase tool does.
The copy then loads at BASE with nothing left for the loader to fix, so a
relocation missing from the table leaves an address pointing into the old
range, and a wrong one corrupts code or data. Needs Debian's python3-pefile.
"""
import sys

import pefile

ABSOLUTE, HIGHLOW, DIR64 = 0, 3, 10  # IMAGE_REL_BASED_*: padding, 32-bit and 64-bit addresses
WIDTH = {HIGHLOW: 4, DIR64: 8}
# The relocation type each machine's images use for an address.
ADDRESS_TYPE = {0x014C: HIGHLOW, 0x8664: DIR64}


def relocations(pe):
    """(rva, type) of every entry of the relocation table, padding included."""
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]])
    return [(entry.rva, entry.type) for block in getattr(pe, "DIRECTORY_ENTRY_BASERELOC", [])
            for entry in block.entries]


def read_address(pe, rva, kind):
    return pe.get_dword_at_rva(rva) if kind == HIGHLOW else pe.get_qword_at_rva(rva)


def rebase(path, copy, new_base):
    pe = pefile.PE(path)
    delta = new_base - pe.OPTIONAL_HEADER.ImageBase
    for rva, kind in relocations(pe):
        if kind == ABSOLUTE:
            continue
        if kind not in WIDTH:
            sys.exit(f"{path}: relocation type {kind} at RVA 0x{rva:x} is not one an x86 image uses")
        mask = (1 << 8 * WIDTH[kind]) - 1
        value = (read_address(pe, rva, kind) + delta) & mask
        if kind == HIGHLOW:
            pe.set_dword_at_rva(rva, value)
        else:
            pe.set_qword_at_rva(rva, value)
    pe.OPTIONAL_HEADER.ImageBase = new_base
    pe.write(copy)


if __name__ == "__main__":
    if len(sys.argv) == 5 and sys.argv[1] == "rebase":
        rebase(sys.argv[2], sys.argv[3], int(sys.argv[4], 16))
    else:
        sys.exit(__doc__)
