# macOS on Apple silicon (arm64), built and linked by zig (zig-macos.cmake).
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_PROCESSOR arm64)
include("${CMAKE_CURRENT_LIST_DIR}/zig-macos.cmake")
zig_macos_toolchain(aarch64-macos)
