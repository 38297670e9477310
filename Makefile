# Thin wrapper over CMake. The two set-up commands are `make demo` and `make test`.
BUILD ?= build
SAN_BUILD ?= build-sanitize
FUZZ_BUILD ?= build-fuzz
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all build test test-sanitize demo demo-reset fuzz bench clean

all: build

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-sanitize:
	cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DQ7_SANITIZE=ON -DQ7_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build $(SAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(SAN_BUILD) --output-on-failure -j $(JOBS)

# An interactive update of the simulated module; its flash is kept in
# $(BUILD)/demo/module-state, so a second run finds it up to date.
demo: build
	mkdir -p $(BUILD)/demo
	$(BUILD)/q7340romupdate-sim

# Back to a freshly powered module of the older generation.
demo-reset:
	rm -f $(BUILD)/demo/module-state

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(FUZZ_BUILD)
