#!/bin/busybox sh
# PID 1 of the desktop VM: Debian's udev, SDL2, joydev and users around the uinput feeder.
# Each check prints what it saw and "VMCHECK PASS|FAIL <what>"; then the VM powers off.
/bin/busybox --install -s /bin
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mount -t tmpfs run /run
mkdir -p /run/lock /run/udev /tmp /dev/pts
chmod 1777 /tmp
ip link set lo up

check() {  # check WHAT COMMAND...
  what=$1
  shift
  if "$@"; then echo "VMCHECK PASS $what"; else echo "VMCHECK FAIL $what"; fi
}
wait_for() {  # wait_for FILE TEXT [TENTHS]: until the file holds the text
  i=0
  while ! grep -q "$2" "$1" 2>/dev/null && [ $i -lt "${3:-600}" ]; do sleep 0.1; i=$((i + 1)); done
  grep -q "$2" "$1" 2>/dev/null
}
as() {  # as USER COMMAND: runs a shell command as that user, with the user's groups
  su -s /bin/sh "$1" -c "$2"
}
joysticks() { cat /sys/class/input/*/name 2>/dev/null | grep -c "^joywire virtual joystick $1\$"; }
node_of() {  # node_of CLASS NAME: /dev/input/<event|js>N of the input device of that name
  for path in /sys/class/input/$1*; do
    [ "$(cat "$path/device/name" 2>/dev/null)" = "$2" ] && { echo "/dev/input/${path##*/}"; return; }
  done
}
# hold TAG USER DEVICE: a feeder of USER on DEVICE ($profile's), typed 127.0.0.1, until "init complete";
# its process id is then in $pid_TAG (su and the shell both exec, so it is joywire's own).
hold() {
  rm -f "/tmp/$1.in" "/tmp/$1.out"
  mkfifo -m 666 "/tmp/$1.in"
  su -s /bin/sh "$2" -c "exec $profile /usr/bin/joywire $3 </tmp/$1.in >/tmp/$1.out 2>&1" 4>&- 5>&- &
  eval "pid_$1=\$!"
  echo 127.0.0.1 >"/tmp/$1.in"
  wait_for "/tmp/$1.out" "init complete" 200
}
end() {  # end TAG [SIGNAL]: ends a held feeder and waits until it is gone
  eval "kill -${2:-TERM} \$pid_$1; wait \$pid_$1"
}
# once USER DEVICE: a feeder that should end at once; prints its exit status
once() { echo | as "$1" "/usr/bin/joywire $2 >/tmp/once-$1.out 2>&1"; echo $?; }

profile=""
# The gamepad profile's probe, reading "pad" commands from descriptor 5, and its feeder; the
# GUID SDL gave it goes to $guid.
gamepad_start() {
  rm -f /tmp/pad.in /tmp/pad.out
  mkfifo /tmp/pad.in
  sdl-probe --gamepad "joywire gamepad 2" </tmp/pad.in >/tmp/pad.out 2>&1 4>&- &
  pad_probe=$!
  exec 5>/tmp/pad.in
  wait_for /tmp/pad.out "waiting for"
  profile="env JOYWIRE_PROFILE=gamepad"
  hold gp alice 2
  profile=""
  wait_for /tmp/pad.out "^PROBE" 600
  guid=$(sed -n 's/^probe: guid //p' /tmp/pad.out)
}
gamepad_end() {
  end gp KILL
  exec 5>&-
  wait $pad_probe
}
pads=1
pad() {  # pad "SENDER ARGUMENTS" "CONTROL=RAW...": one datagram, and what SDL must show
  [ -z "$1" ] || joywire-send $1
  echo "pad $2" >&5
  pads=$((pads + 1))
  i=0
  while [ "$(grep -c '^PROBE' /tmp/pad.out)" -lt $pads ] && [ $((i += 1)) -lt 300 ] && kill -0 $pad_probe; do sleep 0.1; done
}
boot_setup() {
echo "== Debian's udev, as on a desktop"
insmod /evdev.ko
insmod /joydev.ko
insmod /uinput.ko
/lib/systemd/systemd-udevd --daemon
udevadm trigger --action=add --type=subsystems
udevadm trigger --action=add --type=devices
udevadm settle
echo "== joywire's package: its files in place, then its postinst, as dpkg runs it"
cp -a /var/cache/joywire-deb/. /
/var/lib/dpkg/info/joywire.postinst configure
udevadm settle
useradd -G joywire alice
useradd -G joywire bob
useradd eve
}
boot_setup
if grep -q "joywire.boot=second" /proc/cmdline; then
  echo "== the gamepad after a reboot"
  gamepad_start
  gamepad_end
  echo "GAMEPAD GUID $guid"
  echo "VMCHECK DONE"
  poweroff -f
