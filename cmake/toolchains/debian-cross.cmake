# dbi_debian_cross(<triplet> <qemu>): compilers, search paths and test runner
# for a Linux target of Debian's cross toolchains, whose headers and
# libraries live in /usr/<triplet>.
macro(dbi_debian_cross triplet qemu)
  set(CMAKE_C_COMPILER ${triplet}-gcc)
  set(CMAKE_CXX_COMPILER ${triplet}-g++)
  set(CMAKE_FIND_ROOT_PATH /usr/${triplet})
  set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
  set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
  set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
  set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
  # -L: where qemu finds the target's dynamic loader and C/C++ libraries.
  set(CMAKE_CROSSCOMPILING_EMULATOR ${qemu} -L /usr/${triplet})
endmacro()
