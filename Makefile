# A thin wrapper over CMake's presets (CMakePresets.json), each built in its
# folder build-<preset> once the Debian packages it needs are there
# (installed when run as root).
JOBS   ?= $(shell nproc 2>/dev/null || echo 2)
PREFIX ?= /usr/local
MAKEFLAGS += --no-print-directory  # no "Entering directory" from cmake --build

# What every build needs; what a suite needs besides (GoogleTest, the ABI
# tools, pkg-config and python3 for the installed-package and dbi's tests);
# and what some presets need beyond that: clang's sanitizer and libFuzzer
# runtimes, a cross target's compiler, its runner and GoogleTest's sources.
PACKAGES          := cmake make g++ binutils libsqlite3-dev
PACKAGES_test     := libgtest-dev abigail-tools pkg-config python3 bindfs
PACKAGES_asan     := clang libclang-rt-14-dev
PACKAGES_tsan     := $(PACKAGES_asan)
PACKAGES_coverage := $(PACKAGES_test) gcovr
PACKAGES_bench    := $(PACKAGES_test) libbenchmark-dev libsqlitecpp-dev gnuplot-nox valgrind
PACKAGES_windows  := g++-mingw-w64-x86-64-posix wine64 googletest
PACKAGES_arm64    := g++-aarch64-linux-gnu qemu-user googletest
PACKAGES_armhf    := g++-arm-linux-gnueabihf qemu-user googletest
LINT_PACKAGES     := clang-format clang-tidy cppcheck jq git

# $(call build,PRESET[,PACKAGES]): its packages, then configure and build it;
# under Wine, one server serves the whole build and suite (scripts/wine-run).
serve_windows := WINEPREFIX=$(CURDIR)/build-windows/wine-prefix scripts/wine-run --server
build = @scripts/ensure-packages $(PACKAGES) $(PACKAGES_$(1)) $(2) && \
  cmake --preset $(1) && $(serve_$(1)) cmake --build --preset $(1) -j $(JOBS)

.DEFAULT_GOAL := run
.PHONY: run install package package-check clean test test-sqlite-versions test-cross build-apple build-apple-tools \
  abi-check abi-baseline bench bench-instructions bench-instructions-baseline size fuzz coverage mutation format format-check lint

# The store, the example and dbi only, optimised; the example runs in a fixed
# folder, so that a second run finds the first one's store file.
run:
	$(call build,release)
	mkdir -p build-release/run
	cd build-release/run && ../examples/session_client
	@echo
	@echo "== The same store file seen by the inspector: dbi show =="
	cd build-release/run && ../tools/dbi/dbi show

install:
	$(call build,release)
	cmake --install build-release --prefix $(PREFIX)

package:
	$(call build,release)
	@scripts/ensure-packages dpkg-dev file
	cd build-release && cpack -G DEB

package-check: package
	scripts/check-package build-release/database-interface_*.deb

clean:
	rm -rf build-*

# make test, and make test-PRESET (asan, tsan, gcc-asan, sqlite-oldest,
# sqlite-newest, windows, arm64, armhf): one preset's suite, then the
# power-cut test's count and each test skipped, with its reason. First, the
# versions' amalgamations come from pinned registry packages.
define suite
$(call build,$(1),$(PACKAGES_test))
$(serve_$(1)) ctest --preset $(1) -j $(JOBS)
@scripts/suite-summary build-$(1)
endef
test:
	$(call suite,test)
test-%:
	$(if $(findstring sqlite-,$*),scripts/fetch-sqlite $(*:sqlite-%=%) build-$*/amalgamation)
	$(call suite,$*)

test-sqlite-versions: test-sqlite-oldest test-sqlite-newest
test-cross: test-windows test-arm64 test-armhf

# Built and linked, not run, for macOS on arm64 and x86-64 by zig, which
# scripts/fetch-zig brings once for both, before either.
build-apple: build-apple-aarch64 build-apple-x86_64
build-apple-%: build-apple-tools
	$(call build,apple-$*)
	scripts/check-apple-build build-apple-$*

build-apple-tools:
	@scripts/ensure-packages cmake make googletest llvm-14 file
	scripts/fetch-zig build-apple-tools

# abi/README.md; fails when the build has no ABI test rather than passing.
abi-check:
	$(call build,test,$(PACKAGES_test))
	ctest --preset test -R '^abi_baseline$$' --no-tests=error

abi-baseline:
	$(call build,test,$(PACKAGES_test)) --target abi-baseline

# Times, interleaved, between the load averages; instructions per call, which
# fail on a read 3% above the baseline (bench/README.md: renewing it).
bench:
	$(call build,bench) --target store_bench
	@echo "load before: $$(cat /proc/loadavg)"
	cd build-bench/bench && ./store_bench --chart_data=results.dat $(BENCH_ARGS)
	@echo "load after: $$(cat /proc/loadavg)"
	gnuplot -e "data='build-bench/bench/results.dat'; output='build-bench/bench/performance.png'" \
	  bench/chart.gp

bench-instructions bench-instructions-baseline:
	$(call build,bench) --target store_bench
	bench/count-instructions build-bench/bench/store_bench \
	  $(if $(findstring baseline,$@),update,check) bench/instructions.baseline

size:
	@scripts/ensure-packages $(PACKAGES) pkg-config
	JOBS=$(JOBS) scripts/size

# Each fuzz target FUZZ_SECONDS long, merging what it finds into its corpus.
FUZZ_SECONDS ?= 60
fuzz:
	$(call build,asan,$(PACKAGES_test)) --target store_fuzz_init dbi_fuzz_recover
	for target in store_fuzz_init dbi_fuzz_recover; do \
	  name=$${target##*_} && found=build-asan/fuzz-found-$$name && mkdir -p $$found && \
	  build-asan/tests/$$target -max_total_time=$(FUZZ_SECONDS) -artifact_prefix=build-asan/ \
	    $$found tests/fuzz/corpus/$$name && \
	  build-asan/tests/$$target -merge=1 tests/fuzz/corpus/$$name $$found || exit 1; \
	done

coverage:
	$(call build,coverage)
	find build-coverage -name '*.gcda' -delete
	ctest --preset coverage -j $(JOBS)
	gcovr --root . --filter 'src/' --filter 'tools/dbi/' --object-directory build-coverage \
	  --exclude-directories 'build-coverage/CMakeFiles/[0-9.]+' \
	  --exclude-throw-branches --exclude-unreachable-branches --print-summary \
	  --txt build-coverage/coverage.txt --html-details build-coverage/coverage.html

# docs/testing.md: MUTATION_ARGS=--list prints the mutants without building,
# MUTATION_SOURCES=tools/dbi draws them from the inspector.
mutation:
	@scripts/ensure-packages $(PACKAGES) $(PACKAGES_test) ninja-build
	scripts/mutation --work build-mutation --seed $(or $(MUTATION_SEED),1) \
	  --sample $(or $(MUTATION_SAMPLE),300) --sources $(or $(MUTATION_SOURCES),src) \
	  --jobs $(JOBS) $(MUTATION_ARGS)

format format-check:
	@scripts/ensure-packages $(LINT_PACKAGES)
	scripts/format-check $(if $(filter format,$@),--fix)

lint:  # on the compile commands of the bench preset, which compiles everything
	@scripts/ensure-packages $(PACKAGES) $(PACKAGES_bench) $(LINT_PACKAGES)
	cmake --preset bench >/dev/null
	scripts/lint build-bench $(JOBS)
