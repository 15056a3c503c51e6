#!/usr/bin/env bash
# Boots Debian's kernel in qemu with a busybox initramfs holding the uinput feeder, the sender
# and an evdev reader, and checks what the kernel's input layer sees.
#   run.sh BUILD_DIR [amd64|arm64]   (BUILD_DIR has joywire, joywire-send and tests/evdev-reader
#                                     built for that architecture; amd64 by default)
set -euo pipefail
build=$(cd "$1" && pwd)
arch=${2:-amd64}
here=$(cd "$(dirname "$0")" && pwd)
cache=$build/vm-cache
mkdir -p "$cache"
for program in joywire joywire-send tests/evdev-reader; do
  [ -x "$build/$program" ] || { echo "vm: $build/$program is missing: build it first (joywire needs libevdev-dev)"; exit 1; }
done

source "$here/../../scripts/lib/common.sh"
source "$here/lib.sh"
debian_kernel "$cache" "$arch"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root"/{bin,dev,proc,sys,tmp,run,lib}
if [ "$arch" = amd64 ]; then
  cp /bin/busybox "$root/bin/busybox"
  # The sender is linked dynamically: bring its libraries along.
  for library in $(ldd "$build/joywire-send" | grep -o '/[^ ]*'); do
    mkdir -p "$root$(dirname "$library")"
    cp -L "$library" "$root$library"
  done
  # no_timer_check: a guest that the host starves of time while it boots still boots.
  qemu=(qemu-system-x86_64 -append "console=ttyS0 panic=-1 no_timer_check quiet loglevel=1")
else
  fetch_debs "$cache/debs" busybox-static:arm64
  [ -d "$cache/busybox" ] || dpkg -x "$cache"/debs/busybox-static_*_arm64.deb "$cache/busybox"
  cp "$cache/busybox/bin/busybox" "$root/bin/busybox"
  # The sender's libraries, from the cross toolchain's copy of the target's C and C++ runtime.
  for library in ld-linux-aarch64.so.1 libc.so.6 libm.so.6 libstdc++.so.6 libgcc_s.so.1; do
    cp -L "/usr/aarch64-linux-gnu/lib/$library" "$root/lib/"
  done
  qemu=(qemu-system-aarch64 -M virt -cpu cortex-a57
    -append "console=ttyAMA0 panic=-1 quiet loglevel=1")
fi
ln -s busybox "$root/bin/sh"
cp "$here/init.sh" "$root/init"
chmod +x "$root/init"
cp "$modules/kernel/drivers/input/evdev.ko" "$modules/kernel/drivers/input/misc/uinput.ko" "$root/"
cp "$build/joywire" "$build/joywire-send" "$build/tests/evdev-reader" "$root/"
(cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$build/vm-initramfs.gz"

echo "booting $(basename "$vmlinuz") in ${qemu[0]} (software emulation)"
log=$build/vm-console.log
timeout 300 "${qemu[@]}" -nographic -no-reboot -m 512 -smp 1 \
  -kernel "$vmlinuz" -initrd "$build/vm-initramfs.gz" </dev/null >"$log" 2>&1 || true
tr -d '\r' <"$log" | sed -n '/== uinput not loaded/,/VMCHECK DONE/p'

passes=$(tr -d '\r' <"$log" | grep -c '^VMCHECK PASS' || true)
failures=$(tr -d '\r' <"$log" | grep -c '^VMCHECK FAIL' || true)
echo "vm ($arch): $passes passed, $failures failed"
tr -d '\r' <"$log" | grep -q '^VMCHECK DONE' || { echo "vm: the checks did not finish"; tail -30 "$log"; exit 1; }
[ "$failures" -eq 0 ] && [ "$passes" -ge 7 ]
