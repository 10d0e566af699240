# The two everyday commands: `make run` (the demo) and `make test`.
BUILD_DIR ?= build
JOBS ?= 2
# The interpreter the Python package is built for and tested with: Debian's,
# which its python3-* packages serve (another python3 may come first on PATH,
# and CMake's search would pick it).
PYTHON ?= /usr/bin/python3

.PHONY: all build run screenshot test test-sanitize test-tsan fuzz bench install clean r-package r-check

all: build

build:
	cmake -S . -B $(BUILD_DIR) -DPython3_EXECUTABLE=$(PYTHON) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON
	cmake --build $(BUILD_DIR) -j $(JOBS)

# Builds the program alone (installing the compiler and CMake when missing),
# then runs it on the demo setting file; results go to examples/out/.
run:
	.ci/packages build
	cmake -S . -B $(BUILD_DIR) -DPython3_EXECUTABLE=$(PYTHON) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
	cmake --build $(BUILD_DIR) -j $(JOBS) --target tavrel
	mkdir -p examples/out
	cd examples && ../$(BUILD_DIR)/tavrel demo.settings

# The README's picture of the demo report (docs/report.png): the whole page,
# 1280 px wide, from the headless browser the browser test uses.
screenshot: run
	mkdir -p docs
	python3 tests/report/browser.py screenshot examples/out/report.html docs/report.png

# Installs the Debian packages the tests need when missing (as root), builds
# everything and runs every test.
test:
	.ci/packages test
	$(MAKE) build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

# Installs tavrel into $(PREFIX)/bin and its README into
# $(PREFIX)/share/doc/tavrel; PREFIX (or CMAKE_INSTALL_PREFIX) defaults to
# /usr/local, and DESTDIR stages the files for a package.
CMAKE_INSTALL_PREFIX ?= /usr/local
PREFIX ?= $(CMAKE_INSTALL_PREFIX)

install: build
	cmake --install $(BUILD_DIR) --prefix $(PREFIX)

# The whole test suite built with AddressSanitizer and UndefinedBehaviorSanitizer;
# the first report fails the test that caused it.
SANITIZE_DIR ?= build-sanitize
SANITIZE_CXX ?= $(shell command -v clang++ || command -v g++)
SANITIZER_ENV = ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=0 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

test-sanitize:
	cmake -S . -B $(SANITIZE_DIR) -DPython3_EXECUTABLE=$(PYTHON) -DCMAKE_CXX_COMPILER=$(SANITIZE_CXX) \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVREL_SANITIZE=ON
	cmake --build $(SANITIZE_DIR) -j $(JOBS)
	$(SANITIZER_ENV) ctest --test-dir $(SANITIZE_DIR) --output-on-failure -j $(JOBS)

# The tests that run several threads, built with ThreadSanitizer in
# $(TSAN_DIR): the worker pool, the engine and the statistics on several workers and the binary
# at several thread counts. The first report fails the test that caused it.
TSAN_DIR ?= build-tsan
TSAN_TESTS ?= Workers|ReferencePath|ThreadsEndToEnd|RunStatistics|RankCounts|Library

test-tsan:
	cmake -S . -B $(TSAN_DIR) -DPython3_EXECUTABLE=$(PYTHON) -DCMAKE_CXX_COMPILER=$(SANITIZE_CXX) \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVREL_TSAN=ON
	cmake --build $(TSAN_DIR) -j $(JOBS) --target tavrel tavrel_tests
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
		ctest --test-dir $(TSAN_DIR) --output-on-failure -j $(JOBS) -R '$(TSAN_TESTS)'

# Runs every libFuzzer target for FUZZ_SECONDS, starting from its seed corpus;
# new inputs and crash artifacts stay under $(FUZZ_DIR).
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60

fuzz:
	cmake -S . -B $(FUZZ_DIR) -DPython3_EXECUTABLE=$(PYTHON) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DTAVREL_SANITIZE=ON -DTAVREL_FUZZ=ON
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzz_targets
	$(SANITIZER_ENV) tests/fuzz/run.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

# Release build with the benchmarks: the stage table (also written to
# bench/results.md), the Python package's rows beside the library's reference
# (a section of the same file), then the kernel micro-benchmarks. Takes a few
# minutes. With BASE=<commit>: that commit is built in $(BASE_DIR) as well,
# and the two builds' stage cases, whole runs and kernel micro-benchmarks run
# alternately, 5 runs each, into a section of bench/results.md that gives
# every row's new/base ratio and whether it meets its target.
BASE ?=
BASE_DIR = build-base
BENCH_TARGETS = --target tavrel tavrel_bench_stages tavrel_bench_kernels
bench:
	cmake -S . -B $(BUILD_DIR) -DPython3_EXECUTABLE=$(PYTHON) -DCMAKE_BUILD_TYPE=Release -DTAVREL_BENCH=ON
ifeq ($(BASE),)
	cmake --build $(BUILD_DIR) -j $(JOBS)
	$(BUILD_DIR)/bench/tavrel_bench_stages --tavrel $(BUILD_DIR)/tavrel --work $(BUILD_DIR)/bench-work --results bench/results.md
	$(PYTHON) bench/python_bench.py --stages $(BUILD_DIR)/bench/tavrel_bench_stages --work $(BUILD_DIR)/bench-work \
		--package $(BUILD_DIR)/python --results bench/results.md
	$(BUILD_DIR)/bench/tavrel_bench_kernels --benchmark_min_time=0.2
else
	cmake --build $(BUILD_DIR) -j $(JOBS) $(BENCH_TARGETS)
	rm -rf $(BASE_DIR)/src && mkdir -p $(BASE_DIR)/src
	git archive $(BASE) | tar -x -C $(BASE_DIR)/src
	cmake -S $(BASE_DIR)/src -B $(BASE_DIR)/build -DPython3_EXECUTABLE=$(PYTHON) -DCMAKE_BUILD_TYPE=Release \
		-DTAVREL_BENCH=ON -DBUILD_TESTING=OFF
	cmake --build $(BASE_DIR)/build -j $(JOBS) $(BENCH_TARGETS)
	$(PYTHON) bench/compare_base.py --new $(BUILD_DIR) --base $(BASE_DIR)/build \
		--base-name "$$(git rev-parse --short $(BASE)) ($(BASE))" --work $(BUILD_DIR)/bench-work --results bench/results.md
endif

# The R package: a self-contained source tarball in $(BUILD_DIR)/r
# (tavrel_<version>.tar.gz) with the library's sources, and R CMD check of it.
R ?= R
R_DIR = $(BUILD_DIR)/r

r-package:
	R=$(R) r/tools/assemble.sh $(R_DIR)

r-check: r-package
	cd $(R_DIR) && MAKEFLAGS=-j$(JOBS) $(R) CMD check --no-manual $$(ls -t tavrel_*.tar.gz | head -n 1)

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(TSAN_DIR) $(FUZZ_DIR) examples/out $(BASE_DIR)
