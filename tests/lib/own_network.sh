# Sourced at the top of a test script: runs the script again in a network namespace of its own
# (only loopback, brought up), so port 50000 is free and binds are deterministic. Where no
# namespace can be made, or JOYWIRE_IN_NAMESPACE is already set, the script runs as it is.
#   source "$(dirname "$0")/../lib/own_network.sh" "$@"
if [ -z "${JOYWIRE_IN_NAMESPACE:-}" ] && unshare -n true 2>/dev/null; then
  export JOYWIRE_IN_NAMESPACE=1
  exec unshare -n bash -c 'ip link set lo up && exec bash "$0" "$@"' "$0" "$@"
fi
# Datagrams the kernel dropped at the feeder's port 50000 because its queue was full (a busy
# machine): they never reach the feeder, so a count of updates must allow for them.
feeder_drops() { awk '$2 ~ /:C350$/ { print $NF; exit }' /proc/net/udp; }
