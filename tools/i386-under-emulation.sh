#!/usr/bin/env bash
# Runs the end-to-end scenarios on the i386 TREVASK.EXE on a machine whose
# kernel cannot run 32-bit x86 code (there the e2e_i386_* tests are skipped).
#
#   tools/i386-under-emulation.sh [SCENARIO...]
#
# It boots Debian's own kernel under qemu's software CPU, which does run
# 32-bit code, with this machine's root shared read-only beneath a writable
# layer in memory, so the guest runs the same Wine, the same builds and the
# same scenarios. Inside, it makes a Wine prefix with the i386 DLLs and runs
# each scenario on the i386 file (all of them unless named), then the typical
# ones on its rebased copy. It prints each result and fails if any scenario
# does. Expect about half a minute a scenario.
#
# Needs the win64 preset's build (which builds the i386 file and its rebased
# copy) and Wine's i386 DLLs (tools/install-packages.sh). Installs qemu and
# cpio, and keeps the kernel and busybox, downloaded from Debian, in
# ~/.cache/trevask/vm.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

i386_exe=build/win32/src/TREVASK.EXE
rebased_exe=build/win64/tests/e2e/rebased-i386/TREVASK.EXE
seed_helper=build/win64/tests/e2e/registry_seed.exe
for file in "$i386_exe" "$rebased_exe" "$seed_helper"; do
    [ -f "$file" ] || { echo "$file is missing: cmake --preset win64 && cmake --build --preset win64" >&2; exit 1; }
done
tools/wine-i386-dlls.sh >/dev/null

sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo
for package in qemu-system-x86 cpio; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        $sudo apt-get update -q
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends qemu-system-x86 cpio
        break
    fi
done

