#!/usr/bin/env bash
# Runs a command in an emulated machine whose CPU runs 32-bit x86 code, for a
# machine whose kernel does not: there Wine cannot run the i386 TREVASK.EXE.
#
#   tools/i386-under-emulation.sh [--writable DIR] COMMAND [ARG...]
#
# for example ctest on the i386 file's tests, as CI runs it:
#
#   tools/i386-under-emulation.sh ctest --preset win64 -L typical -L i386 --timeout 1500
#
# It boots Debian's own kernel (tools/guest-kernel.sh) under qemu's software
# CPU with this machine's root shared read-only beneath a writable layer in
# memory, so the guest has the same Wine, the same builds and the same tests,
# in the same folders. Over that root it lays Debian's wine32 and its i386
# libraries, unpacked (tools/wine32-layer.sh): the guest's Wine is then that of
# a machine with wine32 installed, which draws the i386 screens. The command
# runs in this folder; its output shows as it comes, and its exit status is
# this script's. What it writes vanishes with the guest, but for DIR, shared
# writable at its own path. Everything takes many times longer than on a real
# machine: the scenarios' waits follow how fast Wine runs in the guest
# (tools/trevask/waiting.py), and the whole run may take
# TREVASK_EMULATION_SECONDS (3600).
set -euo pipefail
cd "$(dirname "$0")/.."

writable=""
if [ "${1:-}" = "--writable" ]; then
    [ -d "${2:-}" ] || { echo "--writable needs a folder that exists" >&2; exit 2; }
    writable=$(realpath "$2")
    shift 2
fi
[ $# -gt 0 ] || { sed -n '2,10s/^# \{0,1\}//p' "$0" >&2; exit 2; }

tools/install-packages.sh --emulator >/dev/null
tools/guest-kernel.sh >/dev/null
boot=$(tools/guest-kernel.sh --path)
tools/wine32-layer.sh >/dev/null
layer=$(tools/wine32-layer.sh --path)

# What the guest runs, and where it leaves its results: a folder shared writable.
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
{
    printf 'export HOME=%q PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin LANG=C.UTF-8\n' "$HOME"
    printf 'export PYTHONUNBUFFERED=1\n'
    printf 'cd %q\n' "$PWD"
    printf '%q ' "$@"
    printf '\n'
} >"$out/command"
shares=(-virtfs "local,path=$out,mount_tag=out,security_model=none")
if [ -n "$writable" ]; then
    echo "$writable" >"$out/writable"
    shares+=(-virtfs "local,path=$writable,mount_tag=writable,security_model=none")
fi

echo "Booting the emulated machine for: $*"
# smap=off: qemu's emulation faults a far return into 32-bit code when SMAP is on.
timeout "${TREVASK_EMULATION_SECONDS:-3600}" qemu-system-x86_64 -machine q35 -cpu max,smap=off -smp 2 -m 6G \
    -accel tcg,thread=multi -kernel "$boot/vmlinuz" -initrd "$boot/initrd.gz" \
    -append "console=ttyS0 quiet panic=-1 trevask.guest=$PWD/tools/guest/run.sh" -display none \
    -serial "file:$out/console" -no-reboot \
    -virtfs local,path=/,mount_tag=host,security_model=none,readonly=on,multidevs=remap \
    -virtfs "local,path=$layer,mount_tag=over,security_model=none,readonly=on" \
    "${shares[@]}" &
qemu=$!
tail -F -n +1 --pid=$qemu "$out/log" 2>/dev/null || true
wait $qemu || true
if [ ! -s "$out/status" ]; then
    echo "The command did not run to its end in the emulated machine; the end of its console:" >&2
    tail -n 40 "$out/console" >&2 || true
    exit 1
fi
status=$(cat "$out/status")
echo "Under emulation, the command ended with exit status $status"
exit "$status"
