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
# hold TAG USER DEVICE: a feeder of USER on DEVICE, typed 127.0.0.1, until "init complete";
# its process id is then in $pid_TAG (su and the shell both exec, so it is joywire's own).
hold() {
  rm -f "/tmp/$1.in" "/tmp/$1.out"
  mkfifo -m 666 "/tmp/$1.in"
  su -s /bin/sh "$2" -c "exec /usr/bin/joywire $3 </tmp/$1.in >/tmp/$1.out 2>&1" 4>&- &
  eval "pid_$1=\$!"
  echo 127.0.0.1 >"/tmp/$1.in"
  wait_for "/tmp/$1.out" "init complete" 200
}
end() {  # end TAG [SIGNAL]: ends a held feeder and waits until it is gone
  eval "kill -${2:-TERM} \$pid_$1; wait \$pid_$1"
}
# once USER DEVICE: a feeder that should end at once; prints its exit status
once() { echo | as "$1" "/usr/bin/joywire $2 >/tmp/once-$1.out 2>&1"; echo $?; }

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
  end user KILL
  echo removed >&4
  exec 4>&-
  wait $probe
  sed 's/^PROBE PASS/SDL:/; s/^PROBE FAIL/SDL (wrong):/' /tmp/probe.out
  check "SDL2 ($backend): one joystick of its name, 3 axes, 2 buttons, 0 hats, each datagram's values, arrival and departure" \
    [ "$(grep -c '^PROBE PASS' /tmp/probe.out)" -eq 6 ]
  if [ $backend = udev ]; then
    kill $reader
    cat /tmp/js.out
    check "joydev: $js has 3 axes and 2 buttons" grep -q "joydev: 3 axes, 2 buttons" /tmp/js.out
    check "joydev: X follows the datagrams (16385, -32767, 32767, 0)" \
      [ "$(grep 'js: axis 0 = ' /tmp/js.out | sed 's/.*= //' | tr '\n' ' ')" = "16385 -32767 32767 0 " ]
  fi
done

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

echo "VMCHECK DONE"
poweroff -f
