#!/usr/bin/env bash
# Runs the end-to-end scenarios on the i386 TREVASK.EXE on a machine whose
# kernel cannot run 32-bit x86 code (there the e2e_i386_* tests are skipped).
#
#   tools/i386-under-emulation.sh [SCENARIO...]   the named scenarios; with none, all of them and the pixel checks
#   tools/i386-under-emulation.sh --typical       what CI runs: add-then-remove and restart-once, the rebased
#                                                 copy's restart-system, and the pixel checks
#   tools/i386-under-emulation.sh --screenshots DIR   the documentation's screenshots of the i386 file, into DIR
#
# It boots Debian's own kernel under qemu's software CPU, which does run
# 32-bit code, with this machine's root shared read-only beneath a writable
# layer in memory, so the guest runs the same Wine, the same builds and the
# same scenarios. Over that root it lays Debian's wine32 and its i386
# libraries, unpacked (tools/wine32-layer.sh): the guest's Wine is then that
# of a machine with wine32 installed, which draws the i386 screens. Inside, it
# makes a Wine prefix and runs each scenario on the i386 file, then on its
# rebased copy; the pixel checks read every screen of both executables back
# (screens-readable) and compare the two sets of screenshots (same-pixels).
# It prints each result and fails if any run does. Expect about half a minute
# a scenario, and a few minutes for each executable's screens.
#
# Needs the win64 preset's build (which builds the i386 file and its rebased
# copy). Installs qemu and cpio, and keeps the kernel and busybox, downloaded
# from Debian, in ~/.cache/trevask/vm.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

i386_exe=build/win32/src/TREVASK.EXE
rebased_exe=build/win64/tests/e2e/rebased-i386/TREVASK.EXE
x64_exe=build/win64/src/TREVASK.EXE
seed_helper=build/win64/tests/e2e/registry_seed.exe
preview_helper=build/win64/tests/e2e/screen_preview.exe
for file in "$i386_exe" "$rebased_exe" "$x64_exe" "$seed_helper" "$preview_helper"; do
    [ -f "$file" ] || { echo "$file is missing: cmake --preset win64 && cmake --build --preset win64" >&2; exit 1; }
done
tools/wine32-layer.sh >/dev/null
layer=$(tools/wine32-layer.sh --path)

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
initrd="$boot/initrd-layer.gz"  # a first stage that can lay a folder over the shared root
if [ ! -f "$initrd" ]; then
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
# The script to run comes on the kernel's command line: a file of this machine, seen through the
# share. A folder to lay over the root comes as a share of its own (overlayfs refuses nested layers).
lower=/host
for word in \$(cat /proc/cmdline); do
    case \$word in
    trevask.guest=*) guest=\${word#*=} ;;
    trevask.layer=1)
        mkdir -p /over
        mount -t 9p -o trans=virtio,version=9p2000.L,ro,cache=loose,msize=262144 over /over || poweroff -f
        lower=/over:/host ;;
    esac
done
mount -t overlay root -o lowerdir=\$lower,upperdir=/layer/upper,workdir=/layer/work /root || poweroff -f
exec switch_root /root /bin/bash \$guest
EOF
    chmod +x "$work/initrd/init"
    mkdir -p "$boot"
    cp "$work/kernel/boot/vmlinuz-$kernel_version" "$boot/vmlinuz"
    (cd "$work/initrd" && find . | cpio -o -H newc --quiet | gzip -1) >"$initrd.part"
    mv "$initrd.part" "$initrd"
    rm -rf "$work"
fi

# Each run is one command line for the guest; the pixel checks come last.
scenario="/usr/bin/python3 tests/e2e/scenarios.py --seed-helper $seed_helper --preview-helper $preview_helper --template /scratch/template"
pixel_checks=true
screenshots=""
if [ "${1:-}" = "--screenshots" ]; then
    [ -n "${2:-}" ] || { echo "--screenshots needs the folder to save them in" >&2; exit 1; }
    screenshots=$(realpath -m "$2")
    scenarios=()
    rebased=()
    pixel_checks=false
elif [ "${1:-}" = "--typical" ]; then
    scenarios=(add-then-remove restart-once)
    rebased=(restart-system)
