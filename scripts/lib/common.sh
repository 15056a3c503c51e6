# Shared by the scripts: where the repo is, and installing what is missing from Debian's archive.
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# ensure_packages PKG...: installs the Debian packages that are not installed yet.
ensure_packages() {
  local missing=()
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

# What the native build and its tests need.
native_packages=(cmake ninja-build g++ clang libclang-rt-14-dev googletest libbenchmark-dev
  iproute2 util-linux libevdev-dev file tmux)

# The Windows cross-build and wine to run it.
windows_packages=(g++-mingw-w64-x86-64-posix wine wine64)

# The uinput feeder's test against a real kernel in a VM.
vm_packages=(qemu-system-x86 busybox-static cpio)

# Linux on 64-bit ARM: the cross compiler and qemu, for user-mode tests and a VM.
arm64_packages=(g++-aarch64-linux-gnu qemu-user qemu-system-arm)

# The big-endian check on s390x.
s390x_packages=(g++-s390x-linux-gnu qemu-user)

# libevdev for arm64, from Debian's multiarch packages (the architecture is added once).
ensure_arm64_libraries() {
  dpkg-query -W -f='${Status}' libevdev-dev:arm64 2>/dev/null | grep -q 'ok installed' && return 0
  dpkg --print-foreign-architectures | grep -qx arm64 || as_root dpkg --add-architecture arm64
  as_root apt-get update -q >/dev/null
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    libevdev-dev:arm64 >/dev/null
}
