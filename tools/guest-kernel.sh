#!/usr/bin/env bash
# Debian's kernel and the first stage of the emulated machine of
# tools/i386-under-emulation.sh: vmlinuz, and an initrd of busybox, the
# modules tools/guest/modules lists and tools/guest/init. Made once, into the
# cache (tools/cache.sh); nothing is installed.
#
#   guest-kernel.sh          fetch and make them, once; a second run costs nothing
#   guest-kernel.sh --path   print the folder that holds vmlinuz and initrd.gz, or fail
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/cache.sh

fail() {
    echo "guest-kernel: $*" >&2
    exit 1
}

apt-cache show linux-image-amd64 >/dev/null 2>&1 ||
    fail "apt's package lists know no linux-image-amd64: they were never fetched; run apt-get update (as root), then run again"
kernel_package=$(apt-cache depends linux-image-amd64 | sed -n 's/^ *Depends: \(linux-image-[0-9].*-amd64\)$/\1/p' | head -n 1)
[ -n "$kernel_package" ] ||
    fail "linux-image-amd64 depends on no linux-image-VERSION-amd64 package; run apt-get update (as root) to refresh apt's package lists, then run again"
kernel_version=${kernel_package#linux-image-}
# The first stage's own files name the folder too, so that changing them makes it anew.
stage=$(cat tools/guest/init tools/guest/modules | sha256sum | cut -c1-12)
boot="$cache/vm/$kernel_version-$stage"

made_once "guest's kernel" "$boot" "$boot/initrd.gz" "${1:-}"

echo "Fetching Debian's $kernel_package and busybox-static into the cache..."
mkdir -p "$cache/vm"
work=$(mktemp -d "$cache/vm/.partial.XXXXXX")
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get download -q "$kernel_package" busybox-static >download.log 2>&1) ||
    fail "downloading $kernel_package and busybox-static failed: $(tail -n 3 "$work/download.log")"
dpkg-deb -x "$work"/linux-image-*.deb "$work/kernel"
dpkg-deb -x "$work"/busybox-static_*.deb "$work/busybox"
initrd="$work/initrd"
mkdir -p "$initrd/bin" "$initrd/modules" "$initrd/proc" "$initrd/sys" "$initrd/dev" "$initrd/host" \
         "$initrd/over" "$initrd/layer" "$initrd/root"
cp "$work/busybox/bin/busybox" "$initrd/bin/"
cp tools/guest/init "$initrd/init"
while read -r module; do
    cp "$work/kernel/lib/modules/$kernel_version/kernel/$module.ko" "$initrd/modules/" ||
        fail "$kernel_package has no module $module"
    echo "${module##*/}" >>"$initrd/modules/order"
done <tools/guest/modules
mkdir -p "$work/boot"
cp "$work/kernel/boot/vmlinuz-$kernel_version" "$work/boot/vmlinuz"
(cd "$initrd" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/boot/initrd.gz"
mv "$work/boot" "$boot"
echo "The guest's kernel is in $(shown "$boot")"
