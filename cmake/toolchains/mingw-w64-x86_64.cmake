# 64-bit Windows with Debian's MinGW-w64 cross compiler, POSIX threads variant
# (g++-mingw-w64-x86-64-posix: std::thread and std::mutex need it). The test
# programs run under Wine through scripts/wine-run, with a Wine prefix inside
# the build folder.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include("${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake")
debian_cross_toolchain(x86_64-w64-mingw32 -posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../../scripts/wine-run")
