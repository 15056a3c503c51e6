#!/bin/sh
# PID 1 of the test VM: checks the uinput feeder against a real kernel and reports each check
# on the serial console as "VMCHECK PASS|FAIL <what>", then powers off.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mkdir -p /run/lock /tmp
ip link set lo up

check() {  # check WHAT COMMAND...
  what=$1
  shift
  if "$@"; then echo "VMCHECK PASS $what"; else echo "VMCHECK FAIL $what"; fi
}
wait_for() {  # wait_for FILE TEXT
  i=0
  while ! grep -q "$2" "$1" 2>/dev/null && [ $i -lt 200 ]; do sleep 0.1; i=$((i + 1)); done
}

echo "== uinput not loaded"
echo x | /joywire >/tmp/no-uinput.out 2>&1
check "no uinput: exit status -5 (251), status $?" [ $? -eq 251 ]
echo x | JOYWIRE_PROFILE=wheel /joywire >/tmp/no-profile.out 2>&1
check "no profile of that name: exit status -5 (251), status $?, and the profiles named" \
  [ $? -eq 251 ] && grep -q 'JOYWIRE_PROFILE is "wheel": the profiles are joystick (the default) and gamepad' /tmp/no-profile.out

insmod /evdev.ko
insmod /uinput.ko
i=0
while [ ! -e /dev/uinput ] && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
check "uinput loaded" [ -e /dev/uinput ]

echo "== the whole run on device 1"
mkfifo /tmp/in
/joywire </tmp/in >/tmp/feeder.out 2>&1 &
feeder=$!
exec 3>/tmp/in
i=0
until grep -qs "joywire virtual joystick 1" /sys/class/input/*/name || [ $i -ge 100 ]; do
  sleep 0.1
  i=$((i + 1))
done
/evdev-reader "joywire virtual joystick 1" 6 60 >/tmp/reader.out 2>&1 &
reader=$!
wait_for /tmp/reader.out ready
echo 127.0.0.1 >&3
wait_for /tmp/feeder.out "init complete"
/joywire-send 0 -1 1 1 0       # the sample datagram: button 1
/joywire-send -1 -1 1 1 1      # both buttons: none
/joywire-send 1 -1 1 0 1       # button 2
/joywire-send 0.5 -1 1 0 0     # none
/joywire-send -0.5 -1 1 1 0    # button 1
wait $reader
cat /tmp/feeder.out
cat /tmp/reader.out
cat >/tmp/expected <<'END'
device: joywire virtual joystick 1
bus: 0x06
axis: ABS_X 0..32767
axis: ABS_Y 0..32767
axis: ABS_Z 0..32767
button: BTN_TRIGGER
button: BTN_THUMB
ready
frame: ABS_X=16383
frame: ABS_Z=32767 BTN_TRIGGER=1
frame: ABS_X=0 BTN_TRIGGER=0
frame: ABS_X=32767 BTN_THUMB=1
frame: ABS_X=24575 BTN_THUMB=0
frame: ABS_X=8191 BTN_TRIGGER=1
frames: 6
END
check "name, virtual bus, axes 0..32767, two buttons, one frame per datagram" \
  cmp -s /tmp/expected /tmp/reader.out
check "feeder set up on 127.0.0.1" grep -q "init complete" /tmp/feeder.out

echo "== a second feeder on the same device"
echo | /joywire 1 >/tmp/second.out 2>&1
status=$?
check "busy: exit status -3 (253), status $status" [ $status -eq 253 ]
check "busy: the feeder says who holds it" grep -q "device 1 is held by another feeder" /tmp/second.out
echo "== device 17"
echo | /joywire 17 >/tmp/seventeen.out 2>&1
status=$?
check "missing: exit status -4 (252), status $status" [ $status -eq 252 ]
check "missing: the feeder names the devices there are" grep -q "there is no device 17: the devices are numbered 1 to 16" /tmp/seventeen.out

echo "== the holder dies: the device is free again"
kill -9 $feeder
wait $feeder 2>/dev/null
printf '127.0.0.1\n' | /joywire 1 >/tmp/after.out 2>&1 &
after=$!
wait_for /tmp/after.out "init complete"
check "device 1 acquired again after a crash" grep -q "init complete" /tmp/after.out
kill -9 $after 2>/dev/null

echo "VMCHECK DONE"
poweroff -f
