#!/usr/bin/env bash
# Boots Debian's kernel in qemu with a Debian 12 userland beside the busybox tools: udev as on a
# desktop (systemd-udevd, Debian's rules, and the uaccess and seat rules of the systemd
# package), SDL2, the joystick interface (joydev), users, and joywire's .deb installed as dpkg
# installs it. Checks what games and desktops see of the uinput joystick, the device lock across
# users; with JOYWIRE_VM_COST=1 (scripts/bench uinput), the cost of the real back end too.
# Packages are fetched once and cached.
#   desktop.sh BUILD_DIR   (the linux preset's build directory)
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
[ -d "$build/vm-cache/kernel" ] || { echo "desktop.sh: run tests/vm/run.sh $1 first (it fetches the kernel)"; exit 1; }
cache=$build/vm-cache/desktop
mkdir -p "$cache"

# Debian 12's udev and SDL2 with all they depend on, and the tools to add users and groups.
source "$here/../../scripts/lib/common.sh"
source "$here/lib.sh"
if [ ! -f "$cache/fetched" ]; then
  fetch_debs "$cache/debs" --with-dependencies udev libsdl2-2.0-0 libstdc++6 passwd login \
    libc-bin base-passwd
  fetch_debs "$cache/extra" systemd libsdl2-dev
  touch "$cache/fetched"
fi
rootfs=$cache/rootfs
if [ ! -f "$cache/extracted" ]; then
  rm -rf "$rootfs" "$cache/sdl-dev" "$cache/systemd"
  for deb in "$cache"/debs/*.deb; do dpkg -x "$deb" "$rootfs"; done
  dpkg -x "$cache"/extra/systemd_*.deb "$cache/systemd"
  cp "$cache"/systemd/lib/udev/rules.d/{70-uaccess,71-seat}.rules "$rootfs/lib/udev/rules.d/"
  dpkg -x "$cache"/extra/libsdl2-dev_*.deb "$cache/sdl-dev"
  touch "$cache/extracted"
fi

# The SDL probe: built with SDL's headers only; it loads Debian's libsdl2 inside the VM.
g++ -std=c++20 -O2 -Wall -Wextra -Werror -I"$cache/sdl-dev/usr/include/SDL2" \
  -I"$cache/sdl-dev/usr/include/x86_64-linux-gnu" -D_REENTRANT \
  "$here/sdl_probe.cpp" -o "$cache/sdl-probe" -ldl

deb=$(joywire_deb "$build")

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
cp -a "$rootfs/." "$root/"
# The package waits beside the system: the VM unpacks it once udevd runs, then configures it.
dpkg-deb -x "$deb" "$root/var/cache/joywire-deb"
mkdir -p "$root/var/lib/dpkg/info" "$root"/{proc,sys,dev,run,tmp,root}
dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./postinst >"$root/var/lib/dpkg/info/joywire.postinst"
chmod +x "$root/var/lib/dpkg/info/joywire.postinst"
debian_users "$root"  # tty, input, video...
cp /bin/busybox "$root/bin/busybox"
cp "$here/desktop_init.sh" "$root/init"
chmod +x "$root/init"
modules=$(ls -d "$build"/vm-cache/kernel/lib/modules/* | head -1)
cp "$modules"/kernel/drivers/input/{evdev.ko,joydev.ko,misc/uinput.ko} "$root/"
cp "$build/tests/evdev-reader" "$build/bench/uinput-floor" "$cache/sdl-probe" "$root/usr/bin/"
(cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$build/vm-desktop-initramfs.gz"

vmlinuz=$(ls "$build"/vm-cache/kernel/boot/vmlinuz-* | head -1)
echo "booting $(basename "$vmlinuz") with Debian 12's udev and SDL2 (software emulation)"
log=$build/vm-desktop-console.log
timeout 400 qemu-system-x86_64 -nographic -no-reboot -m 1536 -smp 1 \
  -kernel "$vmlinuz" -initrd "$build/vm-desktop-initramfs.gz" \
  -append "console=ttyS0 panic=-1 no_timer_check quiet loglevel=1 ${JOYWIRE_VM_COST:+joywire.cost}" </dev/null >"$log" 2>&1 || true
tr -d '\r' <"$log" | sed -n '/^== /,/VMCHECK DONE/p' | grep -v '^VMCHECK DONE' || true
vm_verdict desktop "$log"
# A second boot of the same image: the gamepad's GUID must outlive the machine.
again=$build/vm-desktop-second-boot.log
timeout 300 qemu-system-x86_64 -nographic -no-reboot -m 1536 -smp 1 \
  -kernel "$vmlinuz" -initrd "$build/vm-desktop-initramfs.gz" \
  -append "console=ttyS0 panic=-1 no_timer_check quiet loglevel=1 joywire.boot=second" </dev/null >"$again" 2>&1 || true
guid_of() { tr -d '\r' <"$1" | sed -n 's/^GAMEPAD GUID //p'; }
echo "the gamepad's GUID: $(guid_of "$log") in the first boot, $(guid_of "$again") after a reboot"
[ -n "$(guid_of "$log")" ] && [ "$(guid_of "$log")" = "$(guid_of "$again")" ] ||
  { echo "vm desktop: the gamepad's GUID changed across a reboot (or was not seen)"; tail -30 "$again"; exit 1; }
