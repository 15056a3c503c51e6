#!/usr/bin/env bash
# Checks the release packages in build/packages: their exact contents, the version the programs
# report, and the Windows zip's joywire.exe run for real under wine on the stand-in driver.
set -u
repo=$(cd "$(dirname "$0")/../.." && pwd)
cd "$repo"
version=$(sed -n 's/^project(joywire VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
packages=build/packages
work=$(mktemp -d)
trap 'env WINEPREFIX="$repo/build/wineprefix" wineserver -k 2>/dev/null; rm -rf "$work"' EXIT  # the zip's wine server too
failed=0
check() {  # check WHAT COMMAND...
  local what=$1
  shift
  if "$@"; then echo "  ok   $what"; else echo "  FAIL $what"; failed=$((failed + 1)); fi
}
same_list() {  # same_list ACTUAL EXPECTED...
  local actual=$1
  shift
  diff <(sort <<<"$actual") <(printf '%s\n' "$@" | sort) >/dev/null
}

zip=$packages/joywire-$version-windows-x86_64.zip
tgz=$packages/joywire-$version-linux-x86_64.tar.gz
deb=$packages/joywire_${version}_amd64.deb
check "version $version read from the project" test -n "$version"

docs=$(cd "$repo/docs" && ls ./*.md ./*.png | sed 's|^\./|docs/|')
check "zip contents" same_list "$(cmake -E tar tf "$zip" | grep -v '/$')" \
  joywire.exe joywire-sim.exe joywire-send.exe joywire-phone.cmd README.md LICENSE CHANGELOG.md NOTICES.txt LICENSE-OpenSSL.txt $docs
top=joywire-$version-linux-x86_64
services="lib/modules-load.d/joywire.conf lib/systemd/system/joywire@.service
  lib/systemd/system/joywire-web.service lib/joywire/joywire-feeder bin/joywire-web-pairing"
check "tar.gz contents" same_list "$(tar tzf "$tgz" | grep -v '/$')" \
  $top/bin/joywire $top/bin/joywire-sim $top/bin/joywire-send $top/lib/joywire/joywire-datachannel.so \
  $top/lib/udev/rules.d/60-joywire-uinput.rules $(printf "$top/%s " $services) \
  $top/share/doc/joywire/README.md $top/share/doc/joywire/LICENSE $top/share/doc/joywire/CHANGELOG.md \
  $top/share/doc/joywire/NOTICES.txt $top/share/doc/joywire/LICENSE-OpenSSL.txt \
  $(printf "$top/share/doc/joywire/%s " $docs)
check ".deb contents" same_list "$(dpkg-deb -c "$deb" | awk '{ print $6 }' | grep -v '/$')" \
  ./usr/bin/joywire ./usr/bin/joywire-sim ./usr/bin/joywire-send ./usr/lib/joywire/joywire-datachannel.so \
  ./usr/lib/udev/rules.d/60-joywire-uinput.rules $(printf "./usr/%s " $services) \
  ./usr/share/doc/joywire/README.md ./usr/share/doc/joywire/LICENSE \
  ./usr/share/doc/joywire/CHANGELOG.md ./usr/share/doc/joywire/NOTICES.txt \
  ./usr/share/doc/joywire/LICENSE-OpenSSL.txt $(printf "./usr/share/doc/joywire/%s " $docs)
check ".deb version, set-up scripts, GStreamer recommended" bash -c "dpkg-deb -f '$deb' Version | grep -qx '$version' &&
  dpkg-deb -f '$deb' Recommends | grep -q gstreamer1.0-nice &&
  dpkg-deb --ctrl-tarfile '$deb' | tar tf - | grep -q postinst"
check "the rule's uaccess tag (a desktop user needs no group)" bash -c \
  "dpkg-deb --fsys-tarfile '$deb' | tar xO ./usr/lib/udev/rules.d/60-joywire-uinput.rules | grep -q 'TAG+=\"uaccess\"'"

mkdir -p "$work/tgz" "$work/deb" "$work/zip"
tar xzf "$tgz" -C "$work/tgz"
dpkg-deb -x "$deb" "$work/deb"
check "joywire-send --version (tar.gz)" test "$("$work/tgz/$top/bin/joywire-send" --version)" == "joywire-send $version"
check "joywire-send --version (.deb)" test "$("$work/deb/usr/bin/joywire-send" --version)" == "joywire-send $version"
# serves_page PROGRAM [LAUNCHER...]: joywire-send --web on loopback answers with the page.
serves_page() {
  local program=$1 port
  shift
  port=$((20000 + RANDOM % 20000))
  "$@" "$program" --web --web-address 127.0.0.1 --web-port "$port" --no-qr >"$work/web.out" 2>&1 &
  local server=$!
  for _ in $(seq 600); do grep -q "127.0.0.1:$port/#" "$work/web.out" && break; sleep 0.05; done
  local page=""
  if exec 3<>"/dev/tcp/127.0.0.1/$port"; then
    printf 'GET / HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n' >&3
    page=$(cat <&3)
    exec 3<&-
  fi
  kill "$server" 2>/dev/null
  wait "$server" 2>/dev/null
  grep -q "<title>joywire controller</title>" <<<"$page" || { sed 's/^/    web: /' "$work/web.out"; false; }
}
check "joywire-send --web serves the page (tar.gz)" serves_page "$work/tgz/$top/bin/joywire-send"
check "... with its data channels' module" bash -c "! grep 'no datagrams' '$work/web.out'"
check "joywire-send --web serves the page (.deb)" serves_page "$work/deb/usr/bin/joywire-send"
check "... with its data channels' module" bash -c "! grep 'no datagrams' '$work/web.out'"
check "the uinput feeder is static" bash -c "file '$work/tgz/$top/bin/joywire' | grep -q 'statically linked'"

# The same for arm64, its programs run under qemu.
arm=joywire-$version-linux-aarch64
qemu=(qemu-aarch64 -L /)  # dpkg's arm64 loader and libc, of one release
check "arm64 tar.gz contents" same_list "$(tar tzf "$packages/$arm.tar.gz" | grep -v '/$')" \
  $arm/bin/joywire $arm/bin/joywire-sim $arm/bin/joywire-send \
  $arm/lib/udev/rules.d/60-joywire-uinput.rules $(printf "$arm/%s " $services) \
  $arm/share/doc/joywire/README.md $arm/share/doc/joywire/LICENSE $arm/share/doc/joywire/CHANGELOG.md \
  $arm/share/doc/joywire/NOTICES.txt $arm/share/doc/joywire/LICENSE-OpenSSL.txt \
  $(printf "$arm/share/doc/joywire/%s " $docs)
armdeb=$packages/joywire_${version}_arm64.deb
check "arm64 .deb contents, version and architecture" bash -c "
  diff <(dpkg-deb -c '$armdeb' | awk '{ print \$6 }' | grep -v '/\$') <(dpkg-deb -c '$deb' | awk '{ print \$6 }' | grep -v -e '/\$' -e datachannel) &&
  test \"\$(dpkg-deb -f '$armdeb' Version Architecture | tr '\n' ' ')\" == 'Version: $version Architecture: arm64 '"
mkdir -p "$work/arm-tgz" "$work/arm-deb"
tar xzf "$packages/$arm.tar.gz" -C "$work/arm-tgz"
dpkg-deb -x "$armdeb" "$work/arm-deb"
check "joywire-send --version (arm64 tar.gz, qemu)" test "$("${qemu[@]}" "$work/arm-tgz/$arm/bin/joywire-send" --version)" == "joywire-send $version"
check "joywire-send --version (arm64 .deb, qemu)" test "$("${qemu[@]}" "$work/arm-deb/usr/bin/joywire-send" --version)" == "joywire-send $version"
check "joywire-send --web serves the page (arm64 tar.gz, qemu)" serves_page "$work/arm-tgz/$arm/bin/joywire-send" "${qemu[@]}"
check "joywire-send --web serves the page (arm64 .deb, qemu)" serves_page "$work/arm-deb/usr/bin/joywire-send" "${qemu[@]}"
check "the arm64 uinput feeder is static" bash -c "file '$work/arm-tgz/$arm/bin/joywire' | grep -q 'ARM aarch64.*statically linked'"

(cd "$work/zip" && cmake -E tar xf "$repo/$zip")
# One wine server, kept until the end, for the zip's programs one after another: a wine program
# that starts as the last one's server goes away (3 s after its last program) loses it
# ("wine client error: recvmsg: Connection reset by peer"). Any server from before ends first.
wine_server() {
  local server=(env WINEPREFIX="$repo/build/wineprefix" wineserver)
  "${server[@]}" -k 2>/dev/null
  "${server[@]}" -w 2>/dev/null
  "${server[@]}" -p
}
wine_server
check "joywire-send.exe --version (zip, wine)" bash -c \
  "cmake/wine-run '$work/zip/joywire-send.exe' --version | tr -d '\r' | grep -qx 'joywire-send $version'"
check "joywire-send.exe --web serves the page (zip, wine)" serves_page "$work/zip/joywire-send.exe" cmake/wine-run
# The unpacked joywire.exe, with the stand-in driver library put beside it as a user would.
cp build/windows/test-driver/vJoyInterface.dll "$work/zip/"
# The launcher as a double-click runs it: the page served, and a message (X 0.5, button 1) by
# request from each of two phones moves each player's stand-in joystick, or the player whose
# feeder cannot listen is told of. (wine binds no second loopback address at a port that another
# program holds on another one, where Windows and Linux do: under wine one of the two feeders
# cannot listen, and only its report shows. Closing the window, wine cannot show either.)
launcher_moves() {
  local port=$((20000 + RANDOM % 20000)) token="" reply="" phone device
  (cd "$work/zip" && JOYWIRE_SIM_TRACE="$work/launcher.trace" "$repo/cmake/wine-run" cmd /c \
    joywire-phone.cmd --web-port $port --no-qr --players 2 >"$work/launcher.out" 2>&1 &)
  for _ in $(seq 900); do  # the page's address, and both feeders' first update (their banners)
    token=$(grep -ao "127.0.0.1:$port/#[A-Za-z0-9_-]*" "$work/launcher.out" | sed 's/.*#//')
    [ -n "$token" ] && [ "$(cat "$work/launcher.trace" 2>/dev/null | grep -c "^update")" -ge 2 ] && break || sleep 0.1
  done
  sleep 1  # a feeder that cannot listen is told of within a quarter of a second
  for phone in one two; do
    exec 3<>"/dev/tcp/127.0.0.1/$port" && printf "POST /input?token=%s&id=phone-%s HTTP/1.1\r\nHost: 127.0.0.1:%s\r\n%b%b" \
      "$token" "$phone" "$port" "Content-Length: 20\r\n\r\n" '\0\0\0\x3f\0\0\0\0\0\0\0\0\0\0\x80\x3f\0\0\0\0' >&3 &&
      reply+=$(timeout 5 head -c 12 <&3) && exec 3<&-
  done
  # Each device moved, or its feeder's failure to listen was told; and one moved at least.
  moved_or_told() {
    grep -q "update device=$1 index=$1 x=24575 y=16383 z=16383 buttons=1" "$work/launcher.trace" ||
      grep -q "the feeder of device $1 cannot listen on 127.0.0.$1:50000 (Binding Failed" "$work/launcher.out"
  }
  for _ in $(seq 100); do moved_or_told 1 && moved_or_told 2 && break; sleep 0.1; done
  wine_server  # the launcher's feeders ended with their server
  [ "$reply" = "HTTP/1.1 204HTTP/1.1 204" ] && moved_or_told 1 && moved_or_told 2 &&
    grep -q "x=24575 y=16383 z=16383 buttons=1" "$work/launcher.trace" || {
    sed 's/^/    launcher: /' "$work/launcher.out" "$work/launcher.trace"; false; }
}
check "joywire-phone.cmd: two players' feeders and the page in one, each phone moves its own joystick (zip, wine)" launcher_moves
scenarios=$(JOYWIRE_LAUNCHER=$repo/cmake/wine-run JOYWIRE_IN_NAMESPACE=host JOYWIRE_WAIT=180 \
  bash tests/process/scenarios.sh "$work/zip/joywire.exe" "$work/zip/joywire-send.exe" 2>&1)
sed 's/^/  | /' <<<"$scenarios"   # every failing check, named, with what it saw
check "joywire.exe from the zip, scenarios under wine" grep -q ', 0 failed$' <<<"$scenarios"

echo "packages: $failed failed"
[ "$failed" -eq 0 ]
