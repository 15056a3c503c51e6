# What the VMs share on the host side. Sourced.
debian_users() {  # debian_users ROOT: Debian's standard users and groups, as base-passwd sets them
  cp "$1/usr/share/base-passwd/passwd.master" "$1/etc/passwd"
  cp "$1/usr/share/base-passwd/group.master" "$1/etc/group"
  sed 's/:.*//; s/$/:*:19000:0:99999:7:::/' "$1/etc/passwd" >"$1/etc/shadow"
  sed 's/:.*//; s/$/:*::/' "$1/etc/group" >"$1/etc/gshadow"
}
joywire_deb() {  # joywire_deb BUILD_DIR: the path of a .deb made from this build
  (cd "$1" && cpack -G DEB >/dev/null)
  ls -t "$1"/../packages/joywire_*_amd64.deb | head -1
}
vm_verdict() {  # vm_verdict NAME LOG: the checks' count; fails unless they all ran and passed
  local passes failures
  passes=$(tr -d '\r' <"$2" | grep -c '^VMCHECK PASS' || true)
  failures=$(tr -d '\r' <"$2" | grep -c '^VMCHECK FAIL' || true)
  echo "vm $1: $passes passed, $failures failed"
  tr -d '\r' <"$2" | grep -q '^VMCHECK DONE' || { echo "vm: the checks did not finish"; tail -40 "$2"; return 1; }
  [ "$failures" -eq 0 ] && [ "$passes" -gt 0 ]
}
# debian_kernel CACHE ARCH: Debian's kernel for ARCH in CACHE/kernel, fetched once; sets
# $vmlinuz and $modules.
debian_kernel() {
  local package
  kernel_of() {
    apt-cache depends "linux-image-$2:$2" 2>/dev/null |
      awk '/Depends: linux-image-[0-9]/ { sub(/:.*/, "", $2); print $2; exit }'
  }
  package=$(kernel_of "$@")
  [ -n "$package" ] || { apt-get update -q >/dev/null; package=$(kernel_of "$@"); }
  fetch_debs "$1/debs" "$package:$2"
  [ -d "$1/kernel" ] || dpkg -x "$1/debs/$package"_*.deb "$1/kernel"
  vmlinuz=$(ls "$1"/kernel/boot/vmlinuz-* | head -1)
  modules=$(ls -d "$1"/kernel/lib/modules/* | head -1)
}
