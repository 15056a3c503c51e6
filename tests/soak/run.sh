#!/usr/bin/env bash
# Soak: a feeder with the simulated joystick on loopback takes a long mixed stream; every
# datagram of 20 bytes or more must give exactly one update, in order, with the right values.
#   run.sh FEEDER SOAK_STREAM COUNT [SEED]
#   JOYWIRE_LAUNCHER runs FEEDER (e.g. wine); JOYWIRE_SOAK_RATE paces the stream (default 20000/s)
set -u
feeder=$1 stream=$2 count=$3 seed=${4:-$RANDOM}
launcher=${JOYWIRE_LAUNCHER:-}
rate=${JOYWIRE_SOAK_RATE:-20000}
source "$(dirname "$0")/../lib/own_network.sh" "$@"
trap '' PIPE
work=$(mktemp -d "${TMPDIR:-/tmp}/joywire-soak.XXXXXX")
trap 'kill -9 $pid 2>/dev/null; wait $pid 2>/dev/null; rm -rf "$work"' EXIT
mkfifo "$work/in"
JOYWIRE_SIM_TRACE="$work/trace" $launcher "$feeder" <"$work/in" >"$work/out" 2>&1 &
pid=$!
exec 3>"$work/in"
echo 127.0.0.1 >&3
for _ in $(seq 600); do grep -q "init complete" "$work/out" 2>/dev/null && break; sleep 0.1; done

started=$SECONDS
"$stream" --count "$count" --seed "$seed" --rate "$rate" --expect "$work/expected" || exit 1
expected=$(wc -l <"$work/expected")
updates() { grep -c '^update ' "$work/trace" 2>/dev/null || true; }
for _ in $(seq 300); do
  [ "$(updates)" -ge $((expected + 1)) ] && break
  sleep 0.1
done
sleep 0.5

alive=yes
kill -0 "$pid" 2>/dev/null || alive=no
# The rest position first, then one line per datagram of 20 bytes or more.
grep '^update ' "$work/trace" | tail -n +2 | sed 's/^update device=1 index=1 //; s/ ok$//' >"$work/seen"
seen=$(wc -l <"$work/seen")
matching=$(paste -d'|' "$work/expected" "$work/seen" | awk -F'|' '$1 == $2' | wc -l)
out_of_range=$(awk '{ split($0, f, /[ =]/); if (f[2] < 0 || f[2] > 32767 || f[4] < 0 || f[4] > 32767 ||
  f[6] < 0 || f[6] > 32767 || (f[8] != 0 && f[8] != 1 && f[8] != 2)) n++ } END { print n + 0 }' "$work/seen")
echo "soak (seed $seed, $rate/s, $((SECONDS - started)) s): $expected datagrams of 20 bytes or more," \
  "$seen updates, $matching in order with the expected values, $((expected - seen)) lost," \
  "$out_of_range out of range, feeder alive: $alive"
[ "$alive" = yes ] && [ "$seen" -eq "$expected" ] && [ "$matching" -eq "$expected" ] &&
  [ "$out_of_range" -eq 0 ]
