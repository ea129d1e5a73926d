#!/usr/bin/env bash
# Builds the 64-bit TREVASK.EXE and opens it under Wine, in the project's own
# Wine prefix (build/wine-prefix), never in ~/.wine. With a display you click
# through it yourself; without one it walks through the screens on a virtual
# display, saves their screenshots in build/wine-screens and prints the
# registry value before and after. Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-packages.sh --run
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target trevask
/usr/bin/python3 tools/wine_walkthrough.py --exe build/win64/src/TREVASK.EXE --prefix build/wine-prefix \
    --screens build/wine-screens "$@"
