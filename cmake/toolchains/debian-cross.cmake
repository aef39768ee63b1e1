# debian_cross_toolchain(<triplet> [<suffix>]): the compilers and search
# paths of one of Debian's cross toolchains, whose compilers are
# <triplet>-gcc<suffix> and whose headers and libraries live in /usr/<triplet>.
macro(debian_cross_toolchain triplet)
  set(CMAKE_C_COMPILER ${triplet}-gcc${ARGN})
  set(CMAKE_CXX_COMPILER ${triplet}-g++${ARGN})
  set(CMAKE_FIND_ROOT_PATH /usr/${triplet})
  set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
  set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
  set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
  set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
endmacro()
