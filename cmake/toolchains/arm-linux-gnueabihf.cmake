# 32-bit ARM Linux (ARMv7, hard float) with Debian's cross compiler
# (g++-arm-linux-gnueabihf): the build where pointers and size_t have 32
# bits. The test programs run under qemu-user, which finds the target's
# loader and libraries under -L.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
include("${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake")
debian_cross_toolchain(arm-linux-gnueabihf)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -L /usr/arm-linux-gnueabihf)
# GCC notes at every std::vector iterator passed by value that its ARM
# calling convention changed in GCC 7.1; nothing here links code that old.
set(CMAKE_CXX_FLAGS_INIT -Wno-psabi)
