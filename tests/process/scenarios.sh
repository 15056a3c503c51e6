#!/usr/bin/env bash
# Whole-process scenarios: the feeder with the simulated device, typed at through its standard
# input and fed by the sender over loopback, checked by its console output, its device trace
# and its exit status.
#
# usage: scenarios.sh FEEDER SENDER
#   JOYWIRE_LAUNCHER  command that runs the binaries (e.g. "wine" for Windows builds)
#   JOYWIRE_WAIT      longest wait for each step, in seconds (default 60). Every wait ends as soon
#                     as what it waits for happens; the limit only bounds a failure.
# Runs in a network namespace of its own when it can make one, on 127.0.0.1 otherwise.
set -u

feeder=$1
sender=$2
launcher=${JOYWIRE_LAUNCHER:-}
step_wait=${JOYWIRE_WAIT:-60}

source "$(dirname "$0")/../lib/own_network.sh" "$@"

# A feeder that has already ended must not take this script down with it.
trap '' PIPE

work=$(mktemp -d "${TMPDIR:-/tmp}/joywire-scenarios.XXXXXX")
trap 'rm -rf "$work"' EXIT
passed=0
failed=0
current=""

fail() {
  echo "  FAIL [$current] $*"
  failed=$((failed + 1))
}
pass() { passed=$((passed + 1)); }
check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then pass; else fail "$what"; fi
}

# Console output with Windows line ends folded to plain ones.
output() { tr -d '\r' <"$work/out"; }
trace() { tr -d '\r' <"$work/trace" 2>/dev/null; }
updates() { trace | grep -c '^update ' || true; }

# start NAME ENV... -- ARGS...: starts the feeder with its standard input on a pipe (fd 3).
start() {
  current=$1
  shift
  local env_args=()
  while [ "$1" != "--" ]; do env_args+=("$1"); shift; done
  shift
  rm -f "$work/in" "$work/out" "$work/err" "$work/trace"
  mkfifo "$work/in"
  : >"$work/trace"
  env JOYWIRE_SIM_TRACE="$work/trace" "${env_args[@]}" \
    $launcher "$feeder" "$@" <"$work/in" >"$work/out" 2>"$work/err" &
  pid=$!
  exec 3>"$work/in"
}

# type TEXT: a line (or, with -n, bare text) on the feeder's standard input.
type_line() { printf '%s\n' "$1" >&3; }

seen() {  # seen TEXT...: one of the fixed strings is in the console output
  local text
  for text in "$@"; do output | grep -qF -- "$text" && return 0; done
  return 1
}
wait_for() {  # wait_for TEXT...: until one of them shows (or the feeder ends)
  local deadline=$((SECONDS + step_wait))
  while [ $SECONDS -lt $deadline ]; do
    seen "$@" && return 0
    kill -0 "$pid" 2>/dev/null || { seen "$@"; return; }
    sleep 0.05
  done
  return 1
}

wait_updates() {  # wait_updates N
  local deadline=$((SECONDS + step_wait))
  while [ $SECONDS -lt $deadline ]; do
    [ "$(updates)" -ge "$1" ] && return 0
    sleep 0.05
  done
  return 1
}

finish() {  # closes the feeder's input and waits; sets $status
  exec 3>&-
  local deadline=$((SECONDS + step_wait))
  while kill -0 "$pid" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.05; done
  if kill -0 "$pid" 2>/dev/null; then
    fail "feeder still running; killed. Its console so far:
$(output | tail -6 | sed 's/^/    | /')"
    kill -9 "$pid" 2>/dev/null
  fi
  wait "$pid"
  status=$?
}

send() { $launcher "$sender" --host 127.0.0.1 "$@" >/dev/null 2>>"$work/send.err"; }

