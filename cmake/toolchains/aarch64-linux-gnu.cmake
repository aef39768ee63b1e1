# 64-bit ARM Linux with Debian's cross compiler (g++-aarch64-linux-gnu); the
# test programs run under qemu-user with the target's own libraries.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
include("${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake")
dbi_debian_cross(aarch64-linux-gnu qemu-aarch64)