else
    scenarios=("$@")
    rebased=()
    if [ ${#scenarios[@]} -eq 0 ]; then
        mapfile -t scenarios < <(/usr/bin/python3 tests/e2e/scenarios.py --list | grep -vx screens-readable)
        rebased=(add-then-remove restart-system)
    else
        pixel_checks=false
    fi
fi
runs=()
for name in "${scenarios[@]}"; do runs+=("$scenario --artifacts /scratch/artifacts/i386 --exe $i386_exe $name"); done
for name in "${rebased[@]}"; do runs+=("$scenario --artifacts /scratch/artifacts/i386-rebased --exe $rebased_exe $name"); done
if [ -n "$screenshots" ]; then
    runs+=("/usr/bin/python3 tools/wine_walkthrough.py --exe $i386_exe --prefix /scratch/template --all-screens /run/trevask-out/screens --seed-helper $seed_helper --preview-helper $preview_helper")
fi
if $pixel_checks; then
    runs+=("$scenario --artifacts /scratch/artifacts/i386 --exe $i386_exe screens-readable"
           "$scenario --artifacts /scratch/artifacts/x64 --exe $x64_exe screens-readable"
           "/usr/bin/python3 tests/e2e/scenarios.py --same-pixels /scratch/artifacts/i386/screens /scratch/artifacts/x64/screens")
fi

# What the guest runs, and where it leaves its results: a folder shared writable.
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
printf '%s\n' "${runs[@]}" >"$out/runs"
cat >"$out/guest.sh" <<EOF
#!/bin/bash
mount -t proc proc /proc; mount -t sysfs sys /sys; mount -t devtmpfs dev /dev
mkdir -p /dev/pts /dev/shm; mount -t devpts devpts /dev/pts; mount -t tmpfs shm /dev/shm
# Scratch space of its own: a tmpfs over /tmp would hide a clone of this repository there.
mkdir -p /scratch; mount -t tmpfs -o size=2g scratch /scratch
mkdir -p /run/trevask-out; mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 out /run/trevask-out
export HOME="$HOME" PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin LANG=C.UTF-8 TREVASK_WAIT_SECONDS=240
export PYTHONUNBUFFERED=1 TMPDIR=/scratch  # the log shows each run's progress as it comes
cd "$repo"
{
    # The layer's i386 libraries, for wine32's loader.
    ldconfig
    start=\$SECONDS
    if /usr/bin/python3 tools/can_run_under_wine.py $i386_exe &&
        /usr/bin/python3 tests/e2e/scenarios.py --template /scratch/template --make-template --exe $i386_exe --exe $x64_exe; then
        echo "0 \$((SECONDS - start))s the Wine prefix" >>/run/trevask-out/results
        while read -r run; do
            start=\$SECONDS
            timeout 1800 bash -c "\$run" </dev/null
            echo "\$? \$((SECONDS - start))s \${run#*--exe }" >>/run/trevask-out/results
        done </run/trevask-out/runs
    fi
} >/run/trevask-out/log 2>&1
sync
# The end of the first process stops the kernel, and qemu with it (panic=-1, -no-reboot).
EOF
chmod +x "$out/guest.sh"

echo "Booting the emulated machine for ${#runs[@]} runs..."
# smap=off: qemu's emulation faults a far return into 32-bit code when SMAP is on.
timeout $((900 + 400 * ${#runs[@]})) qemu-system-x86_64 -machine q35 -cpu max,smap=off -smp 2 -m 6G \
    -accel tcg,thread=multi -kernel "$boot/vmlinuz" -initrd "$initrd" \
    -append "console=ttyS0 quiet panic=-1 trevask.guest=$out/guest.sh trevask.layer=1" -display none \
    -serial "file:$out/console" -no-reboot \
    -virtfs local,path=/,mount_tag=host,security_model=none,readonly=on,multidevs=remap \
    -virtfs "local,path=$layer,mount_tag=over,security_model=none,readonly=on" \
    -virtfs "local,path=$out,mount_tag=out,security_model=none" || true
grep -E "^(PASS|FAIL|SKIP) |^  " "$out/log" || true
if [ ! -s "$out/results" ]; then
    echo "Nothing ran in the emulated machine; the end of its output:" >&2
    tail -n 40 "$out/log" "$out/console" >&2 || true
    exit 1
fi
echo "Under emulation (exit code, time, what):"
sed 's/^/  /' "$out/results"
done_runs=$(($(wc -l <"$out/results") - 1))
failed=$(awk '$1 != 0' "$out/results" | wc -l)
echo "$done_runs of ${#runs[@]} runs done under emulation, $failed failed"
if [ -n "$screenshots" ] && [ -d "$out/screens" ]; then
    mkdir -p "$screenshots"
    cp "$out"/screens/*.png "$screenshots/"
    echo "Screenshots of the i386 file, taken under emulation, are in $screenshots"
fi
[ "$failed" = 0 ] && [ "$done_runs" = "${#runs[@]}" ]