fi
seen=$(stat -c '%G %a' /dev/uinput)
echo "/dev/uinput: group and mode $seen"
check "/dev/uinput is group joywire, mode 0660, through the packaged rule" [ "$seen" = "joywire 660" ]
status=$(once eve 1)
check "eve, not in group joywire: exit status -5 (251), status $status" [ "$status" = 251 ]
check "eve is told why and what to do" grep -q "no permission to open /dev/uinput: install" /tmp/once-eve.out

for backend in udev inotify; do
  echo "== SDL2 ($backend back end), a user's feeder, joydev"
  rm -f /tmp/probe.in /tmp/probe.out
  mkfifo /tmp/probe.in
  if [ $backend = udev ]; then
    sdl-probe "joywire virtual joystick 1" </tmp/probe.in >/tmp/probe.out 2>&1 &
  else
    SDL_JOYSTICK_DISABLE_UDEV=1 sdl-probe "joywire virtual joystick 1" </tmp/probe.in >/tmp/probe.out 2>&1 &
  fi
  probe=$!
  exec 4>/tmp/probe.in
  wait_for /tmp/probe.out "waiting for"
  hold user alice 1
  check "alice, in group joywire and not root, runs joywire to init complete" \
    grep -q "init complete" /tmp/user.out
  wait_for /tmp/probe.out "arrived"
  if [ $backend = udev ]; then
    event=$(node_of event "joywire virtual joystick 1")
    udevadm info "$event" >/tmp/udev.out
    grep -E "ID_INPUT_JOYSTICK|uaccess|seat" /tmp/udev.out | sed "s|^|$event: |"
    check "udev: ID_INPUT_JOYSTICK=1 on $event" grep -q "E: ID_INPUT_JOYSTICK=1" /tmp/udev.out
    check "udev: the uaccess tag on $event" grep -q "uaccess" /tmp/udev.out
    js=$(node_of js "joywire virtual joystick 1")
    evdev-reader --joydev "$js" 1000 600 >/tmp/js.out 2>&1 4>&- &
    reader=$!
    wait_for /tmp/js.out ready
  fi
  # Each datagram, and the raw position it must give (X Y Z and the button bits).
  n=0
  for datagram in "0.5 -1 1 1 0:24575 0 32767 1" "-1 -1 -1 0 1:0 0 0 2" \
    "1 0.5 -0.5 1 1:32767 24575 8191 0" "0 0 0 1 0:16383 16383 16383 1"; do
    joywire-send ${datagram%%:*}
    echo "expect ${datagram#*:}" >&4
    n=$((n + 1))
    i=0
    while [ "$(grep -c '^PROBE' /tmp/probe.out)" -le $n ] && [ $i -lt 300 ]; do sleep 0.1; i=$((i + 1)); done
  done
  rumbled=0
  if [ $backend = inotify ]; then  # (no joydev reader here to see the probe's own datagram)
    echo "rumble 65535 1000" >&4
    rumbled=1
    i=0
    while [ "$(grep -c '^PROBE' /tmp/probe.out)" -le $((n + 1)) ] && [ $((i += 1)) -lt 300 ]; do sleep 0.1; done
  fi
  end user KILL
  echo removed >&4
  exec 4>&-
  wait $probe
  sed 's/^PROBE PASS/SDL:/; s/^PROBE FAIL/SDL (wrong):/' /tmp/probe.out
  check "SDL2 ($backend): one joystick of its name, 3 axes, 2 buttons, 0 hats, each datagram's values, arrival and departure$([ $rumbled = 1 ] && echo ', its rumble back to the sender')" \
    [ "$(grep -c '^PROBE PASS' /tmp/probe.out)" -eq $((6 + rumbled)) ]
  if [ $backend = udev ]; then
    kill $reader
    cat /tmp/js.out
    check "joydev: $js has 3 axes and 2 buttons" grep -q "joydev: 3 axes, 2 buttons" /tmp/js.out
    check "joydev: X follows the datagrams (16385, -32767, 32767, 0)" \
      [ "$(grep 'js: axis 0 = ' /tmp/js.out | sed 's/.*= //' | tr '\n' ' ')" = "16385 -32767 32767 0 " ]
  fi
