#!/usr/bin/python3
"""Says whether this machine can run an executable under Wine at all.

    can_run_under_wine.py EXE

Exits 0 when it can; otherwise prints why not and exits 1. An i386 program
needs a kernel that lets a 64-bit process run 32-bit code, which some do not.
"""
import sys

from trevask import wine

if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    reason = wine.unable_to_run(sys.argv[1])
    if reason:
        sys.exit(reason)
