# Shared by the scripts: where the repo is, and installing what is missing from Debian's archive.
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# ensure_packages PKG...: installs the Debian packages that are not installed yet.
ensure_packages() {
  local missing=() package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "== installing: ${missing[*]}"
  if [ -z "${JOYWIRE_APT_UPDATED:-}" ]; then
    as_root apt-get update -q >/dev/null || return 1
    export JOYWIRE_APT_UPDATED=1
  fi
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    "${missing[@]}" >/dev/null
}

# fetch_debs FOLDER [--with-dependencies] PACKAGE...: the packages' .deb files in FOLDER (with
# their whole dependency closure, as a system with nothing installed needs it). Files come from
# apt's own download cache when they are there, and what is downloaded is kept there too, so
# fresh roots and build folders share one copy.
fetch_debs() {
  fetch_debs_once "$@" 2>/dev/null ||
    { as_root apt-get update -q >/dev/null && fetch_debs_once "$@"; }  # the lists were stale
}
fetch_debs_once() {
  local folder=$1 closure=""
  shift
  [ "$1" = --with-dependencies ] && { closure=1; shift; }
  mkdir -p "$folder"
  local archive=/var/cache/apt/archives
  [ -w "$archive" ] || archive=$folder
  local wanted=("$@")
  if [ -n "$closure" ]; then
    wanted=($(apt-get install -s -q --no-install-recommends -o Debug::NoLocking=1 \
      -o Dir::State::status=/dev/null "$@" |
      sed -n 's/^Inst \([^ ]*\) (\([^ ]*\) .*\[\([^]]*\)\].*/\1:\3=\2/p'))
  fi
  local uris
  uris=$(apt-get download --print-uris "${wanted[@]}") || return 1
  local missing=() file
  while read -r _ file _; do
    # name_version_arch.deb, the version's colon written as %3a
    [ -f "$archive/$file" ] ||
      missing+=("$(sed 's/%3a/:/; s/^\([^_]*\)_\([^_]*\)_\([^_.]*\)\.deb$/\1:\3=\2/' <<<"$file")")
  done <<<"$uris"
  if [ ${#missing[@]} -gt 0 ]; then
    (cd "$archive" && apt-get download "${missing[@]}" 2>&1 >/dev/null | grep -v unsandboxed) || true
  fi
  while read -r _ file _; do
    [ -f "$archive/$file" ] || { echo "fetch_debs: $file was not downloaded"; return 1; }
    [ "$archive" = "$folder" ] || ln -f "$archive/$file" "$folder/" 2>/dev/null ||
      cp "$archive/$file" "$folder/"
  done <<<"$uris"
}

# fetch_source PACKAGE FOLDER: Debian's source package of that name (the newest version the
# machine's mirrors offer) unpacked into FOLDER/PACKAGE, once, through an apt state of its own:
# the machine's own sources are left as they are. Debian's patches are applied when the mirror
# serves them; some mirrors serve only the upstream tarball, which is then used as it is.
fetch_source() {
  local package=$1 folder
  folder=$(mkdir -p "$2" && cd "$2" && pwd)
  [ -f "$folder/$package/.fetched" ] && return 0
  local state=$folder/$package.apt
  rm -rf "$state" "$folder/$package"
  mkdir -p "$state/lists/partial" "$folder/$package"
  apt-get indextargets --format '$(SITE) $(RELEASE) $(COMPONENT)' | sort -u |
    sed 's/^/deb-src /' >"$state/sources.list"
  local apt=(apt-get -q -o Dir::Etc::SourceList="$state/sources.list" -o Dir::Etc::SourceParts=/dev/null
    -o Dir::State::Lists="$state/lists" -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache=
    -o Debug::NoLocking=1)
  "${apt[@]}" update >/dev/null || return 1
  (cd "$state" && "${apt[@]}" source --download-only "$package" >/dev/null 2>&1) || true
  local orig
  orig=$(ls "$state"/*.orig.tar.* 2>/dev/null | grep -v '\.asc$' | head -1 || true)
  [ -n "$orig" ] || { echo "fetch_source: no source of $package on the mirror"; return 1; }
  tar -xf "$orig" -C "$folder/$package" --strip-components=1
  local debian
  debian=$(ls "$state"/*.debian.tar.* 2>/dev/null | head -1 || true)
  if [ -n "$debian" ]; then
    ensure_packages patch
    tar -xf "$debian" -C "$folder/$package"
    local patch
    for patch in $(grep -v '^#' "$folder/$package/debian/patches/series" 2>/dev/null); do
      patch -d "$folder/$package" -p1 -s <"$folder/$package/debian/patches/$patch"
    done
  fi
  basename "$orig" >"$folder/$package/.fetched"
  rm -rf "$state"
}

# What the native build and its tests need.
native_packages=(cmake ninja-build g++ clang libclang-rt-14-dev googletest libbenchmark-dev
  iproute2 util-linux libevdev-dev file tmux libboost1.81-dev libqrcodegencpp-dev libssl-dev
  pkg-config)

# The data channels' module: GStreamer's development files (a build without them leaves the
# module out; configured again once they are in, it adds it), and the webrtc library's headers.
channel_packages=(libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  libgstreamer-plugins-bad1.0-0 libnice-dev)
ensure_channel_packages() {
  ensure_packages "${channel_packages[@]}" && ensure_webrtc_headers
}

# GStreamer's webrtc headers: Debian's libgstreamer-plugins-bad1.0-dev depends on OpenCV's
# development files (a gigabyte), so only the package itself is unpacked, into build/deps.
ensure_webrtc_headers() {
  local folder=$repo/build/deps/webrtc-dev
  [ -f /usr/include/gstreamer-1.0/gst/webrtc/webrtc.h ] && return 0
  [ -f "$folder/usr/include/gstreamer-1.0/gst/webrtc/webrtc.h" ] && return 0
  fetch_debs "$folder/debs" libgstreamer-plugins-bad1.0-dev &&
    dpkg-deb -x "$folder"/debs/libgstreamer-plugins-bad1.0-dev_*.deb "$folder"
}

# The phone controller page's browser suite: Debian's Chromium and Firefox ESR, driven from
# Node.js; zbar to read the QR code back; NSS's certutil to trust the HTTPS mode's authority;
# openssl to issue certificates from it that phones must refuse.
browser_packages=(chromium firefox-esr webkit2gtk-driver xvfb xauth ca-certificates zbar-tools libnss3-tools openssl
  gstreamer1.0-plugins-bad gstreamer1.0-plugins-good gstreamer1.0-nice)

# Node.js and npm (for puppeteer-core from the npm registry): Debian's, unless the machine has
# its own already.
ensure_node() {
  command -v node >/dev/null && command -v npm >/dev/null || ensure_packages nodejs npm
}

# The Windows cross-build and wine to run it.
windows_packages=(g++-mingw-w64-x86-64-posix wine wine64 clang-tools-14)

# The uinput feeder's test against a real kernel in a VM.
vm_packages=(qemu-system-x86 busybox-static cpio kmod e2fsprogs)

# Linux on 64-bit ARM: the cross compiler and qemu, for user-mode tests and a VM.
arm64_packages=(g++-aarch64-linux-gnu qemu-user qemu-system-arm)

# Building OpenSSL for Windows from its source package, and patching sources (scripts/deps).
deps_packages=(perl make patch g++-mingw-w64-x86-64-posix)

# The big-endian check on s390x.
s390x_packages=(g++-s390x-linux-gnu qemu-user)

# libevdev and qrcodegen for arm64, from Debian's multiarch packages (the architecture is added
# once).
arm64_libraries=(libevdev-dev:arm64 libqrcodegencpp-dev:arm64 libssl-dev:arm64)
ensure_arm64_libraries() {
  local missing=() package
  for package in "${arm64_libraries[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  dpkg --print-foreign-architectures | grep -qx arm64 || as_root dpkg --add-architecture arm64
  as_root apt-get update -q >/dev/null
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    "${missing[@]}" >/dev/null
}
