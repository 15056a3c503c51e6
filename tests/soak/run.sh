#!/usr/bin/env bash
# Soak: a feeder with the simulated joystick on loopback takes a long mixed stream; every
# datagram of 20 bytes or more must give exactly one update, in order, with the right values.
# A datagram the kernel drops because the socket's queue is full (a busy machine) never reaches
# the feeder: those are counted from the kernel's own drop count, and must be all that is missing.
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

drops_before=$(feeder_drops)
started=$SECONDS
"$stream" --count "$count" --seed "$seed" --rate "$rate" --expect "$work/expected" || exit 1
expected=$(wc -l <"$work/expected")
updates() { grep -c '^update ' "$work/trace" 2>/dev/null || true; }
for _ in $(seq 300); do
  [ $(($(updates) + $(feeder_drops) - ${drops_before:-0})) -ge $((expected + 1)) ] && break
  sleep 0.1
done
sleep 0.5

alive=yes
kill -0 "$pid" 2>/dev/null || alive=no
# The rest position first, then one line per datagram of 20 bytes or more: X, Y, Z and the
# buttons (a longer record's other controls, which the trace names too, are not compared here).
grep '^update ' "$work/trace" | tail -n +2 | sed 's/^update device=1 index=1 //; s/ hat=[0-9]* rx=.* wheel=-\?[0-9]*//; s/ ok$//' >"$work/seen"
seen=$(wc -l <"$work/seen")
dropped=$(($(feeder_drops) - ${drops_before:-0}))
# The updates, in order, each the next expected datagram that was not dropped.
matching=$(awk 'NR == FNR { expected[NR] = $0; total = NR; next }
  { while (next_one < total && expected[++next_one] != $0) {} if (expected[next_one] == $0) n++ }
  END { print n + 0 }' "$work/expected" "$work/seen")
out_of_range=$(awk '{ split($0, f, /[ =]/); if (f[2] < 0 || f[2] > 32767 || f[4] < 0 || f[4] > 32767 ||
  f[6] < 0 || f[6] > 32767 || f[8] !~ /^-?[0-9]+$/) n++ } END { print n + 0 }' "$work/seen")  # buttons: a mask
echo "soak (seed $seed, $rate/s, $((SECONDS - started)) s): $expected datagrams of 20 bytes or more," \
  "$seen updates, $matching in order with the expected values, $((expected - seen)) lost," \
  "$dropped dropped by the kernel for a full queue, $out_of_range out of range, feeder alive: $alive"
[ "$alive" = yes ] && [ "$matching" -eq "$seen" ] && [ $((seen + dropped)) -ge "$expected" ] &&
  [ "$out_of_range" -eq 0 ]
