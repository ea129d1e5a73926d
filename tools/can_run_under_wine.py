#!/usr/bin/python3
"""Says whether this machine can run an executable under Wine at all.

    can_run_under_wine.py EXE
    can_run_under_wine.py        whether it could run an i386 one

Exits 0 when it can; otherwise prints why not and exits 1. An i386 program
needs a kernel that runs 32-bit code, which some do not.
"""
import sys

from trevask import kernel

if __name__ == "__main__":
    if len(sys.argv) > 2:
        sys.exit(__doc__)
    reason = kernel.unable_to_run(sys.argv[1]) if len(sys.argv) == 2 else kernel.unable_to_run_i386()
    if reason:
        sys.exit(reason)
