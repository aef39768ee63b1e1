# zig_macos_toolchain(<target>): macOS for zig's <target> (aarch64-macos,
# x86_64-macos) with the zig that scripts/fetch-zig put in DATABASE_INTERFACE_ZIG_TOOLS,
# through the wrappers it made there: zig brings the Apple libc headers and
# its own libc++, so no Apple SDK is needed. Nothing built can run here, so
# no emulator is named and the suite's tests are not listed from their
# programs (tests/CMakeLists.txt).
macro(zig_macos_toolchain target)
  get_filename_component(dbi_zig_default "${CMAKE_CURRENT_LIST_DIR}/../../build-apple-tools" ABSOLUTE)
  set(DATABASE_INTERFACE_ZIG_TOOLS "${dbi_zig_default}" CACHE PATH "The folder scripts/fetch-zig filled")
  # try_compile's projects read this file again and must find the same zig.
  list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES DATABASE_INTERFACE_ZIG_TOOLS)
  if(NOT EXISTS "${DATABASE_INTERFACE_ZIG_TOOLS}/bin/${target}-c++")
    message(FATAL_ERROR "no zig wrappers in ${DATABASE_INTERFACE_ZIG_TOOLS}: run scripts/fetch-zig ${DATABASE_INTERFACE_ZIG_TOOLS}")
  endif()
  set(CMAKE_C_COMPILER "${DATABASE_INTERFACE_ZIG_TOOLS}/bin/${target}-cc")
  set(CMAKE_CXX_COMPILER "${DATABASE_INTERFACE_ZIG_TOOLS}/bin/${target}-c++")
  # Debian's ar writes a symbol table of ELF names only, which leaves a
  # Mach-O archive unlinkable.
  set(CMAKE_AR "${DATABASE_INTERFACE_ZIG_TOOLS}/bin/zig-ar" CACHE FILEPATH "Archiver" FORCE)
  set(CMAKE_RANLIB "${DATABASE_INTERFACE_ZIG_TOOLS}/bin/zig-ranlib" CACHE FILEPATH "Ranlib" FORCE)
  # What CMake changes a Mach-O file's library paths with when it installs
  # one; LLVM's (package llvm-14) reads and writes Mach-O anywhere.
  set(CMAKE_INSTALL_NAME_TOOL llvm-install-name-tool-14 CACHE FILEPATH "install_name_tool")
  # Read once more after the platform's own settings (the end of this file).
  set(CMAKE_USER_MAKE_RULES_OVERRIDE "${CMAKE_CURRENT_LIST_DIR}/zig-macos.cmake")
  # The build machine's libraries and headers are not the target's, and
  # there is no target root to look in.
  set(CMAKE_FIND_ROOT_PATH "${DATABASE_INTERFACE_ZIG_TOOLS}/zig")
  set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
  set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
  set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
  set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
endmacro()

# CMake gives a Mach-O program its RPATHs, and a library the install name
# @rpath/<name>, only where the system that sw_vers reports is macOS 10.5 or
# later; on this machine nothing answers, and the platform's settings leave
# the linker without RPATHs, so that every program would find its libraries
# by their absolute paths in the build folder. Set here, in the rules
# override, after those settings.
set(CMAKE_SHARED_LIBRARY_RUNTIME_C_FLAG "-Wl,-rpath,")
