#!/usr/bin/env bash
# Through a real terminal (tmux): the simulated joystick's live gauge, its plain trace lines,
# and the keyboard sender steering a feeder.
#   tmux.sh FEEDER SENDER
set -u
feeder=$1 sender=$2
source "$(dirname "$0")/../lib/own_network.sh" "$@"
work=$(mktemp -d)
servers=0
trap 'for n in $(seq $servers); do tmux -L "joywire-$$-$n" kill-server 2>/dev/null; done; rm -rf "$work"' EXIT
passed=0 failed=0
check() {  # check WHAT COMMAND...: on failure, shows the pane
  local what=$1
  shift
  if "$@"; then passed=$((passed + 1)); else
    failed=$((failed + 1))
    echo "  FAIL $what; the screen:"
    screen | sed 's/^/    | /'
  fi
}
screen() { "${tmux[@]}" capture-pane -p -t "$pane"; }
wait_screen() {  # wait_screen REGEX: until the screen shows it (60 s at most)
  for _ in $(seq 1200); do screen | grep -qE -- "$1" && return 0; sleep 0.05; done
  return 1
}
# feeder_pane ENV...: a feeder in a fresh 80x24 pane of a tmux server of its own, on 127.0.0.1;
# the feeder before it is ended first, so the port is free.
feeder_pane() {
  if [ $servers -gt 0 ]; then
    kill "$(cat "$work/feeder.pid")"
    for _ in $(seq 1200); do grep -q ':C350 ' /proc/net/udp || break; sleep 0.05; done
    "${tmux[@]}" kill-server
  fi
  servers=$((servers + 1))
  tmux=(tmux -L "joywire-$$-$servers" -f /dev/null)
  "${tmux[@]}" new-session -d -x 80 -y 24 "echo \$\$ >'$work/feeder.pid'; exec env $* '$feeder'" \; \
    set-option remain-on-exit on
  pane=$("${tmux[@]}" display -p '#{pane_id}')
  wait_screen "press enter to use default one" && "${tmux[@]}" send-keys -t "$pane" 127.0.0.1 Enter
  wait_screen "init complete"
}

# --- The gauge: the last datagram's values, in place, however many arrive -----------------
feeder_pane
printf '%s\n' "0 0 0 1 0" "0.5 -1 1 0 1" | "$sender" >/dev/null
check "gauge shows the last datagram" wait_screen "updates 3 "
check "X, Y, Z and the lamps" bash -c "$(declare -f screen); tmux=(${tmux[*]}); pane=$pane; screen |
  tr '\n' '|' | grep -qE 'X \[#{24}-{8}\]  24575\|  Y \[-{32}\]      0\|  Z \[#{32}\]  32767\|  button 1 \[ \]  button 2 \[#\]'"
lines_before=$(screen | grep -c .)
"$sender" --flood 3000 --rate 20000 2>/dev/null
check "gauge counts a flood" wait_screen "updates 3003 "
check "the screen does not grow ($lines_before lines before)" \
  test "$(screen | grep -c .)" -eq "$lines_before" -a "$("${tmux[@]}" display -p -t "$pane" '#{history_size}')" -eq 0

# --- JOYWIRE_SIM_GAUGE=0: one trace line per call, on the terminal --------------------------
feeder_pane JOYWIRE_SIM_GAUGE=0
"$sender" 1 1 1 0 0 >/dev/null
check "plain trace lines" wait_screen "^update device=1 index=1 x=32767 y=32767 z=32767 buttons=0 ok$"

# --- The keyboard sender steers a feeder ---------------------------------------------------
feeder_pane JOYWIRE_SIM_TRACE="$work/trace"
pane=$("${tmux[@]}" split-window -P -F '#{pane_id}' -t "$pane" \
  "'$sender' --keys --rate 5; echo \"keys ended: \$?\"")
check "the sender's key help" wait_screen "q or Esc: quit"
# Each key, with the update it must bring (values worked out by hand: 0.1 is 18021, 0.2 19660).
keys=(Right Right Up PageUp 1 d 2 Space q)
expected=("x=18021 y=16383 z=16383 buttons=0" "x=19660 y=16383 z=16383 buttons=0"
  "x=19660 y=14745 z=16383 buttons=0" "x=19660 y=14745 z=18021 buttons=0"
  "x=19660 y=14745 z=18021 buttons=1" "x=21298 y=14745 z=18021 buttons=1"
  "x=21298 y=14745 z=18021 buttons=0" "x=16383 y=16383 z=16383 buttons=0")
for i in "${!keys[@]}"; do
  "${tmux[@]}" send-keys -t "$pane" "${keys[$i]}"
  [ -n "${expected[$i]:-}" ] && wait_screen "." &&
    for _ in $(seq 200); do grep -q "${expected[$i]} ok" "$work/trace" && break; sleep 0.05; done
done
check "q quits with status 0" wait_screen "keys ended: 0"
seen=$(grep '^update' "$work/trace" | sed 's/^update device=1 index=1 //; s/ ok$//' | uniq | tail -n +3)
check "each key, one change, in order: $(echo $seen | tr '\n' ' ')" \
  test "$seen" == "$(printf '%s\n' "${expected[@]}")"
check "the sender's line shows the values" wait_screen "X \+0\.0  Y \+0\.0  Z \+0\.0  button 1 off  button 2 off"

echo "terminal: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
