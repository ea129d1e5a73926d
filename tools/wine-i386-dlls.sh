#!/usr/bin/env bash
# Wine's own i386 DLLs, which its WoW64 mode needs to run 32-bit Windows
# programs, in a cache folder outside the source tree. They come from Debian's
# libwine:i386 of the same version as the installed Wine, downloaded (never
# installed: dpkg's architectures are left alone, and wine32 stays out, since
# the wine wrapper would pick it and fail on a 64-bit-only kernel).
#
#   wine-i386-dlls.sh           fetch and unpack them, once; a second run costs nothing
#   wine-i386-dlls.sh --path    print the folder to give Wine as WINEDLLPATH, or fail if it is not there
#
# The cache is TREVASK_CACHE, or ~/.cache/trevask (XDG_CACHE_HOME is honoured).
set -euo pipefail

cache="${TREVASK_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/trevask}"

fail() {
    echo "wine-i386-dlls: $*" >&2
    exit 1
}

version=$(dpkg-query -W -f='${Version}' libwine 2>/dev/null) ||
    fail "Wine is not installed; run tools/install-packages.sh first"
root="$cache/wine-i386/$version"
dll_path="$root/usr/lib/i386-linux-gnu/wine"
shown="${root/#$HOME/\~}"  # for messages

if [ "${1:-}" = "--path" ]; then
    [ -f "$root/.complete" ] || fail "no i386 Wine DLLs in $shown; run tools/wine-i386-dlls.sh"
    echo "$dll_path"
    exit 0
fi
if [ -f "$root/.complete" ]; then
    echo "Wine's i386 DLLs are in the cache."
    exit 0
fi

# Everything happens in a folder of its own, renamed into place only when
# complete, so that a failed run never leaves something that looks like a cache.
mkdir -p "$cache/wine-i386"
work=$(mktemp -d "$cache/wine-i386/.partial.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$work/download" "$work/root"
apt_options=(-o "APT::Architectures::=i386" -o "Dir::State::Lists=$work/lists" -o "Dir::Cache=$work/cache"
             -o Debug::NoLocking=1)

echo "Fetching Wine's i386 DLLs (libwine:i386 $version, about 95 MB, unpacked 550 MB)..."
apt-get "${apt_options[@]}" -q update >"$work/update.log" 2>&1 ||
    fail "step 1 of 3, reading the i386 package lists (apt-get update), failed; check that deb.debian.org can be reached and run again. apt said: $(tail -n 3 "$work/update.log")"
(cd "$work/download" && apt-get "${apt_options[@]}" -q download "libwine:i386=$version") >"$work/download.log" 2>&1 ||
    fail "step 2 of 3, downloading libwine:i386=$version, failed; the archive may have moved on to a newer Wine: upgrade wine and wine64 (tools/install-packages.sh) and run again. apt said: $(tail -n 3 "$work/download.log")"
deb=("$work"/download/libwine_*_i386.deb)
# Only the Windows half is needed: the Linux half of each DLL is the system's 64-bit one.
dpkg-deb --fsys-tarfile "${deb[0]}" | tar -x -C "$work/root" --wildcards './usr/lib/i386-linux-gnu/wine/i386-windows/*' ||
    fail "step 3 of 3, unpacking ${deb[0]##*/}, failed; check the free space under ${cache/#$HOME/\~} and run again"
[ -f "$work/root/usr/lib/i386-linux-gnu/wine/i386-windows/kernel32.dll" ] ||
    fail "step 3 of 3, unpacking ${deb[0]##*/}, left no i386 kernel32.dll; the package's layout has changed"
# Wine looks for the Linux half of a DLL (the display driver's winex11.so, say)
# beside the folder it loaded the DLL from.
ln -s /usr/lib/x86_64-linux-gnu/wine/x86_64-unix "$work/root/usr/lib/i386-linux-gnu/wine/x86_64-unix"
touch "$work/root/.complete"
mv "$work/root" "$root"
echo "Wine's i386 DLLs are in $shown"
