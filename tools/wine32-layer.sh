#!/usr/bin/env bash
# Debian's wine32 and the i386 libraries it needs, unpacked into a folder of
# their own (a layer) in a cache, for the emulated machine of
# tools/i386-under-emulation.sh: laid over this machine's root there, they
# give it the same Wine as a machine with wine32 installed. Nothing is
# installed here, and dpkg's architectures are left alone: on a kernel that
# cannot run 32-bit code, an installed wine32 would break every Wine call.
# The layer is the same on a machine that has wine32 installed: apt works
# out what to fetch as if no i386 package were installed.
#
#   wine32-layer.sh           fetch and unpack them, once; a second run costs nothing
#   wine32-layer.sh --path    print the layer's folder, or fail if it is not there
#
# The cache is that of tools/cache.sh.
set -euo pipefail
source "$(dirname "$0")/cache.sh"

fail() {
    echo "wine32-layer: $*" >&2
    exit 1
}

version=$(dpkg-query -W -f='${Version}' wine64 2>/dev/null) ||
    fail "Wine is not installed; run tools/install-packages.sh first"
layer="$cache/wine32-layer/$version"

made_once "wine32 layer" "$layer" "$layer/.complete" "${1:-}"

# Everything happens in a folder of its own, renamed into place only when
# complete, so that a failed run never leaves something that looks like a layer.
mkdir -p "$cache/wine32-layer"
work=$(mktemp -d "$cache/wine32-layer/.partial.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$work/root"
# What dpkg knows is installed, but for the i386 packages: otherwise, where wine32 is installed, apt
# would fetch nothing at all, since it fetches only what it would install.
awk 'BEGIN { RS = ""; ORS = "\n\n" } !/\nArchitecture: i386\n/' /var/lib/dpkg/status >"$work/status"
# Private lists, archives and status: apt changes nothing of this machine's.
apt_options=(-o "APT::Architectures=amd64,i386" -o "Dir::State::Lists=$work/lists"
             -o "Dir::Cache=$work/cache" -o "Dir::State::status=$work/status" -o Debug::NoLocking=1)

echo "Fetching Debian's wine32 $version and its i386 libraries (about 100 MB, unpacked 700 MB)..."
apt-get "${apt_options[@]}" -q update >"$work/update.log" 2>&1 ||
    fail "step 1 of 3, reading the i386 package lists (apt-get update), failed; check that the Debian archive can be reached and run again. apt said: $(tail -n 3 "$work/update.log")"
apt-get "${apt_options[@]}" -q -y --download-only --no-install-recommends install "wine32:i386=$version" \
    >"$work/download.log" 2>&1 ||
    fail "step 2 of 3, downloading wine32:i386=$version, failed; the archive may have moved on to a newer Wine: upgrade wine and wine64 (tools/install-packages.sh) and run again. apt said: $(tail -n 3 "$work/download.log")"
# apt may also offer newer amd64 packages that the i386 ones pair with; this machine's own stay.
debs=("$work"/cache/archives/*_i386.deb)
[ -f "${debs[0]}" ] ||
    fail "step 2 of 3 fetched no i386 package at all; apt said: $(tail -n 3 "$work/download.log")"
for deb in "${debs[@]}"; do
    dpkg-deb -x "$deb" "$work/root" ||
        fail "step 3 of 3, unpacking ${deb##*/}, failed; check the free space under ${cache/#$HOME/\~} and run again"
done
# This machine's /lib, /bin and the like are links into /usr; a folder of the same name in the
# layer would hide them, so what the packages put there goes where the links point.
for top in "$work"/root/*; do
    name=${top##*/}
    if [ -d "$top" ] && [ -L "/$name" ]; then
        target=$(readlink "/$name")
        mkdir -p "$work/root/${target#/}"
        cp -a "$top/." "$work/root/${target#/}/"
        rm -rf "$top"
    fi
done
# Of the packages' own set-up scripts, which do not run here, Wine's i386 side needs one step:
# libwine's copy of MinGW's zlib1.dll, marked as a Wine builtin DLL, beside its i386 DLLs.
zlib=/usr/i686-w64-mingw32/lib/zlib1.dll
[ -f "$zlib" ] || fail "step 3 of 3 needs $zlib, from libz-mingw-w64; run tools/install-packages.sh --emulator"
out="$work/root/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll"
{ head -c 64 "$zlib"; printf 'Wine builtin DLL'; head -c 16 /dev/zero; tail -c +97 "$zlib"; } >"$out"
[ -x "$work/root/usr/lib/wine/wine" ] && [ -f "$work/root/usr/lib/i386-linux-gnu/wine/i386-windows/kernel32.dll" ] ||
    fail "step 3 of 3 left no i386 Wine loader or kernel32.dll; the packages' layout has changed"
touch "$work/root/.complete"
mv "$work/root" "$layer"
echo "The wine32 layer is in $(shown "$layer")"
