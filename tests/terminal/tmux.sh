#!/usr/bin/env bash
# Through a real terminal (tmux): the simulated joystick's live gauge, its plain trace lines,
# and the keyboard sender steering a feeder.
#   tmux.sh FEEDER SENDER [COLUMNS]   (the terminal's width; 80 by default)
set -u
feeder=$1 sender=$2 columns=${3:-80}
command -v tmux >/dev/null || { echo "terminal: tmux is not installed (scripts/test installs it)"; exit 1; }
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
everything() { "${tmux[@]}" capture-pane -p -S - -t "$pane"; }  # the scroll-back too
wait_screen() {  # wait_screen REGEX: until the screen shows it, wrapped lines joined (60 s at most)
  for _ in $(seq 1200); do "${tmux[@]}" capture-pane -p -J -t "$pane" | grep -qE -- "$1" && return 0; sleep 0.05; done
  return 1
}
ended() {  # the pane's program has ended (60 s at most)
  for _ in $(seq 1200); do [ "$("${tmux[@]}" display -p -t "$pane" '#{pane_dead}')" = 1 ] && return 0; sleep 0.05; done
  return 1
}
one_gauge() { test "$(everything | grep -c 'joywire-sim  device')" -eq 1; }
fits() {  # no line of the gauge reaches the last column (wrapped lines joined)
  ! "${tmux[@]}" capture-pane -p -J -S - -t "$pane" |
    grep -E '^(joywire-sim  device|  [XYZ] \[|  button 1 )' | grep -qE ".{$columns}"
}
updates() { grep -c '^update' "$work/trace"; }
mkfifo "$work/rumble"
rumble() { timeout 5 sh -c "echo '$1' >'$work/rumble'"; }  # a game's effect, through the driver
# start_pane ENV...: a feeder in a fresh pane of a tmux server of its own; the feeder before it
# is ended first, so the port is free. feeder_pane ENV...: the same, answered 127.0.0.1.
start_pane() {
  if [ $servers -gt 0 ]; then
    kill "$(cat "$work/feeder.pid")" 2>/dev/null
    for _ in $(seq 1200); do grep -q ':C350 ' /proc/net/udp || break; sleep 0.05; done
    "${tmux[@]}" kill-server
  fi
  servers=$((servers + 1))
  tmux=(tmux -L "joywire-$$-$servers" -f /dev/null)
  "${tmux[@]}" new-session -d -x "$columns" -y 24 "echo \$\$ >'$work/feeder.pid'; exec env $* '$feeder'" \; \
    set-option remain-on-exit on
  pane=$("${tmux[@]}" display -p '#{pane_id}')
}
feeder_pane() {
  start_pane "$@"
  wait_screen "press enter to use default one" && "${tmux[@]}" send-keys -t "$pane" 127.0.0.1 Enter
  wait_screen "init complete"
}

# --- The gauge: the last datagram's values, in place, however many arrive -----------------
feeder_pane JOYWIRE_SIM_RUMBLE="$work/rumble"
printf '%s\n' "0 0 0 1 0" "0.5 -1 1 0 1" | "$sender" >/dev/null
check "gauge shows the last datagram" wait_screen "updates 3 "
check "X, Y, Z and the lamps" bash -c "$(declare -f screen); tmux=(${tmux[*]}); pane=$pane; screen |
  tr '\n' '|' | grep -qE 'X \[#+-+\]  24575\|  Y \[-+\]      0\|  Z \[#+\]  32767\|  button 1 \[ \]  button 2 \[#\]'"
"$sender" --buttons 0x80000005 --hat 3 --axes 1 0 0 0 1 0 >/dev/null
check "the longer record's other controls, while held" wait_screen "more: 3 32  hat 3  RX 32767\$"
echo "0.5 -1 1 0 1" | "$sender" >/dev/null
check "and gone at rest" bash -c "$(declare -f screen wait_screen); tmux=(${tmux[*]}); pane=$pane;
  wait_screen 'updates 5 ' && ! screen | grep -q 'more:'"
rumble "play 32768 16384"
check "the rumble level sent back, while it plays" wait_screen "^  rumble: strong  50%  weak  25%$"
rumble stop
check "and gone when it stops" bash -c "$(declare -f screen); tmux=(${tmux[*]}); pane=$pane;
  for _ in \$(seq 100); do screen | grep -q rumble || exit 0; sleep 0.05; done; exit 1"
