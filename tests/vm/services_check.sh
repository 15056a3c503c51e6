#!/bin/sh
# Run by a unit of the services VM at each boot: the first installs the .deb and checks its
# services, the second (a reboot) that they are back. Each check prints "VMCHECK PASS|FAIL <what>".
export PATH=/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
check() {  # check WHAT COMMAND...
  what=$1
  shift
  if "$@"; then echo "VMCHECK PASS $what"; else echo "VMCHECK FAIL $what"; failed=1; fi
}
# Builtins only where time is measured: a process started under emulation costs a good part of it.
hundredths() { read -r up _ </proc/uptime && echo "${up%.*}${up#*.}"; }  # since boot
until_true() {  # until_true HUNDREDTHS COMMAND...: the command until it succeeds, or time is up
  # (a start is given 90 s: beside the other stages, the emulated machine may crawl)
  limit=$(($(hundredths) + $1))
  shift
  until "$@"; do [ "$(hundredths)" -lt "$limit" ] || return 1; sleep 0.1; done
}
joystick() {  # joystick N: whether it is there; $at its input node (a new device, a new node)
  for at in /sys/class/input/*/name; do read -r n <"$at" && [ "$n" = "joywire virtual joystick $1" ] && return; done
  return 1
}
anew() { joystick 1 && [ "$at" != "$before" ]; }
main_pid() { systemctl show -p MainPID --value "$1"; }
page() {  # page HOST: the controller page over HTTPS
  printf 'GET / HTTP/1.0\r\nHost: %s:8443\r\n\r\n' "$1" |
    openssl s_client -quiet -connect "$1:8443" 2>/dev/null | grep -q "<title>joywire controller"
}
served() { page 127.0.0.1 && systemctl is-active -q joywire@1 joywire-web && joystick 1; }
why_not() {  # the services' state and the journal's end, then the VM stops: nothing more to see
  { systemctl status --no-pager -l 'joywire*'; journalctl -b --no-pager | tail -40; } 2>&1 | sed 's/^/  /'
  echo "VMCHECK DONE" && systemctl poweroff 2>/dev/null && exit
}

if [ ! -e /var/lib/vm-first-boot-done ]; then
  echo; echo "== boot 1: the .deb installed by dpkg; systemctl enable --now joywire@1 joywire-web"
  dpkg -i /var/tmp/joywire.deb 2>&1 | grep -v "files list file" | sed 's/^/  /'
  echo 'JOYWIRE_WEB_OPTIONS="--https --players 2"' >/etc/default/joywire-web
  systemctl enable --now joywire@1 joywire-web 2>&1 | sed 's/^/  /'
  check "a joystick and a served page" until_true 9000 served
  [ -z "$failed" ] || why_not
  evdev-reader "joywire virtual joystick 1" 1 20 >/tmp/evdev.out 2>&1 &
  until_true 1000 grep -q ready /tmp/evdev.out
  joywire-send 0.5 -1 1 1 0 && wait
  check "a datagram moves it (evdev: $(grep "^frame:" /tmp/evdev.out))" grep -q "ABS_X=24575" /tmp/evdev.out
  check "joydev: /dev/input/js0 is there" test -c /dev/input/js0
  feeder=$(main_pid joywire@1)
  users="$(stat -c %U "/proc/$feeder") $(stat -c %U "/proc/$(main_pid joywire-web)")"
  check "the services' users: $users, not root" test "$users" = "joywire joywire-web"
  check "its folder: $(stat -c '%U %a' /var/lib/joywire-web)" test "$(stat -c '%U %a' /var/lib/joywire-web)" = "joywire-web 700"
  # Back in about a second on an idle host; beside the other stages, emulated at a lower
  # priority, it has taken 17 s.
  joystick 1 && before=$at && killed=$(hundredths) && kill -9 "$feeder" && until_true 6000 anew
  check "after kill -9 of the feeder, the joystick is back in $(($(hundredths) - killed))0 ms" \
    test $(($(hundredths) - killed)) -le 6000
  systemctl start joywire@2  # no address file: its own, 127.0.0.2
  printf "\n  127.0.0.9 \n" >/etc/joywire/joywire@3.address  # the package made the folder; blanks around it
  printf " gamepad \n" >/etc/joywire/joywire@3.profile
  systemctl start joywire@3
  heard() { grep -qx "joywire gamepad 3" /sys/class/input/*/name && [ "$(journalctl -o cat -u joywire@2 -u joywire@3 | grep -c 'connection is 127.0.0.[29]$')" = 2 ]; }
  check "three feeders at once, on 127.0.0.1, 127.0.0.2 and (from its files) 127.0.0.9, a gamepad" until_true 6000 heard
  # Two phones by HTTPS request, each with an id of its own: players 1 and 2, X +1 and +0.5.
  token=$(cat /var/lib/joywire-web/pairing-token)
  steer() {  # steer ID X-BYTES
    { printf 'POST /input?token=%s&id=%s HTTP/1.1\r\nHost: 127.0.0.1:8443\r\nConnection: close\r\n' "$token" "$1"
      printf "Content-Length: 20\r\n\r\n\0\0$2\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0"; } |
      openssl s_client -quiet -connect 127.0.0.1:8443 2>/dev/null | tr -d '\r' | grep -E '^HTTP|^X-Joywire' | tr '\n' ' '
  }
  for k in 1 2; do evdev-reader "joywire virtual joystick $k" 2 20 >/tmp/evdev$k.out 2>&1 & done
  until_true 1000 grep -q ready /tmp/evdev1.out && until_true 1000 grep -q ready /tmp/evdev2.out
  echo "  $(steer phoneNumberOne '\200\077') / $(steer phoneNumberTwo '\000\077')" && wait
  check "two players steer two joysticks ($(grep -h "^frame:" /tmp/evdev1.out /tmp/evdev2.out | tr '\n' ' '))" \
    sh -c 'grep -q "ABS_X=32767" /tmp/evdev1.out && grep -q "ABS_X=24575" /tmp/evdev2.out && ! grep -q "ABS_X=32767" /tmp/evdev2.out'
  steered=$(hundredths) third=$(steer phoneNumberThree '\000\000')
  check "a third phone: both players are kept for their phones ($third)" grep -q "^HTTP/1.1 409 " <<EOF3
