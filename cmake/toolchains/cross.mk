# The test suite built for other systems and run on this one: Windows x86-64
# (MinGW-w64, run under Wine), Linux arm64 and Linux armhf (Debian's cross
# compilers, run under qemu-user). Each target has its own build folder,
# kept between runs, and builds the store with the bundled SQLite, the
# stand-in `base`, the example, `dbi` and the suite. Included by the Makefile.

CROSS_TARGETS := windows arm64 armhf
CROSS_BUILD_TYPE ?= Release

CROSS_TOOLCHAIN_windows := mingw-w64-x86_64
CROSS_TOOLCHAIN_arm64   := aarch64-linux-gnu
CROSS_TOOLCHAIN_armhf   := arm-linux-gnueabihf

CROSS_CXX_windows := x86_64-w64-mingw32-g++-posix
CROSS_CXX_arm64   := aarch64-linux-gnu-g++
CROSS_CXX_armhf   := arm-linux-gnueabihf-g++

CROSS_EXE_windows := .exe

CROSS_RUN_windows := scripts/wine-run
CROSS_RUN_arm64   := qemu-aarch64 -L /usr/aarch64-linux-gnu
CROSS_RUN_armhf   := qemu-arm -L /usr/arm-linux-gnueabihf

# googletest: the sources in /usr/src/googletest, built for the target.
CROSS_PACKAGES_windows := g++-mingw-w64-x86-64-posix wine64 googletest
CROSS_PACKAGES_arm64   := g++-aarch64-linux-gnu qemu-user googletest
CROSS_PACKAGES_armhf   := g++-arm-linux-gnueabihf qemu-user googletest

# DLLs are found beside the program that loads them: on Windows every
# program and DLL of the build goes to one folder.
CROSS_FLAGS_windows := -DCMAKE_RUNTIME_OUTPUT_DIRECTORY=$(CURDIR)/build-windows/bin
# One build makes SQLite sync the folder when it deletes a journal, so that
# the power-cut test holds it to the stricter promise: nothing acknowledged
# is lost.
CROSS_FLAGS_arm64 := -DDATABASE_INTERFACE_SQLITE_DEFINES=SQLITE_DEFAULT_SYNCHRONOUS=3

.PHONY: test-cross $(addprefix test-,$(CROSS_TARGETS))

test-cross: $(addprefix test-,$(CROSS_TARGETS))

# A thread started by a program of the target proves the runner first (and,
# for Wine, makes the prefix once, which is slow); then the suite.
$(addprefix test-,$(CROSS_TARGETS)): test-%:
	@scripts/ensure-packages cmake make $(CROSS_PACKAGES_$*)
	@set -e; start=$$(date +%s); \
	cmake -S . -B build-$* --toolchain cmake/toolchains/$(CROSS_TOOLCHAIN_$*).cmake \
	  -DCMAKE_BUILD_TYPE=$(CROSS_BUILD_TYPE) -DDATABASE_INTERFACE_WARNINGS_AS_ERRORS=ON \
	  -DDATABASE_INTERFACE_SQLITE=bundled $(CROSS_FLAGS_$*); \
	$(CROSS_CXX_$*) -std=c++17 -O1 -pthread tests/cross/thread_hello.cc \
	  -o build-$*/thread_hello$(CROSS_EXE_$*); \
	$(CROSS_RUN_$*) build-$*/thread_hello$(CROSS_EXE_$*); \
	cmake --build build-$* -j $(JOBS); \
	(cd build-$* && ctest -j $(JOBS) --output-on-failure); \
	grep -h '^power cuts' build-$*/Testing/Temporary/LastTest.log || true; \
	scripts/skip-reasons build-$*; \
	echo "test-$*: done in $$(( $$(date +%s) - start )) s"
