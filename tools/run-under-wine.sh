#!/usr/bin/env bash
# Builds the i386 TREVASK.EXE, the file that ships, and opens it under Wine, in
# the project's own Wine prefix (build/wine-prefix), never in ~/.wine. With a
# display you click through it yourself; without one it walks through the
# screens on a virtual display, saves their screenshots in build/wine-screens,
# reads them back from their pixels and prints the registry value before and
# after. Installs what it needs first, Debian's wine32 among it where the
# kernel runs 32-bit code.
#
# On a machine whose kernel cannot run 32-bit x86 code at all, Wine cannot run
# the i386 file; it says so and opens the x86_64 build of the same source.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-packages.sh --run
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target trevask
# The walk's helper that keeps Wine's desktop up is a Windows program of the win64 build.
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target desktop_keeper
if ! /usr/bin/python3 tools/can_run_under_wine.py; then
    cmake --build --preset win64 --target trevask
fi
/usr/bin/python3 tools/wine_walkthrough.py "$@"
