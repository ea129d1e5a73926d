#!/usr/bin/python3
"""Rebases a copy of an executable, as a rebase tool does.

    rebase.py EXE COPY BASE

Every relocation is applied for the preferred base BASE (hexadecimal) and the
base field changed to match. The copy then loads at BASE with nothing left for
the loader to fix, so a relocation missing from the table leaves an address
pointing into the old range, and a wrong one corrupts code or data.
"""
import sys

from trevask import pe

if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    try:
        pe.rebase(sys.argv[1], sys.argv[2], int(sys.argv[3], 16))
    except ValueError as problem:
        sys.exit(str(problem))
