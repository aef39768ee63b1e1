# zig_macos_toolchain(<target>): macOS for zig's <target> (aarch64-macos,
# x86_64-macos) through the wrappers scripts/fetch-zig made in
# build-apple-tools/: zig brings the Apple libc headers and its own libc++.
macro(zig_macos_toolchain target)
  get_filename_component(zig_tools "${CMAKE_CURRENT_LIST_DIR}/../../build-apple-tools" ABSOLUTE)
  if(NOT EXISTS "${zig_tools}/bin/${target}-c++")
    message(FATAL_ERROR "no zig wrappers in ${zig_tools}: run scripts/fetch-zig ${zig_tools}")
  endif()
  set(CMAKE_C_COMPILER "${zig_tools}/bin/${target}-cc")
  set(CMAKE_CXX_COMPILER "${zig_tools}/bin/${target}-c++")
  # Debian's ar writes ELF symbol tables only: a Mach-O archive needs zig's.
  set(CMAKE_AR "${zig_tools}/bin/zig-ar" CACHE FILEPATH "Archiver" FORCE)
  set(CMAKE_RANLIB "${zig_tools}/bin/zig-ranlib" CACHE FILEPATH "Ranlib" FORCE)
  # LLVM's (llvm-14) changes a Mach-O file's library paths on install.
  set(CMAKE_INSTALL_NAME_TOOL llvm-install-name-tool-14 CACHE FILEPATH "install_name_tool")
  # This file again, after the platform's settings (its last line).
  set(CMAKE_USER_MAKE_RULES_OVERRIDE "${CMAKE_CURRENT_LIST_DIR}/zig-macos.cmake")
  # The build machine's libraries and headers are not the target's.
  set(CMAKE_FIND_ROOT_PATH "${zig_tools}/zig")
  set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
  set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
  set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
  set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
endmacro()

# CMake gives Mach-O files RPATHs and @rpath install names only where
# sw_vers reports macOS 10.5 or later; nothing answers here, so the rules
# override sets the flag after the platform's settings.
set(CMAKE_SHARED_LIBRARY_RUNTIME_C_FLAG "-Wl,-rpath,")
