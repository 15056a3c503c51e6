#!/usr/bin/env bash
# Boots Debian's kernel in qemu with a busybox initramfs holding the uinput feeder, the sender
# and an evdev reader, and checks what the kernel's input layer sees.
#   run.sh BUILD_DIR     (BUILD_DIR has joywire, joywire-send and tests/evdev-reader)
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
cache=$build/vm-cache
mkdir -p "$cache"

# Debian's kernel package, fetched once.
if ! ls "$cache"/linux-image-*.deb >/dev/null 2>&1; then
  package=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/{print $2; exit}')
  if [ -z "$package" ] || ! (cd "$cache" && apt-get download "$package" >/dev/null 2>&1); then
    apt-get update -q >/dev/null
    package=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-[0-9]/{print $2; exit}')
    (cd "$cache" && apt-get download "$package" >/dev/null)
  fi
fi
if [ ! -d "$cache/kernel" ]; then
  dpkg -x "$cache"/linux-image-*.deb "$cache/kernel"
fi
vmlinuz=$(ls "$cache"/kernel/boot/vmlinuz-* | head -1)
modules=$(ls -d "$cache"/kernel/lib/modules/* | head -1)

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root"/{bin,dev,proc,sys,tmp,run}
cp /bin/busybox "$root/bin/busybox"
ln -s busybox "$root/bin/sh"
cp "$here/init.sh" "$root/init"
chmod +x "$root/init"
cp "$modules/kernel/drivers/input/evdev.ko" "$modules/kernel/drivers/input/misc/uinput.ko" "$root/"
cp "$build/joywire" "$build/joywire-send" "$build/tests/evdev-reader" "$root/"
# The sender is linked dynamically: bring its libraries along.
for library in $(ldd "$build/joywire-send" | grep -o '/[^ ]*'); do
  mkdir -p "$root$(dirname "$library")"
  cp -L "$library" "$root$library"
done
(cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$build/vm-initramfs.gz"

echo "booting $(basename "$vmlinuz") in qemu (software emulation)"
log=$build/vm-console.log
timeout 300 qemu-system-x86_64 -nographic -no-reboot -m 512 -smp 1 \
  -kernel "$vmlinuz" -initrd "$build/vm-initramfs.gz" \
  -append "console=ttyS0 panic=-1 quiet loglevel=1" </dev/null >"$log" 2>&1 || true
tr -d '\r' <"$log" | sed -n '/== uinput not loaded/,/VMCHECK DONE/p'

passes=$(tr -d '\r' <"$log" | grep -c '^VMCHECK PASS' || true)
failures=$(tr -d '\r' <"$log" | grep -c '^VMCHECK FAIL' || true)
echo "vm: $passes passed, $failures failed"
tr -d '\r' <"$log" | grep -q '^VMCHECK DONE' || { echo "vm: the checks did not finish"; exit 1; }
[ "$failures" -eq 0 ] && [ "$passes" -ge 7 ]