expect_status() { check "exit status $status, expected $1" test "$status" -eq "$1"; }
expect_output() { check "console output differs:
$(output | diff <(printf '%s' "$1") - | sed 's/^/    /')" test "$(output)" == "$(printf '%s' "$1" | sed '$!b')"; }

banner="TEST
Vendor: joywire
Product :joywire simulated joystick
Version Number:"
prompt="Please enter valid Ipv4 adress of your machine or press enter to use default one"

# --- The whole run: datagrams of every size, then a failed update ends the loop ------------
# The simulated joystick names a longer record's other controls; the Windows driver's record
# has no room for them, so the stand-in library behind joywire.exe sees none.
case $(basename "$feeder") in
  joywire-sim*) longer_tail=" hat=3 rx=32767 ry=32767 rz=32767 slider=16383 dial=16383 wheel=16383" ;;
  *) longer_tail="" ;;
esac
start whole-run JOYWIRE_SIM_FAIL_AFTER=4 --
type_line "127.0.0.1"
if wait_for "init complete"; then
  send 0 -1 1 1 0                   # the sample datagram
  wait_updates 2
  send --size 64 1 1 1 0 1          # longer: its first 20 bytes count
  wait_updates 3
  send --size 10 -1 -1 -1 1 1       # shorter: ignored
  send --size 0 -1 -1 -1 1 1        # empty: ignored
  send -0.5 0.5 nan 2 1.5           # the next good one
  wait_updates 4
  send --buttons 0x80000003 --hat 3 --axes 1,1,1 1 1 1 1 1  # the fifth fails: a longer record
  wait_for "Press Enter" "Press any key" || true
else
  fail "no 'init complete'"
fi
type_line ""
finish
expect_status 0
check "trace" test "$(trace)" == "acquire device=1 ok
update device=1 index=1 x=16383 y=0 z=0 buttons=0 ok
update device=1 index=1 x=16383 y=0 z=32767 buttons=1 ok
update device=1 index=1 x=32767 y=32767 z=32767 buttons=2 ok
update device=1 index=1 x=8191 y=24575 z=16383 buttons=2 ok
update device=1 index=1 x=32767 y=32767 z=32767 buttons=-2147483645$longer_tail failed
acquire device=1 ok"
check "console" test "$(output | sed -n '5,$p' | sed 's/Press .*//')" == "$prompt""IP address for connection is 127.0.0.1
WSAStartUp Success
Socket3 Creation Success
init complete
Feeding vJoy device number 1 failed - try to enable device then press enter
Socket3 Closing Success
WSA Cleanup Success"
check "banner" test "$(output | head -4 | sed '4s/:.*/:/')" == "$banner"
check "final wait" bash -c "tr -d '\r' <'$work/out' | tail -1 | grep -qxE 'Press Enter to continue \. \. \. |Press any key.*'"

# --- An address that is not this machine's: the bind fails, the run goes on and ends -------
# A first feeder holds 127.0.0.1:50000 meanwhile: wine turns a bind to a foreign address into
# one to every address on the port, which then fails as the port is taken, as Windows would.
mkfifo "$work/hold_in"
JOYWIRE_SIM_TRACE="$work/hold_trace" $launcher "$feeder" <"$work/hold_in" >"$work/hold_out" 2>&1 &
holder=$!
exec 4>"$work/hold_in"
echo "127.0.0.1" >&4
# Without the holder in place the next bind could succeed, so wait for it, however long a cold
# start takes, and say so if it never came.
current=foreign-bind-holder
deadline=$((SECONDS + step_wait))
until grep -q "init complete" "$work/hold_out" || [ $SECONDS -ge $deadline ]; do sleep 0.05; done
check "holder on 127.0.0.1:50000 ready:
$(tr -d '\r' <"$work/hold_out" | tail -4 | sed 's/^/    | /')" grep -q "init complete" "$work/hold_out"

start foreign-bind --
type_line ""                      # the default address
wait_for "WSA Cleanup" && type_line ""   # the key for the final wait
finish
expect_status 254  # -2: no socket to receive on
check "bind failure then init and a failed receive" \
  bash -c "tr -d '\r' <'$work/out' | tr '\n' '|' | grep -qE 'Using hardcoded ip address\|IP address for connection is 192\.168\.1\.100\|WSAStartUp Success\|Socket3 Creation Success\|Binding Failed & Error No ->[0-9]+\|init complete\|Receiving failed & Error No ->[0-9]+\|Socket3 Closing Success\|WSA Cleanup Success\|'"
