#!/usr/bin/env bash
# Boots Debian's kernel (it has netem, this host's has not) with a busybox initramfs holding
# joywire-send (and its data channels' module), link-loss, iproute2's ip and tc, GStreamer's
# plugins for WebRTC, and the veth and netem modules; prints the table of
# bench/link_loss_init.sh's rows: a loss setting by a path, its delays and freezes.
#   link_loss_vm.sh BUILD_DIR [SECONDS a setting, 60 by default]
set -euo pipefail
build=$(cd "$1" && pwd)
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../scripts/lib/common.sh"
cache=$build/vm-cache
source "$here/../tests/vm/lib.sh"
debian_kernel "$cache" amd64

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root"/{bin,usr/sbin,dev,proc,sys,tmp,run}
cp /bin/busybox "$root/bin/"
ln -s busybox "$root/bin/sh"
cp "$build/joywire-send" "$build/bench/link-loss" "$(command -v ip)" "$(command -v tc)" "$root/usr/sbin/"
[ -f "$build/joywire-datachannel.so" ] && cp "$build/joywire-datachannel.so" "$root/usr/sbin/"
plugins=/usr/lib/x86_64-linux-gnu/gstreamer-1.0
mkdir -p "$root/gst"
for plugin in coreelements app rtpmanager rtp webrtc nice dtls sctp srtp; do
  [ -f "$plugins/libgst$plugin.so" ] && cp "$plugins/libgst$plugin.so" "$root/gst/"
done
for program in "$root"/usr/sbin/* "$root"/gst/*; do  # their libraries, as this machine has them
  for library in $(ldd "$program" | grep -o '/[^ ]*'); do
    mkdir -p "$root$(dirname "$library")"
    cp -L "$library" "$root$library"
  done
done
mkdir -p "$root/usr/lib/x86_64-linux-gnu"
cp -r /usr/lib/x86_64-linux-gnu/tc "$root/usr/lib/x86_64-linux-gnu/"  # netem's delay tables
cp "$modules"/kernel/drivers/net/veth.ko "$modules"/kernel/net/sched/sch_netem.ko "$root/"
cp "$here/link_loss_init.sh" "$root/init"
chmod +x "$root/init"
(cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$build/vm-link-initramfs.gz"

# Software emulation (this machine's /dev/kvm hangs a guest at boot): its timing noise is in
# every figure, the same for both paths.
echo "booting $(basename "$vmlinuz") (software emulation, 2 CPUs): 5 settings of $seconds s, about $((5 * (seconds + 4) + 30)) s"
log=$build/vm-link-console.log
timeout $((5 * (seconds + 30) + 120)) qemu-system-x86_64 -accel tcg -nographic -no-reboot \
  -m 512 -smp 2 -kernel "$vmlinuz" -initrd "$build/vm-link-initramfs.gz" \
  -append "console=ttyS0 panic=-1 no_timer_check quiet loglevel=1 joywire_seconds=$seconds" \
  </dev/null >"$log" 2>&1 || true
# (A line may follow the console's escapes: the marks are looked for anywhere in it.)
tr -d '\r' <"$log" | grep -oE 'LINK(INFO|FAIL) .*' | sed 's/^LINK[A-Z]* //' || true
tr -d '\r' <"$log" | grep -q 'LINKDONE' || { echo "link VM: the runs did not finish"; tail -30 "$log"; exit 1; }
tr -d '\r' <"$log" | awk -f "$here/link_table.awk"
