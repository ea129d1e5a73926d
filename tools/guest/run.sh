#!/bin/bash
# The emulated machine's second stage, in this machine's root as the first
# stage laid it out: mounts what programs expect, the share for results and
# the writable folder if one was asked for, runs the command the host left in
# the share, and leaves there its output and exit status. The end of this
# process stops the kernel, and qemu with it (panic=-1, -no-reboot).
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs shm /dev/shm
# No tmpfs over /tmp: it would hide a clone of this repository there, and the
# tests' copies of a Wine prefix are hard links, which must stay on the one
# file system of the root.
share() { mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 "$1" "$2"; }
out=/run/trevask-out
mkdir -p "$out"
share out "$out"
if [ -s "$out/writable" ]; then
    writable=$(cat "$out/writable")
    mkdir -p "$writable"
    share writable "$writable"
fi
# The layer's i386 libraries, for wine32's loader.
ldconfig
bash "$out/command" >"$out/log" 2>&1 </dev/null
echo $? >"$out/status"
sync
