#!/bin/busybox sh
# PID 1 of the link VM: a "phone" network namespace joined to the machine by a veth pair, netem
# on the phone's side, joywire-send --web on the machine with a receiver for what it forwards;
# then link-loss for each loss setting. Its lines start with ROW; then the VM powers off.
/bin/busybox --install -s /bin
export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/tmp XDG_CONFIG_HOME=/tmp/config
# GStreamer's few plugins for WebRTC, scanned in-process (no plugin scanner here).
export GST_PLUGIN_SYSTEM_PATH=/gst GST_REGISTRY_FORK=no GST_REGISTRY=/tmp/gst-registry.bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mount -t tmpfs run /run
mkdir -p /tmp /run/netns
seconds=$(sed -n 's/.*joywire_seconds=\([0-9]*\).*/\1/p' /proc/cmdline)
ip() { /usr/sbin/ip "$@"; }  # iproute2's: busybox's shell would take its own, without netns
insmod /veth.ko
insmod /sch_netem.ko

ip link set lo up
ip netns add phone
ip link add machine0 type veth peer name phone0
ip link set phone0 netns phone
ip addr add 10.9.0.1/24 dev machine0
ip link set machine0 up
ip netns exec phone ip link set lo up
ip netns exec phone ip addr add 10.9.0.2/24 dev phone0
ip netns exec phone ip link set phone0 up

# Player 1 over the WebSocket, player 2 (127.0.0.2) over its data channel.
joywire-send --web --web-port 8080 --players 2 --port 50000 >/tmp/send.out 2>&1 &
i=0
while ! grep -q '#' /tmp/send.out && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
token=$(grep -o 'http://10.9.0.1:8080/#[A-Za-z0-9_-]*' /tmp/send.out | sed 's/.*#//')
[ -n "$token" ] || { echo "LINKFAIL joywire-send printed no address"; cat /tmp/send.out; poweroff -f; }
grep 'no datagrams' /tmp/send.out | sed 's/^/LINKINFO /'
echo "LINKINFO kernel $(uname -r), $(nproc) CPU, $seconds s a setting at 60 messages a second"

# A first channel makes GStreamer's first DTLS certificate, seconds under software emulation:
# made once before the settings, whose figures it would spoil.
link-loss /run/netns/phone 10.9.0.1 8080 "$token" 50000 50001 5 warm-up >/dev/null 2>&1 || true

# Each setting: its name in the table, and netem's words for it (5 ms +- 2 ms besides the loss).
while read -r name loss; do
  ip netns exec phone /usr/sbin/tc qdisc replace dev phone0 root netem delay 5ms 2ms $loss
  link-loss /run/netns/phone 10.9.0.1 8080 "$token" 50000 50001 "$seconds" "$name" ||
    { echo "LINKFAIL $name"; tail -5 /tmp/send.out | sed 's/^/LINKINFO /'; }
done <<'END'
0% loss 0%
1% loss 1%
2% loss 2%
5% loss 5%
fade loss gemodel 0.5% 10% 70% 0.1%
END
echo "LINKDONE"
poweroff -f