lines_before=$(screen | grep -c .)
drops_before=$(feeder_drops)
"$sender" --flood 3000 --rate 20000 2>/dev/null
delivered=$((3005 - $(feeder_drops) + ${drops_before:-0}))
check "gauge counts a flood ($delivered delivered)" wait_screen "updates $delivered "
check "the rate falls to 0 once datagrams stop" wait_screen "updates $delivered +0/s"
check "the screen does not grow ($lines_before lines before)" \
  test "$(screen | grep -c .)" -eq "$lines_before" -a "$("${tmux[@]}" display -p -t "$pane" '#{history_size}')" -eq 0
check "every line fits $columns columns" fits
"${tmux[@]}" resize-window -x 50
"$sender" --flood 300 --rate 3000 2>/dev/null
check "after a resize to 50 columns: one gauge, fitted" bash -c "$(declare -f everything one_gauge fits);
  tmux=(${tmux[*]}); pane=$pane; columns=50; sleep 0.5; one_gauge && fits"
"${tmux[@]}" resize-window -x "$columns"

# --- The screen at the end: typing during the feed loop, Enter at the final wait ------------
feeder_pane JOYWIRE_SIM_FAIL_AFTER=4
"$sender" 0 0 0 0 0 >/dev/null
"${tmux[@]}" send-keys -t "$pane" typed Enter
"$sender" --flood 4 >/dev/null 2>&1   # the last update fails; the typed Enter ends the wait
check "the run ends" ended
check "one gauge, the final wait below it, nothing typed shown" bash -c "$(declare -f screen everything one_gauge);
  tmux=(${tmux[*]}); pane=$pane; one_gauge && ! screen | grep -q typed &&
  screen | grep -v '^Pane is dead' | grep . | tail -2 | head -1 | grep -qE 'failed(: 0 acquisitions, 1 updates| 0/1)$' &&
  screen | grep -v '^Pane is dead' | grep . | tail -1 | grep -q '^Press Enter to continue'"
start_pane JOYWIRE_SIM_ACQUIRE=0  # an early end: the acquisition fails, a key is awaited
wait_screen "failed(: 1 acquisitions| 1/0)" && "${tmux[@]}" send-keys -t "$pane" x Enter
check "an early end's key: one gauge, the last lines" bash -c "$(declare -f screen everything one_gauge ended);
  tmux=(${tmux[*]}); pane=$pane; ended && one_gauge &&
  screen | grep -v '^Pane is dead' | grep . | tail -1 | grep -qE 'failed(: 1 acquisitions, 0 updates| 1/0)$'"

# --- JOYWIRE_SIM_GAUGE=0: one trace line per call, on the terminal --------------------------
feeder_pane JOYWIRE_SIM_GAUGE=0
"$sender" 1 1 1 0 0 >/dev/null
check "plain trace lines" wait_screen "^update device=1 index=1 x=32767 y=32767 z=32767 buttons=0 ok$"

# --- The keyboard sender steers a feeder ---------------------------------------------------
feeder_pane JOYWIRE_SIM_TRACE="$work/trace" JOYWIRE_SIM_RUMBLE="$work/rumble"
terminal_state='echo "keys ended: $?, terminal: $(stty -a | tr " ;" "\n\n" | grep -xE -- "-?(icanon|echo)" | tr "\n" " ")"'
pane=$("${tmux[@]}" split-window -P -F '#{pane_id}' -t "$pane" "'$sender' --keys --rate 5; $terminal_state")
check "the sender's key help" wait_screen "q or Esc: quit"
rumble "play 65535 6553 300"  # 300 ms long: it ends by itself
check "a rumble played on the feeder's device reaches the sender, and ends" bash -c "$(declare -f wait_screen)
  tmux=(${tmux[*]}); pane=$pane; wait_screen 'rumble 100%   9%' && grep -q '^rumble strong=65535 weak=6553$' '$work/trace' &&
  for _ in \$(seq 40); do grep -q '^rumble strong=0 weak=0$' '$work/trace' && exit 0; sleep 0.05; done; exit 1"
# Each key, with the update it must bring (values worked out by hand: 0.1 is 18021, 0.2 19660).
keys=(Right Right Up PageUp 1 d 2 Space q)
expected=("x=18021 y=16383 z=16383 buttons=0" "x=19660 y=16383 z=16383 buttons=0"
  "x=19660 y=14745 z=16383 buttons=0" "x=19660 y=14745 z=18021 buttons=0"
  "x=19660 y=14745 z=18021 buttons=1" "x=21298 y=14745 z=18021 buttons=1"
  "x=21298 y=14745 z=18021 buttons=0" "x=16383 y=16383 z=16383 buttons=0")
