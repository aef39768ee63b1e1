# A thin wrapper over CMake. Every target first makes sure the Debian
# packages it needs are there (installing them when run as root).

BUILD_DIR  ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
PREFIX     ?= /usr/local

# The makes that `cmake --build` starts below this one would each announce
# the build folder ("Entering directory ..."), a screen of it before the
# program's output; they inherit this flag and stay quiet.
MAKEFLAGS += --no-print-directory

BUILD_PACKAGES := cmake make g++ binutils libsqlite3-dev
TEST_PACKAGES  := libgtest-dev abigail-tools pkg-config
# The inspector's test makes files by hand and checks JSON with python3.
TOOL_TEST_PACKAGES := python3

CMAKE_CONFIGURE = cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) \
                  -DDATABASE_INTERFACE_WARNINGS_AS_ERRORS=ON

.PHONY: all deps build release run test install clean
.PHONY: bench bench-build bench-instructions
.PHONY: format format-check lint abi-check abi-baseline package package-check

all: build

deps:
	@scripts/ensure-packages $(BUILD_PACKAGES) $(TEST_PACKAGES) $(TOOL_TEST_PACKAGES)

# Builds the library, the example and the tests.
build: deps
	$(CMAKE_CONFIGURE)
	cmake --build $(BUILD_DIR) -j $(JOBS)

# The library, the example and dbi only, optimised (preset release), with
# what those need. Runs the example client in a fixed folder under that
# build, so that a second run finds the first one's store file; then shows
# that file as the inspector sees it.
release:
	@scripts/ensure-packages $(BUILD_PACKAGES)
	cmake --preset release
	cmake --build --preset release -j $(JOBS)

run: release
	mkdir -p build-release/run
	cd build-release/run && ../examples/session_client
	@echo
	@echo "== The same store file seen by the inspector: dbi show =="
	cd build-release/run && ../tools/dbi/dbi show

# Ends with the power-cut test's count of the cuts it tried: ctest shows a
# passing test's output only in its log, so the line is read from there.
test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)
	@grep -h '^power cuts' $(BUILD_DIR)/Testing/Temporary/LastTest.log

install: release
	cmake --install build-release --prefix $(PREFIX)

clean:
	rm -rf $(BUILD_DIR) build-release

# make test-sqlite-versions: the suite once more on the oldest SQLite the
# README promises and on the newest one a registry package here ships, each
# compiled as the bundled copy (scripts/fetch-sqlite brings the pinned
# amalgamations); `make test` is Debian's. The host-build and installed-
# package rows are left out: they compile our own amalgamation again.
SQLITE_VERSIONS := oldest newest
# The newest is also built with full syncs, the setting Apple builds make by
# default, so that the layer that marks them runs under the whole suite.
SQLITE_FLAGS_newest := -DDATABASE_INTERFACE_SQLITE_FULL_SYNC=ON
.PHONY: test-sqlite-versions $(addprefix test-sqlite-,$(SQLITE_VERSIONS))
test-sqlite-versions: $(addprefix test-sqlite-,$(SQLITE_VERSIONS))
$(addprefix test-sqlite-,$(SQLITE_VERSIONS)): test-sqlite-%: deps
	scripts/fetch-sqlite $* build-sqlite-$*/amalgamation
	cmake -S . -B build-sqlite-$* -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DDATABASE_INTERFACE_WARNINGS_AS_ERRORS=ON \
	  -DDATABASE_INTERFACE_SQLITE=bundled -DDATABASE_INTERFACE_SQLITE_SOURCE_DIR=$(CURDIR)/build-sqlite-$*/amalgamation \
	  $(SQLITE_FLAGS_$*)
	cmake --build build-sqlite-$* -j $(JOBS)
	cd build-sqlite-$* && ctest --output-on-failure -j $(JOBS) -E '^(embedding|consumer)_'
	@echo "SQLite $$(sed -n 's/^#define SQLITE_VERSION  *"\(.*\)"/\1/p' build-sqlite-$*/amalgamation/sqlite3.h):" \
	  "$$(grep -h '^power cuts' build-sqlite-$*/Testing/Temporary/LastTest.log)"