$third
EOF3

  ip addr add 10.9.9.9/32 dev lo
  names=$(openssl s_client -connect 10.9.9.9:8443 </dev/null 2>/dev/null | openssl x509 -noout -ext subjectAltName | sed -n 's/^ *//; 2p')
  check "an address that came up later: its certificate names it ($names)" test -z "${names##*IP Address:10.9.9.9*}"
  check "... and the page is served there" page 10.9.9.9
  token=$(cat /var/lib/joywire-web/pairing-token) && joywire-web-pairing --no-qr >/tmp/pairing.out 2>&1
  sed 's/^/  /' /tmp/pairing.out
  check "joywire-web-pairing shows the address of now, with the token" grep -q "https://10.9.9.9:8443/#$token" /tmp/pairing.out
  check "the journal carries the address lines" sh -c "journalctl -u joywire-web -o cat | grep -q '#$token'"
  for unit in joywire@1 joywire-web; do echo "  $(systemd-analyze security "$unit" | tail -1)"; done
  kept=$(((steered + 6100 - $(hundredths)) / 100 + 1))  # the 60 s its players are kept, and 1
  [ "$kept" -le 0 ] || sleep "$kept"
  third=$(steer phoneNumberThree '\000\000')
  check "... and after 60 s the first is free for it ($third)" grep -q "^HTTP/1.1 204 .*Player: 1 of 2" <<EOF3
$third
EOF3
  touch /var/lib/vm-first-boot-done && sync
  systemctl reboot 2>/dev/null  # no D-Bus here to ask logind
else
  echo; echo "== boot 2: after a reboot, with nothing done"
  check "the joystick is back" until_true 9000 joystick 1
  check "... and the page is served" until_true 9000 served
  echo "VMCHECK DONE"
  systemctl poweroff 2>/dev/null
fi