done

echo "== the gamepad profile: SDL's game controller, no mapping file anywhere"
databases=$(find / -xdev -iname '*gamecontrollerdb*' 2>/dev/null | wc -l)
gamepad_start
# At rest before any datagram; then one longer record per control (the rest of it at rest:
# sticks centred, triggers released); last, a 20-byte datagram, which leaves the rest at rest.
still="0 0 -1 0 0"
pad "" ""
for step in "--hat 0 1 0 -1 0 0:leftx=32767" "--hat 0 0 -1 -1 0 0:lefty=0" \
  "--axes 1 $still:rightx=32767" "--axes 0,-1 $still:righty=0" \
  "--hat 0 0 0 1 0 0:lefttrigger=32767" "--axes 0,0,1 $still:righttrigger=32767" \
  "--hat 1 $still:dpup=1" "--hat 2 $still:dpup=1 dpright=1" "--hat 3 $still:dpright=1" "--hat 4 $still:dpright=1 dpdown=1" \
  "--hat 5 $still:dpdown=1" "--hat 6 $still:dpdown=1 dpleft=1" "--hat 7 $still:dpleft=1" "--hat 8 $still:dpleft=1 dpup=1" \
  "--axes 1,1,1 $still:rightx=32767 righty=32767 righttrigger=32767" "1 0 -1 1 0:leftx=32767 a=1"; do
  pad "${step%%:*}" "${step#*:}"
done
bit=1
for button in a b x y leftshoulder rightshoulder back start guide leftstick rightstick; do
  pad "--buttons $bit $still" "$button=1"
  bit=$((bit * 2))
done
# A game's rumble: the level back to the sender (the probe), then the zero at its stop; an
# upload timed while datagrams flood in, and while none come.
pad_command() { echo "$1" >&5; pads=$((pads + 1)); i=0
  while [ "$(grep -c '^PROBE' /tmp/pad.out)" -lt $pads ] && [ $((i += 1)) -lt 300 ]; do sleep 0.1; done; }
pad_command "rumble 40000 20000"
joywire-send --flood 50000 --rate 10000 2>/dev/null &
flood=$!
sleep 1
pad_command "upload 30000 0"
wait $flood
pad_command "upload 30000 0"
first=$guid
gamepad_end
sed 's/^PROBE PASS/SDL:/; s/^PROBE FAIL/SDL (wrong):/' /tmp/pad.out
check "SDL2: \"joywire gamepad 2\" is a game controller with no mapping file ($databases database files), at rest, then each control alone: 6 axes, 8 d-pad directions, 11 buttons; its rumble" \
  [ "$(grep -c '^PROBE PASS' /tmp/pad.out)" -eq 32 ] && [ "$databases" = 0 ]
