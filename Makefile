# Thin wrapper over CMake. The two set-up commands are `make demo` and `make test`.
BUILD ?= build
SAN_BUILD ?= build-sanitize
FUZZ_BUILD ?= build-fuzz
BENCH_BUILD ?= build-bench
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := lwf_receive_fuzz msg_reply_fuzz command_line_fuzz standin_revision_fuzz

.PHONY: all build configure-program test test-sanitize demo demo-reset package fuzz bench clean

all: build

# Everything, the tests and benchmarks included (they need GoogleTest; Google
# Benchmark is optional).
build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQ7_TESTS=ON -DQ7_BENCH=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

# The same build directory without tests and benchmarks, for what needs only
# the program and the simulator: configuring it needs neither test library.
# Switching between the two costs a configure run; nothing is rebuilt.
configure-program:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQ7_TESTS=OFF -DQ7_BENCH=OFF $(CMAKE_FLAGS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-sanitize:
	cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DQ7_SANITIZE=ON -DQ7_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build $(SAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(SAN_BUILD) --output-on-failure -j $(JOBS)

# libFuzzer needs clang; the whole tree is built with the sanitizers so that
# every library the targets link carries them. FUZZ_SECONDS is split evenly.
fuzz:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DQ7_SANITIZE=ON -DQ7_TESTS=OFF -DQ7_BENCH=OFF -DQ7_FUZZ=ON $(CMAKE_FLAGS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target $(FUZZ_TARGETS)
	fuzz/run_fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

bench:
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DQ7_TESTS=OFF -DQ7_BENCH=ON $(CMAKE_FLAGS)
	cmake --build $(BENCH_BUILD) -j $(JOBS) --target lwf_transfer_bench update_bench
	$(BENCH_BUILD)/bench/lwf_transfer_bench
	$(BENCH_BUILD)/bench/update_bench

# An interactive update of the simulated module; its flash is kept in
# $(BUILD)/demo/module-state, so a second run finds it up to date. Builds only
# what it runs: the program, the simulator's libvisa.so (the wrapper is made
# when configuring).
demo: configure-program
	cmake --build $(BUILD) -j $(JOBS) --target q7340romupdate q7_simvisa
	mkdir -p $(BUILD)/demo
	$(BUILD)/q7340romupdate-sim

# Back to a freshly powered module of the older generation.
demo-reset:
	rm -f $(BUILD)/demo/module-state

# The Debian package, in $(BUILD).
package: configure-program
	cmake --build $(BUILD) -j $(JOBS) --target package

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(FUZZ_BUILD) $(BENCH_BUILD)
