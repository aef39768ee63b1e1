# make build-apple: the store, the stand-in `base`, the example, `dbi` and
# the suite's programs built and linked for macOS on arm64 and on x86-64 by
# zig 0.11.0 (scripts/fetch-zig puts it in build-apple-tools/), against the
# Apple libc headers and the libc++ zig ships; no Apple SDK is needed. None
# of it can run here: no Apple system, no emulator. What can be checked is:
# each output is Mach-O of its architecture, and the store's bundled SQLite
# is renamed (scripts/check-apple-build). The benchmarks are left out: they
# need Google Benchmark and SQLiteCpp built for macOS, which nothing here
# ships. Zig builds its libc++ once per architecture into
# build-apple-tools/cache, kept between runs. Included by the Makefile.

APPLE_ARCHS := aarch64 x86_64
APPLE_TOOLS := $(CURDIR)/build-apple-tools
APPLE_BUILD_TYPE ?= Release

# zig's name for each target, and the name `file` and Mach-O give it.
APPLE_MACHO_aarch64 := arm64
APPLE_MACHO_x86_64  := x86_64

# llvm-14 brings llvm-nm and llvm-install-name-tool, which read and write
# Mach-O; file reads its header. npm, which fetches zig, scripts/fetch-zig
# installs only where there is none (a Node.js of its own brings one).
APPLE_PACKAGES := cmake make googletest llvm-14 file

.PHONY: build-apple build-apple-tools $(addprefix build-apple-,$(APPLE_ARCHS))

build-apple: $(addprefix build-apple-,$(APPLE_ARCHS))
	@echo "build-apple: built and linked for aarch64-macos and x86_64-macos" \
	  "(not run: no Apple system here)"

# Once for both, before either: under make -j they would fetch it together.
build-apple-tools:
	@scripts/ensure-packages $(APPLE_PACKAGES)
	scripts/fetch-zig $(APPLE_TOOLS)

$(addprefix build-apple-,$(APPLE_ARCHS)): build-apple-%: build-apple-tools
	@set -e; start=$$(date +%s); \
	cmake -S . -B build-apple-$* --toolchain cmake/toolchains/$*-macos.cmake \
	  -DDATABASE_INTERFACE_ZIG_TOOLS=$(APPLE_TOOLS) -DCMAKE_BUILD_TYPE=$(APPLE_BUILD_TYPE) \
	  -DDATABASE_INTERFACE_WARNINGS_AS_ERRORS=ON -DDATABASE_INTERFACE_SQLITE=bundled; \
	cmake --build build-apple-$* -j $(JOBS); \
	scripts/check-apple-build build-apple-$* $(APPLE_MACHO_$*); \
	grep -q '^DATABASE_INTERFACE_SQLITE_FULL_SYNC:BOOL=ON' build-apple-$*/CMakeCache.txt || \
	  { echo "build-apple-$*: full syncs are not on by default" >&2; exit 1; }; \
	echo "build-apple-$*: done in $$(( $$(date +%s) - start )) s"
