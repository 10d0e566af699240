# The two everyday commands: `make run` (the demo) and `make test`.
BUILD_DIR ?= build
JOBS ?= 2

.PHONY: all build run test bench clean

all: build

build:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD_DIR) -j $(JOBS)

# Builds, then runs tavrel on the demo setting file; results go to examples/out/.
run: build
	mkdir -p examples/out
	cd examples && ../$(BUILD_DIR)/tavrel demo.settings

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

# Release build with the benchmarks: the stage table (also written to
# bench/results.md), then the kernel micro-benchmarks. Takes a few minutes.
bench:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release -DTAVREL_BENCH=ON
	cmake --build $(BUILD_DIR) -j $(JOBS)
	$(BUILD_DIR)/bench/tavrel_bench_stages --tavrel $(BUILD_DIR)/tavrel --work $(BUILD_DIR)/bench-work --results bench/results.md
	$(BUILD_DIR)/bench/tavrel_bench_kernels --benchmark_min_time=0.2

clean:
	rm -rf $(BUILD_DIR) examples/out
