#!/usr/bin/env bash
# Installs the Debian packages the builds and tests need (as root, or through sudo).
#   install-packages.sh          everything: builds, tests, cross builds, Wine
#   install-packages.sh --run    only what building TREVASK.EXE and running it under Wine needs
# Either way it then fetches Wine's i386 DLLs into a cache (tools/wine-i386-dlls.sh),
# which the i386 TREVASK.EXE needs to run under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

build=(cmake ninja-build python3 python3-pefile g++-mingw-w64-i686 g++-mingw-w64-x86-64)
tests=(g++ libgtest-dev clang libclang-rt-14-dev)
# Only the 64-bit Wine: with wine32 present, the wine wrapper picks it and fails on this kernel.
wine=(wine wine64 xvfb xdotool imagemagick)

packages=("${build[@]}" "${wine[@]}")
[ "${1:-}" = "--run" ] || packages+=("${tests[@]}")

sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
    echo "All needed packages are installed."
else
    echo "Installing: ${missing[*]}"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
tools/wine-i386-dlls.sh
