#!/usr/bin/env bash
# The link benchmark on this machine's own kernel, which has no netem: the same settings, the
# phone's side of the link made by tun-link (a TUN device in the phone's namespace, another in
# joywire-send's, netem's delay and loss between them). What the VM's table has beyond this
# one is the emulator's. As root; in network and mount namespaces of its own.
#   link_loss_native.sh BUILD_DIR [SECONDS a setting, 60 by default]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[ -n "${JOYWIRE_LINK_INSIDE:-}" ] || exec env JOYWIRE_LINK_INSIDE=1 unshare -n -m bash "$0" "$@"
build=$(cd "$1" && pwd)
seconds=${2:-60}
mount --make-rprivate /
mkdir -p /run/netns
mount -t tmpfs tmpfs /run/netns
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
ip link set lo up
ip netns add phone
ip netns exec phone ip link set lo up
ip tuntap add dev machine0 mode tun
ip netns exec phone ip tuntap add dev phone0 mode tun
ip addr add 10.9.0.1 peer 10.9.0.2 dev machine0
ip netns exec phone ip addr add 10.9.0.2 peer 10.9.0.1 dev phone0
ip link set machine0 up
ip netns exec phone ip link set phone0 up

XDG_CONFIG_HOME=$work "$build/joywire-send" --web --web-port 8080 --players 2 --port 50000 \
  >"$work/send.out" 2>&1 &
for _ in $(seq 100); do grep -q '#' "$work/send.out" && break; sleep 0.1; done
token=$(grep -o 'http://10.9.0.1:8080/#[A-Za-z0-9_-]*' "$work/send.out" | sed 's/.*#//')
[ -n "$token" ] || { echo "joywire-send printed no address"; cat "$work/send.out"; exit 1; }
echo "kernel $(uname -r) (no emulation), $(nproc) CPU, $seconds s a setting at 60 messages a second"
setting() {  # setting NAME SECONDS TUN-LINK'S LOSS WORDS...: link-loss's rows through that link
  local name=$1 length=$2
  shift 2
  "$build/bench/tun-link" /run/netns/phone phone0 machine0 5 2 "$@" &
  local link=$!
  "$build/bench/link-loss" /run/netns/phone 10.9.0.1 8080 "$token" 50000 50001 "$length" "$name"
  kill $link
  wait $link 2>/dev/null || true
}
setting warm-up 5 loss 0 >/dev/null 2>&1 || true  # GStreamer's first DTLS certificate
while read -r name words; do
  setting "$name" "$seconds" $words
done <<'END' | awk -f "$here/link_table.awk"
0% loss 0
1% loss 1
2% loss 2
5% loss 5
fade gemodel 0.5 10 70 0.1
END
