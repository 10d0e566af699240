# The two everyday commands: `make run` (the demo) and `make test`.
BUILD_DIR ?= build
JOBS ?= 2

.PHONY: all build run test clean

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

clean:
	rm -rf $(BUILD_DIR) examples/out