for i in "${!keys[@]}"; do
  if [ "${keys[$i]}" = q ]; then  # a sender held up sends no burst of the datagrams it missed
    pkill -STOP -f -- "$sender --keys" && sleep 2
    before=$(updates)
    pkill -CONT -f -- "$sender --keys" && sleep 0.6
    check "no burst after 2 s stopped at 5/s: $(($(updates) - before)) datagrams in the 0.6 s after" \
      test $(($(updates) - before)) -le 6
  fi
  "${tmux[@]}" send-keys -t "$pane" "${keys[$i]}"
  [ -n "${expected[$i]:-}" ] && wait_screen "." &&
    for _ in $(seq 200); do grep -q "${expected[$i]} ok" "$work/trace" && break; sleep 0.05; done
done
check "q quits with status 0, the terminal put back" wait_screen "keys ended: 0, terminal: icanon echo"
seen=$(grep '^update' "$work/trace" | sed 's/^update device=1 index=1 //; s/ ok$//' | uniq | tail -n +3)
check "each key, one change, in order: $(echo $seen | tr '\n' ' ')" \
  test "$seen" == "$(printf '%s\n' "${expected[@]}")"
check "the sender's line shows the values" wait_screen "X \+0\.0  Y \+0\.0  Z \+0\.0  button 1 off  button 2 off"

# A stop (Ctrl-Z) puts the terminal back and after fg the keys act again; an arrow whose bytes
# come late after the ESC is still an arrow.
"${tmux[@]}" respawn-pane -k -t "$pane" "bash --norc --noprofile -i"
"${tmux[@]}" send-keys -t "$pane" "'$sender' --keys --rate 10" Enter
wait_screen "q or Esc: quit" && "${tmux[@]}" send-keys -t "$pane" C-z
check "stopped by Ctrl-Z" wait_screen "Stopped"
"${tmux[@]}" send-keys -t "$pane" 'stty -a | grep -o -- "-\?icanon" | sed "s/^/while stopped: /"' Enter
check "the terminal is back in line mode while stopped" wait_screen "^while stopped: icanon"
"${tmux[@]}" send-keys -t "$pane" fg Enter
wait_screen "^'.*' --keys --rate 10$"
"${tmux[@]}" send-keys -t "$pane" Escape
sleep 0.1
"${tmux[@]}" send-keys -t "$pane" -l '[C'
check "keys act after fg; ESC, 0.1 s, then [C is Right" bash -c \
  "for _ in \$(seq 200); do tail -1 '$work/trace' | grep -q 'x=18021 y=16383' && exit 0; sleep 0.05; done; exit 1"
"${tmux[@]}" send-keys -t "$pane" q
"${tmux[@]}" send-keys -t "$pane" "$terminal_state" Enter
check "quit after fg, the terminal put back" wait_screen "keys ended: 0, terminal: icanon echo"

# A signal from outside puts the terminal back too.
"${tmux[@]}" respawn-pane -k -t "$pane" "'$sender' --keys --rate 10; $terminal_state"
wait_screen "q or Esc: quit" && pkill -INT -f -- "$sender --keys"
check "SIGINT from outside: the terminal put back" wait_screen "keys ended: 130, terminal: icanon echo"

# A terminal that goes away without a SIGHUP reaching the sender (it is not its controlling
# terminal): the sender stops sending and ends, with status 1.
"${tmux[@]}" respawn-pane -k -t "$pane" \
  "setsid -w sh -c '\"$sender\" --keys --rate 10 2>/dev/null; echo \$? >$work/hung-up'"
wait_screen "q or Esc: quit" && "${tmux[@]}" kill-pane -t "$pane"
for _ in $(seq 100); do [ -s "$work/hung-up" ] && break; sleep 0.05; done
ended=$(updates)
sleep 0.5
check "a hung-up terminal ends the sender: status $(cat "$work/hung-up" 2>/dev/null), $(($(updates) - ended)) datagrams after" \
  test "$(cat "$work/hung-up" 2>/dev/null)" = 1 -a "$(updates)" -eq "$ended"

echo "terminal ($columns columns): $passed passed, $failed failed"
[ "$failed" -eq 0 ]
