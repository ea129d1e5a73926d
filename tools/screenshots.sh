#!/usr/bin/env bash
# Photographs every screen of the i386 TREVASK.EXE, the file that ships, under
# Wine, for the documentation (docs/screens, or the folder given), and reads
# each back from its pixels. Where the kernel cannot run 32-bit code, it takes
# them in the emulated machine of tools/i386-under-emulation.sh, which shares
# this machine's files, fonts included. Needs the win64 preset's build:
#   cmake --build --preset win64 --target screenshots
set -euo pipefail
cd "$(dirname "$0")/.."

out=${1:-docs/screens}
exe=build/win32/src/TREVASK.EXE
if /usr/bin/python3 tools/can_run_under_wine.py "$exe"; then
    /usr/bin/python3 tools/wine_walkthrough.py --exe "$exe" --prefix build/win64/tests/e2e/screenshot-prefix \
        --all-screens "$out" --seed-helper build/win64/tests/e2e/registry_seed.exe \
        --preview-helper build/win64/tests/e2e/screen_preview.exe
else
    echo "Taking them under emulation: this machine's kernel cannot run 32-bit code."
    tools/i386-under-emulation.sh --screenshots "$out"
fi