# make test-cross: the suite built for Windows, Linux arm64 and Linux armhf
# and run here under Wine and qemu-user (test-windows, test-arm64, test-armhf).
include cmake/toolchains/cross.mk

# make build-apple: the same built and linked, not run, for macOS on arm64
# and on x86-64 (build-apple-aarch64, build-apple-x86_64) by zig.
include cmake/toolchains/apple.mk

# Reliability suites, each in its own build folder from CMakePresets.json:
# the whole suite under AddressSanitizer+UndefinedBehaviorSanitizer (with a
# short run of each libFuzzer target) and under ThreadSanitizer, both built
# by clang, whose libFuzzer and sanitizer runtimes come from
# libclang-rt-14-dev; line and branch coverage of src/ and tools/dbi/ with gcovr.
SANITIZER_PACKAGES := clang libclang-rt-14-dev
COVERAGE_PACKAGES  := gcovr
FUZZ_SECONDS       ?= 60

.PHONY: test-asan test-tsan test-gcc-asan fuzz coverage

# test-gcc-asan: the same suite built by GCC under -fsanitize=address,undefined
# -O1, the flags a packager tries first, where GCC's own warnings differ.
test-asan test-tsan test-gcc-asan: test-%: deps
	@scripts/ensure-packages $(SANITIZER_PACKAGES)
	cmake --preset $*
	cmake --build --preset $* -j $(JOBS)
	ctest --preset $* -j $(JOBS)