# The kernel and the tools of the guest's first stage, once.
cache="${TREVASK_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/trevask}/vm"
kernel_package=$(apt-cache depends linux-image-amd64 | sed -n 's/^ *Depends: \(linux-image-[0-9].*-amd64\)$/\1/p' | head -n 1)
[ -n "$kernel_package" ] || { echo "cannot tell which kernel linux-image-amd64 stands for" >&2; exit 1; }
kernel_version=${kernel_package#linux-image-}
boot="$cache/$kernel_version"
if [ ! -f "$boot/initrd.gz" ]; then
    echo "Fetching Debian's $kernel_package and busybox-static into the cache..."
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    (cd "$work" && apt-get download -q "$kernel_package" busybox-static 2>&1 | grep -v -e unsandboxed -e '^Get:' || true)
    ls "$work"/linux-image-*.deb "$work"/busybox-static_*.deb >/dev/null
    dpkg-deb -x "$work"/linux-image-*.deb "$work/kernel"
    dpkg-deb -x "$work"/busybox-static_*.deb "$work/busybox"
    mkdir -p "$work/initrd/bin" "$work/initrd/modules" "$work/initrd/proc" "$work/initrd/sys" "$work/initrd/dev" \
             "$work/initrd/host" "$work/initrd/layer" "$work/initrd/root"
    cp "$work/busybox/bin/busybox" "$work/initrd/bin/"
    # Virtio, the 9p file system that shares this machine's root, and overlayfs, in load order.
    modules="drivers/virtio/virtio_ring drivers/virtio/virtio drivers/virtio/virtio_pci_modern_dev
             drivers/virtio/virtio_pci_legacy_dev drivers/virtio/virtio_pci fs/netfs/netfs fs/fscache/fscache
             net/9p/9pnet net/9p/9pnet_virtio fs/9p/9p fs/overlayfs/overlay"
    for module in $modules; do
        cp "$work/kernel/lib/modules/$kernel_version/kernel/$module.ko" "$work/initrd/modules/"
    done
    cat >"$work/initrd/init" <<EOF
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for module in $(for m in $modules; do printf '%s ' "${m##*/}"; done); do insmod /modules/\$module.ko; done
mount -t 9p -o trans=virtio,version=9p2000.L,ro,cache=loose,msize=262144 host /host || poweroff -f
mount -t tmpfs -o size=5g layer /layer
mkdir -p /layer/upper /layer/work
mount -t overlay root -o lowerdir=/host,upperdir=/layer/upper,workdir=/layer/work /root || poweroff -f
# The script to run comes on the kernel's command line: a file of this machine, seen through the share.
for word in \$(cat /proc/cmdline); do case \$word in trevask.guest=*) guest=\${word#*=} ;; esac; done
exec switch_root /root /bin/bash \$guest
EOF
    chmod +x "$work/initrd/init"
    mkdir -p "$boot"
    cp "$work/kernel/boot/vmlinuz-$kernel_version" "$boot/vmlinuz"
    (cd "$work/initrd" && find . | cpio -o -H newc --quiet | gzip -1) >"$boot/initrd.part"
    mv "$boot/initrd.part" "$boot/initrd.gz"
    rm -rf "$work"
fi

# What the guest runs, and where it leaves its results: a folder shared writable.
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
scenarios=("$@")
[ ${#scenarios[@]} -gt 0 ] || mapfile -t scenarios < <(/usr/bin/python3 tests/e2e/scenarios.py --list)
runs=()
for scenario in "${scenarios[@]}"; do runs+=("$i386_exe $scenario"); done
for scenario in add-then-remove restart-system; do runs+=("$rebased_exe $scenario"); done
printf '%s\n' "${runs[@]}" >"$out/runs"
cat >"$out/guest.sh" <<EOF
#!/bin/bash
mount -t proc proc /proc; mount -t sysfs sys /sys; mount -t devtmpfs dev /dev
mkdir -p /dev/pts /dev/shm; mount -t devpts devpts /dev/pts; mount -t tmpfs shm /dev/shm
mount -t tmpfs -o size=2g tmp /tmp
mkdir -p /run/trevask-out; mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 out /run/trevask-out
export HOME="$HOME" PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin LANG=C.UTF-8 TREVASK_WAIT_SECONDS=240
cd "$repo"
{
    if /usr/bin/python3 tools/can_run_under_wine.py $i386_exe &&
        /usr/bin/python3 tests/e2e/scenarios.py --template /tmp/template --make-template --exe $i386_exe; then
        while read -r exe scenario; do
            /usr/bin/python3 tests/e2e/scenarios.py --exe \$exe --seed-helper $seed_helper --template /tmp/template \
                --artifacts /tmp/artifacts \$scenario
            echo "\$? \$exe \$scenario" >>/run/trevask-out/results
        done </run/trevask-out/runs
    fi
} >/run/trevask-out/log 2>&1
sync
# The end of the first process stops the kernel, and qemu with it (panic=-1, -no-reboot).
EOF
chmod +x "$out/guest.sh"

echo "Booting the emulated machine for ${#runs[@]} scenario runs (about half a minute each)..."
# smap=off: qemu's emulation faults a far return into 32-bit code when SMAP is on.
timeout $((600 + 120 * ${#runs[@]})) qemu-system-x86_64 -machine q35 -cpu max,smap=off -smp 2 -m 6G \
    -accel tcg,thread=multi -kernel "$boot/vmlinuz" -initrd "$boot/initrd.gz" \
    -append "console=ttyS0 quiet panic=-1 trevask.guest=$out/guest.sh" -display none -serial "file:$out/console" -no-reboot \
    -virtfs local,path=/,mount_tag=host,security_model=none,readonly=on,multidevs=remap \
    -virtfs "local,path=$out,mount_tag=out,security_model=none" || true
grep -E "^(PASS|FAIL|SKIP) |^  at " "$out/log" || true
if [ ! -s "$out/results" ]; then
    echo "No scenario ran in the emulated machine; the end of its output:" >&2
    tail -n 40 "$out/log" "$out/console" >&2 || true
    exit 1
fi
failed=$(awk '$1 != 0' "$out/results" | wc -l)
echo "$(wc -l <"$out/results") of ${#runs[@]} scenario runs done on the i386 file under emulation, $failed failed"
[ "$failed" = 0 ] && [ "$(wc -l <"$out/results")" = "${#runs[@]}" ]
