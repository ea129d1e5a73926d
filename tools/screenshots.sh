#!/usr/bin/env bash
# Photographs every screen of the i386 TREVASK.EXE, the file that ships, under
# Wine, for the documentation (docs/screens, or the folder given), and reads
# each back from its pixels. Where the kernel cannot run 32-bit code, it takes
# them in the emulated machine of tools/i386-under-emulation.sh, which shares
# this machine's files, fonts included. Needs the win64 preset's build:
#   cmake --build --preset win64 --target screenshots
set -euo pipefail
cd "$(dirname "$0")/.."

out=$(realpath -m "${1:-docs/screens}")
if /usr/bin/python3 tools/can_run_under_wine.py; then
    exec /usr/bin/python3 tools/wine_walkthrough.py --all-screens "$out"
fi
echo "Taking them under emulation: this machine's kernel cannot run 32-bit code."
mkdir -p "$out"
exec tools/i386-under-emulation.sh --writable "$out" tools/screenshots.sh "$out"