# Runs each fuzz target FUZZ_SECONDS long from its corpus in tests/fuzz/corpus,
# then merges into that corpus the inputs found that reach code it did not.
fuzz: deps
	@scripts/ensure-packages $(SANITIZER_PACKAGES)
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS) --target store_fuzz_version store_fuzz_init dbi_fuzz_recover
	for target in store_fuzz_version store_fuzz_init dbi_fuzz_recover; do \
	  name=$${target##*_} && mkdir -p build-asan/fuzz-found-$$name && \
	  build-asan/tests/fuzz/$$target -max_total_time=$(FUZZ_SECONDS) \
	    -artifact_prefix=build-asan/ build-asan/fuzz-found-$$name tests/fuzz/corpus/$$name && \
	  build-asan/tests/fuzz/$$target -merge=1 \
	    tests/fuzz/corpus/$$name build-asan/fuzz-found-$$name || exit 1; \
	done

# Writes build-coverage/coverage.txt (lines not run, per file) and
# build-coverage/coverage.html, and prints the line and branch totals.
coverage: deps
	@scripts/ensure-packages $(COVERAGE_PACKAGES)
	cmake --preset coverage
	cmake --build --preset coverage -j $(JOBS)
	find build-coverage -name '*.gcda' -delete
	ctest --preset coverage -j $(JOBS)
	gcovr --root . --filter 'src/' --filter 'tools/dbi/' --object-directory build-coverage \
	  --exclude-directories 'build-coverage/CMakeFiles/[0-9.]+' \
	  --exclude-throw-branches --exclude-unreachable-branches --print-summary \
	  --txt build-coverage/coverage.txt --html-details build-coverage/coverage.html

# Benchmarks: the library against the SQLite C API and SQLiteCpp, in their
# own build folder and built without the tests.
BENCH_PACKAGES := libbenchmark-dev libsqlitecpp-dev gnuplot-nox valgrind
BENCH_DIR      ?= build-bench

bench-build:
	@scripts/ensure-packages $(BUILD_PACKAGES) $(BENCH_PACKAGES)
	cmake -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DDATABASE_INTERFACE_WARNINGS_AS_ERRORS=ON \
	      -DDATABASE_INTERFACE_BUILD_TESTS=OFF -DDATABASE_INTERFACE_BUILD_BENCH=ON
	cmake --build $(BENCH_DIR) -j $(JOBS) --target store_bench

# Times, interleaved: prints the three-way table and draws the chart. The
# load average before and after tells how quiet the machine was.
bench: bench-build
	@echo "load before: $$(cat /proc/loadavg)"
	cd $(BENCH_DIR)/bench && ./store_bench --chart_data=results.dat $(BENCH_ARGS)
	@echo "load after: $$(cat /proc/loadavg)"
	gnuplot -e "data='$(BENCH_DIR)/bench/results.dat'; output='$(BENCH_DIR)/bench/performance.png'" \
	        bench/chart.gp
	@echo "chart: $(BENCH_DIR)/bench/performance.png"

# Instructions per call under callgrind: the same on a busy machine. Fails
# when a read's count rose more than 3% above the committed baseline;
# bench-instructions-baseline renews it, on purpose only (bench/README.md).
INSTRUCTIONS_BASELINE := bench/instructions.baseline

.PHONY: bench-instructions-baseline
bench-instructions: bench-build
	bench/count-instructions $(BENCH_DIR)/bench/store_bench check $(INSTRUCTIONS_BASELINE)

bench-instructions-baseline: bench-build
	bench/count-instructions $(BENCH_DIR)/bench/store_bench update $(INSTRUCTIONS_BASELINE)

# Mutation test: small faults put into src/*.cc one at a time, in a copy of
# the checkout built in MUTATION_DIR, and whether the tests notice each one
# (docs/testing.md). The same seed and sample pick the same mutants;
# MUTATION_ARGS=--list prints them without building; MUTATION_SOURCES=tools/dbi
# draws them from the inspector instead.
MUTATION_DIR    ?= build-mutation
MUTATION_SEED   ?= 1
MUTATION_SAMPLE ?= 300
MUTATION_SOURCES ?= src

.PHONY: mutation
mutation: deps
	@scripts/ensure-packages ninja-build
	scripts/mutation --work $(MUTATION_DIR) --seed $(MUTATION_SEED) --sample $(MUTATION_SAMPLE) \
	  --sources $(MUTATION_SOURCES) --jobs $(JOBS) $(MUTATION_ARGS)

# What the store, static with its bundled SQLite built for size, adds to a
# program, for x86-64 and (with its cross compiler) arm64: scripts/size.
.PHONY: size
size:
	@scripts/ensure-packages $(BUILD_PACKAGES) pkg-config
	JOBS=$(JOBS) scripts/size

# --- Packaging and guard rails ---------------------------------------------

LINT_PACKAGES    := clang-format clang-tidy cppcheck jq git
PACKAGE_PACKAGES := dpkg-dev file

# Every C++ file against .clang-format; `make format` rewrites them.
format-check:
	@scripts/ensure-packages $(LINT_PACKAGES)
	scripts/format-check

format:
	@scripts/ensure-packages $(LINT_PACKAGES)
	scripts/format-check --fix

# clang-tidy and cppcheck on every file the build compiles, the benchmarks
# included; needs only a configured build (for compile_commands.json), in a
# folder of its own so that the main build stays without the benchmarks.
LINT_DIR ?= build-lint

lint: deps
	@scripts/ensure-packages $(LINT_PACKAGES) libbenchmark-dev libsqlitecpp-dev
	cmake -S . -B $(LINT_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DDATABASE_INTERFACE_BUILD_BENCH=ON >/dev/null
	scripts/lint $(LINT_DIR) $(JOBS)

# The library against the committed ABI baseline (abi/README.md); fails
# when the build has no ABI test rather than passing without one.
abi-check: build
	cd $(BUILD_DIR) && ctest -R '^abi_baseline$$' --no-tests=error --output-on-failure

abi-baseline: build
	cmake --build $(BUILD_DIR) --target abi-baseline

# The Debian package of everything `make install` installs, in build-release.
package: release
	@scripts/ensure-packages $(PACKAGE_PACKAGES)
	cd build-release && cpack -G DEB

# Installs that package on this system, builds a program against it both
# ways, removes it and checks nothing is left (as root; not part of .ci/run).
package-check: package
	scripts/check-package build-release/database-interface_*.deb
