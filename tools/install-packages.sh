#!/usr/bin/env bash
# Installs the Debian packages the builds and tests need (as root, or through sudo).
#   install-packages.sh             everything: builds, tests, cross builds, Wine
#   install-packages.sh --run       only what building TREVASK.EXE and running it under Wine needs
#   install-packages.sh --emulator  only what the emulated machine of tools/i386-under-emulation.sh needs
# Where the kernel runs 32-bit x86 code it also installs Debian's wine32, which
# runs the i386 TREVASK.EXE; where it does not, wine32 would break every Wine
# call, so it stays out (tools/i386-under-emulation.sh runs the i386 file there).
set -euo pipefail
cd "$(dirname "$0")/.."

build=(cmake ninja-build python3 python3-pefile g++-mingw-w64-i686 g++-mingw-w64-x86-64)
tests=(g++ libgtest-dev clang libclang-rt-14-dev)
# Wine with its own fonts (MS Sans Serif among them), a virtual display to run it on, and what
# photographs the screens and reads them back.
wine=(wine wine64 fonts-wine xvfb xdotool imagemagick python3-pil tesseract-ocr tesseract-ocr-eng)
# qemu's software CPU runs 32-bit code on any kernel; cpio packs the guest's first stage; the wine32
# layer takes its zlib1.dll from MinGW's zlib (which Wine itself depends on).
emulator=(qemu-system-x86 cpio libz-mingw-w64)

case "${1:-}" in
"") packages=("${build[@]}" "${wine[@]}" "${tests[@]}") ;;
--run) packages=("${build[@]}" "${wine[@]}") ;;
--emulator) packages=("${emulator[@]}") ;;
*) sed -n '2,5s/^# //p' "$0" >&2; exit 2 ;;
esac

sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo
missing() {
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || echo "$package"
    done
}
install() {
    echo "Installing: $*"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "$@"
}

mapfile -t needed < <(missing "${packages[@]}")
if [ ${#needed[@]} -eq 0 ]; then
    echo "All needed packages are installed."
else
    $sudo apt-get update
    install "${needed[@]}"
fi
[ "${1:-}" != --emulator ] || exit 0

if /usr/bin/python3 tools/can_run_under_wine.py; then
    if [ -n "$(missing wine32:i386)" ]; then
        echo "This kernel runs 32-bit code, so Debian's wine32 runs the i386 TREVASK.EXE here."
        dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
        $sudo apt-get update
        install wine32:i386
    fi
else
    echo "So neither the i386 architecture nor wine32 is installed: there wine32 would break every Wine call."
fi
