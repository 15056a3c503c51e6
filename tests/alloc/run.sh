#!/usr/bin/env bash
# Feeds 10,000 datagrams to the allocation-counting feeder; the 10,001st update fails and ends
# the run, which then reports how many heap allocations the feed loop made.
#   run.sh ALLOC_COUNT_FEEDER SENDER
set -u
feeder=$1 sender=$2
source "$(dirname "$0")/../lib/own_network.sh" "$@"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkfifo "$work/in"
JOYWIRE_SIM_TRACE=/dev/null JOYWIRE_SIM_FAIL_AFTER=10001 "$feeder" <"$work/in" >"$work/out" 2>&1 &
pid=$!
exec 3>"$work/in"
echo 127.0.0.1 >&3
for _ in $(seq 100); do grep -q "init complete" "$work/out" && break; sleep 0.1; done
# Paced, and more until the 10,001st update has come: a busy machine may drop some from the
# socket's queue.
for round in $(seq 40); do  # the 20 bytes, and every other round the longer record
  "$sender" --host 127.0.0.1 --flood 1000 --rate 50000 $([ $((round % 2)) = 0 ] && echo --buttons 0x5) 2>/dev/null
  grep -q "Feeding vJoy device number 1 failed" "$work/out" && break
done
echo >&3
exec 3>&-
for _ in $(seq 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
kill -9 $pid 2>/dev/null
wait $pid
status=$?
updates_line=$(grep -c "Feeding vJoy device number 1 failed" "$work/out")
grep "heap allocations" "$work/out"
[ "$status" -eq 0 ] && [ "$updates_line" -eq 1 ] && grep -q "after init complete: 0$" "$work/out"