gamepad_start
gamepad_end
check "SDL2: the gamepad's GUID is the same after its feeder restarts ($first, then $guid)" \
  [ -n "$first" ] && [ "$first" = "$guid" ]
echo "GAMEPAD GUID $guid"

for layout in debian root-only; do
  if [ $layout = debian ]; then
    chmod 1777 /run/lock   # world-writable and sticky, as on Debian
    echo 1 >/proc/sys/fs/protected_regular
  else
    chmod 755 /run/lock    # writable by root only, as on Arch and Fedora
  fi
  echo "== the device lock, /run/lock $(stat -c %a /run/lock), fs.protected_regular=$(cat /proc/sys/fs/protected_regular)"
  hold a alice 1
  status=$(once root 1)
  check "alice holds device 1: root gets -3 (253), status $status; joysticks named 1: $(joysticks 1)" \
    [ "$status" = 253 ] && [ "$(joysticks 1)" = 1 ]
  end a KILL
  hold b root 1
  check "killed with SIGKILL, device 1 is free at once: root holds it" grep -q "init complete" /tmp/b.out
  status=$(once alice 1)
  check "root holds device 1: alice gets -3 (253), status $status" [ "$status" = 253 ]
  end b
  hold c alice 2
  end c
  hold d root 2
  check "alice used device 2 and ended: root gets it" grep -q "init complete" /tmp/d.out
  end d
  hold e bob 2
  check "... and so does bob" grep -q "init complete" /tmp/e.out
  end e
  if [ $layout = debian ]; then
    echo "root only" >/root/secret
    chmod 600 /root/secret
    as alice "ln -s /root/secret /run/lock/joywire-uinput-1.lock"
    ls -l /run/lock/
    hold f root 1
    check "a link planted where the old lock file lived changes nothing: root holds device 1, /root/secret $(stat -c %a /root/secret), \"$(cat /root/secret)\"" \
      grep -q "init complete" /tmp/f.out && [ "$(stat -c %a /root/secret)" = 600 ] && [ "$(cat /root/secret)" = "root only" ]
    end f
  fi
done

# The cost of the real back end, a figure (scripts/bench uinput asks for it), not a check.
if grep -q "joywire.cost" /proc/cmdline; then
  echo "== the cost of the real back end: CPU per datagram, 20,000 datagrams each"
  # The scheduler's own count of the nanoseconds a process ran (not the 10 ms tick samples).
  cpu_ns() { cut -d' ' -f1 "/proc/$1/schedstat"; }
  settled() {  # until the process stops running
    last=-1
    while [ "$(cpu_ns "$1")" != "$last" ]; do last=$(cpu_ns "$1"); sleep 0.5; done
  }
  measure() {  # measure PID: CPU ns per datagram while 20,000 datagrams go to it
    # A warm-up first: the emulator translates code the first time it runs, on the guest's time.
    joywire-send --flood 2000 --rate 2000 2>/dev/null
    settled "$1"
    before=$(cpu_ns "$1")
    joywire-send --flood 20000 --rate 2000 2>/dev/null
    settled "$1"
    echo $(( ($(cpu_ns "$1") - before) / 20000 ))
  }
  # Two rounds, each side by side, since an emulated machine's timing wanders.
  for round in 1 2; do
    hold g root 3
    joywire_ns=$(measure "$pid_g")
    end g
    uinput-floor 127.0.0.1 50000 >/tmp/floor.out 2>&1 &
    floor=$!
    wait_for /tmp/floor.out ready
    floor_ns=$(measure $floor)
    kill $floor
    wait $floor
    echo "cost, round $round: joywire $joywire_ns ns/datagram, floor $floor_ns ns/datagram," \
      "ratio $(awk -v j="$joywire_ns" -v f="$floor_ns" 'BEGIN { printf "%.2f", j / f }') (goal <= 1.10)"
  done
fi

echo "VMCHECK DONE"
poweroff -f
