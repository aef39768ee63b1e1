# 64-bit ARM Linux with Debian's cross compiler (g++-aarch64-linux-gnu). The
# test programs run under qemu-user, which finds the target's loader and
# libraries under -L.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
include("${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake")
debian_cross_toolchain(aarch64-linux-gnu)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /usr/aarch64-linux-gnu)
