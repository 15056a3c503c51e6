#!/usr/bin/env bash
# Boots Debian 12 with systemd as PID 1 from a disk in qemu; a unit runs services_check.sh, which
# installs the .deb with dpkg, enables and checks its services, and reboots: they must come back.
#   services.sh BUILD_DIR   (after tests/vm/run.sh BUILD_DIR, which fetches the kernel)
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
[ -d "$build/vm-cache/kernel" ] || { echo "services.sh: run tests/vm/run.sh $1 first (it fetches the kernel)"; exit 1; }
source "$here/../../scripts/lib/common.sh"
source "$here/lib.sh"
export PATH=$PATH:/usr/sbin:/sbin
for program in qemu-system-x86_64 mkfs.ext4 depmod modprobe cpio cpack; do
  command -v "$program" >/dev/null || { echo "services.sh: $program is missing (from: ${vm_packages[*]} cmake)"; exit 1; }
done
cache=$build/vm-cache/services
[ -f "$cache/fetched4" ] || { fetch_debs "$cache/debs" --with-dependencies systemd udev kmod dpkg \
  passwd login base-passwd base-files libc-bin libstdc++6 openssl dash coreutils util-linux grep \
  sed diffutils iproute2 && touch "$cache/fetched4"; }
kernel=$build/vm-cache/kernel
version=$(ls "$kernel/lib/modules")
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT
root=$work/root

# The system, unpacked, and dpkg's record of it, so that the .deb's dependencies are met.
mkdir -p "$root/var/lib/dpkg/info" "$root/vm" "$root/var/tmp" && touch "$root/var/lib/dpkg/available"
for deb in "$cache"/debs/*.deb; do
  dpkg-deb -x "$deb" "$root"
  dpkg-deb -f "$deb" Package Version Architecture Multi-Arch Maintainer Provides Pre-Depends \
    Depends Description
  printf 'Status: install ok installed\n\n'
done >"$root/var/lib/dpkg/status"
debian_users "$root"
echo joywire-vm >"$root/etc/hostname" && echo 5a1e2c0ffee5eed5a1e2c0ffee5eed00 >"$root/etc/machine-id"
cp "$here/services_check.sh" "$root/vm/check.sh"
install -D "$build/tests/evdev-reader" "$root/usr/local/bin/evdev-reader"
printf '%s\n' "[Unit]" "After=multi-user.target" "[Service]" "Type=oneshot" "ExecStart=/bin/sh /vm/check.sh" \
  "StandardOutput=tty" "StandardError=tty" "TTYPath=/dev/ttyS0" >"$root/etc/systemd/system/vmcheck.service"
mkdir -p "$root/etc/systemd/system/multi-user.target.wants" && ln -s ../vmcheck.service "$_"
ln -s /dev/null "$root/etc/systemd/system/serial-getty@ttyS0.service"
# The kernel's input modules, for udev and modules-load.d to find.
(cd "$kernel" && cp --parents lib/modules/$version/{modules.builtin*,kernel/drivers/input/{evdev,joydev,misc/uinput}.ko} "$root/")
touch "$root/lib/modules/$version/modules.order" && depmod -b "$root" "$version"
cp "$(joywire_deb "$build")" "$root/var/tmp/joywire.deb"
truncate -s 1G "$work/disk.img" && mkfs.ext4 -q -d "$root" "$work/disk.img"

# The early userland: the modules for the disk, then systemd on it.
early=$work/early
mkdir -p "$early/bin" "$early/modules" && cp /bin/busybox "$early/bin/"
[ -f "$kernel/lib/modules/$version/modules.dep" ] || depmod -b "$kernel" "$version"
n=10
for module in $(for name in virtio_pci virtio_blk ext4; do
  modprobe -d "$kernel" -S "$version" --show-depends "$name"; done | awk '$1 == "insmod" && !seen[$2]++ { print $2 }'); do
  cp "$module" "$early/modules/$((n++))-$(basename "$module")"
done
cat >"$early/init" <<'EOF'
#!/bin/busybox sh
/bin/busybox mkdir -p /dev /root
/bin/busybox mount -t devtmpfs dev /dev
for module in /modules/*.ko; do /bin/busybox insmod "$module" 2>/dev/null; done  # some fit no device here
while [ ! -b /dev/vda ]; do /bin/busybox sleep 0.1; done
/bin/busybox mount -t ext4 /dev/vda /root
exec /bin/busybox switch_root /root /lib/systemd/systemd
EOF
chmod +x "$early/init"
(cd "$early" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/early.gz"

log=$build/vm-services-console.log && : >"$log"
for boot in 1 2; do
  [ "$boot" = 1 ] || ! tr -d "\r" <"$log" | grep -q "^VMCHECK DONE" || break
  echo "booting vmlinuz-$version with systemd as PID 1 (software emulation), boot $boot"
  timeout 400 qemu-system-x86_64 -nographic -no-reboot -m 1024 -smp 1 -device virtio-rng-pci -kernel "$kernel/boot/vmlinuz-$version" \
    -initrd "$work/early.gz" -drive file="$work/disk.img",format=raw,if=virtio \
    -append "console=ttyS0 panic=-1 no_timer_check ${JOYWIRE_VM_APPEND:-quiet loglevel=1 systemd.show_status=false}" \
    </dev/null >>"$log" 2>&1 || true
done
tr -d '\r' <"$log" | grep -E '^(== |VMCHECK|  )' | grep -v '^VMCHECK DONE' || true
vm_verdict services "$log"