check "rest position only" test "$(updates)" -eq 1
kill -9 "$holder" 2>/dev/null
wait "$holder" 2>/dev/null
exec 4>&-

# --- Device number argument ----------------------------------------------------------------
start device-257 JOYWIRE_SIM_STATUS=1 JOYWIRE_SIM_FAIL_AFTER=1 -- 257
type_line "127.0.0.1"
wait_for "init complete" && send 0 0 0 0 0
wait_for "Feeding vJoy device number 257 failed"
type_line ""
finish
expect_status 0
check "device 257, index byte 1" test "$(trace | grep -c 'device=257 index=1 ')" -eq 2

start bad-argument -- abc
finish
expect_status 156
expect_output "TEST
Stringova cast: abc 
Spatny vstup terminalu
"

start non-ascii-argument -- "é"        # echoed as typed, whatever the host's code page
finish
expect_status 156
expect_output "TEST
Stringova cast: é 
Spatny vstup terminalu
"

start zero-argument -- 0 5
finish
expect_status 156
expect_output "TEST
Stringova cast:  
Spatny vstup terminalu
"

# --- Early ends before any socket -----------------------------------------------------------
early() {  # early NAME STATUS READS_A_CHARACTER ENV... -- ARGS...
  local name=$1 expected=$2
  shift 2
  start "$name" "$@"
  finish
  expect_status "$expected"
  check "no network lines" bash -c "! grep -q WSA '$work/out'"
  check "no address prompt" bash -c "! grep -q 'Please enter' '$work/out'"
  check "no update" test "$(updates)" -eq 0
}
early not-enabled 251 JOYWIRE_SIM_ENABLED=0 --
check "prints only the banner" test "$(output)" == "TEST"
early busy 253 JOYWIRE_SIM_STATUS=2 --
early missing 252 JOYWIRE_SIM_STATUS=3 --
early unknown-status 255 JOYWIRE_SIM_STATUS=7 --
early device-17-missing 252 -- 17
early acquire-fails 156 JOYWIRE_SIM_ACQUIRE=0 --
check "acquisition traced as failed" test "$(trace)" == "acquire device=1 failed"

# --- Windows: no driver library beside the feeder nor on the path ----------------------------
# A library in the current folder is never loaded, so a planted one changes nothing.
if [ -n "${JOYWIRE_NO_DRIVER_FEEDER:-}" ]; then
  mkdir "$work/planted" && cp "$(dirname "$feeder")/vJoyInterface.dll" "$work/planted/"
  feeder=$JOYWIRE_NO_DRIVER_FEEDER
  cd "$work/planted"
  start missing-driver-library-planted-in-current-folder --
  type_line "x"
  finish
  cd - >/dev/null
  expect_status 251
  check "prints only the banner" test "$(output)" == "TEST"
  check "says on standard error what is missing" grep -q "vJoyInterface.dll was not found" "$work/err"
  # Found through a PATH entry in quotes with blanks around it, and beside an executable whose
  # folder is longer than MAX_PATH (the device then says busy, to end the run at once).
  mkdir "$work/on path" && cp "$work/planted/vJoyInterface.dll" "$work/on path/"
  start library-on-a-quoted-path-entry JOYWIRE_SIM_STATUS=2 WINEPATH=" \"Z:${work//\//\\}\\on path\" " --
  finish
  expect_status 253
  check "the driver's identification" seen "Vendor: joywire"
  deep=$work/$(printf '%0100d/%0100d/%080d' 0 0 0)
  mkdir -p "$deep" && cp "$feeder" "$work/planted/vJoyInterface.dll" "$deep/"
  feeder=$deep/$(basename "$feeder")
  start library-beside-a-long-path JOYWIRE_SIM_STATUS=2 --
  finish
  expect_status 253
  check "the driver's identification" seen "Vendor: joywire"
fi

echo "scenarios: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
