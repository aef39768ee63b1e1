# A thin wrapper over CMake. Every target first makes sure the Debian
# packages it needs are there (installing them when run as root).

BUILD_DIR  ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
PREFIX     ?= /usr/local

BUILD_PACKAGES := cmake make g++ binutils libsqlite3-dev
TEST_PACKAGES  := libgtest-dev
# The inspector's test makes files by hand and checks JSON with python3.
TOOL_TEST_PACKAGES := python3

CMAKE_CONFIGURE = cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) \
                  -DDBI_WARNINGS_AS_ERRORS=ON

.PHONY: all deps build run test install clean

all: build

deps:
	@scripts/ensure-packages $(BUILD_PACKAGES) $(TEST_PACKAGES) $(TOOL_TEST_PACKAGES)

# Builds the library, the example and the tests.
build: deps
	$(CMAKE_CONFIGURE)
	cmake --build $(BUILD_DIR) -j $(JOBS)

# Runs the example client in a fixed folder under the build directory, so
# that a second run finds the first one's store file; then shows that file
# as the inspector sees it.
run: build
	mkdir -p $(BUILD_DIR)/run
	cd $(BUILD_DIR)/run && ../examples/dbi_example
	@echo
	@echo "== The same store file seen by the inspector: dbi show =="
	cd $(BUILD_DIR)/run && ../tools/dbi/dbi show

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

install: build
	cmake --install $(BUILD_DIR) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD_DIR)
