# Cross-compiling for another Linux architecture with Debian's cross compilers; the tests run
# under qemu's user-mode emulation. JOYWIRE_CROSS_TRIPLE names the target (aarch64-linux-gnu,
# s390x-linux-gnu) and comes from the preset.
set(CMAKE_SYSTEM_NAME Linux)
string(REGEX REPLACE "-.*" "" CMAKE_SYSTEM_PROCESSOR "${JOYWIRE_CROSS_TRIPLE}")
set(CMAKE_C_COMPILER ${JOYWIRE_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${JOYWIRE_CROSS_TRIPLE}-g++)
# The cross toolchain's own sysroot, then Debian's multiarch folders for the target's
# libraries (libevdev from the :arm64 packages).
set(CMAKE_LIBRARY_ARCHITECTURE ${JOYWIRE_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH /usr/${JOYWIRE_CROSS_TRIPLE} /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
# Tests run under qemu with the target's loader and libc of one release: dpkg's multiarch ones
# when installed (the cross toolchain's older loader beside a newer multiarch libc hangs at the
# first thread), the cross toolchain's otherwise.
if(EXISTS /usr/lib/${JOYWIRE_CROSS_TRIPLE}/libc.so.6)
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-${CMAKE_SYSTEM_PROCESSOR};-L;/)
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-${CMAKE_SYSTEM_PROCESSOR};-L;/usr/${JOYWIRE_CROSS_TRIPLE})
endif()
