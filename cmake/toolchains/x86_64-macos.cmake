# macOS on Intel (x86-64), built and linked by zig (zig-macos.cmake).
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include("${CMAKE_CURRENT_LIST_DIR}/zig-macos.cmake")
zig_macos_toolchain(x86_64-macos)
