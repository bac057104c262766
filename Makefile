# The two commands that matter: `make test` and `make demo`. Each installs what it needs first.
BUILD ?= build
CMAKE_FLAGS ?=
# The pure logic natively with clang and sanitizers, and the fuzz targets.
NATIVE_BUILD ?= $(BUILD)-native
# PorticoCheck built for Linux, with the sanitizers, and its cases.
CHECK_BUILD ?= $(BUILD)-check
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60

.PHONY: all setup configure build test native-test check-native fuzz demo bench bench-start bench-build bench-b9 dist clean

all: build

setup:
	@bash scripts/setup.sh

configure: setup
	@cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $$(nproc) -- --no-print-directory

test: build native-test
	@bash scripts/run-tests.sh $(BUILD)

native-test: setup
	@cmake -S tests/native -B $(NATIVE_BUILD) -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	@cmake --build $(NATIVE_BUILD) -j $$(nproc) -- --no-print-directory
	@ctest --test-dir $(NATIVE_BUILD) --output-on-failure --no-tests=error
	@$(MAKE) --no-print-directory check-native
	@ctest --test-dir $(CHECK_BUILD) --output-on-failure --no-tests=error

check-native: setup
	@cmake -S check/native -B $(CHECK_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DPORTICO_SANITIZE=ON >/dev/null
	@cmake --build $(CHECK_BUILD) -j $$(nproc) -- --no-print-directory

fuzz: setup
	@bash fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

demo: build
	@bash scripts/demo.sh $(BUILD)

# Release build of its own, without the tests; measures and writes docs/BENCHMARKS.md and
# bench/last-run.json. bench-start takes B1, B2 and B5 alone, in a minute or two, and writes nothing:
# both print each figure beside the last full run's and flag what moved beyond its spread.
BENCH_BUILD ?= build-bench
bench-build: setup
	@cmake -S . -B $(BENCH_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
	  -DBUILD_TESTING=OFF -DPORTICO_BENCH=ON >/dev/null
	@cmake --build $(BENCH_BUILD) -j $$(nproc) -- --no-print-directory
bench: bench-build
	@bash bench/run-bench.sh $(BENCH_BUILD)
bench-start: bench-build
	@bash bench/run-bench.sh --start $(BENCH_BUILD)

# B9 alone (the client updater's download), in the same release tree: only its program is built.
bench-b9: setup
	@cmake -S . -B $(BENCH_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
	  -DBUILD_TESTING=OFF -DPORTICO_BENCH=ON >/dev/null
	@cmake --build $(BENCH_BUILD) --target BenchDownload -j $$(nproc) -- --no-print-directory
	@bash bench/run-b9.sh $(BENCH_BUILD)

# A release: dist/Portico-<version>-win64.zip from a Release build tree of its own, reproducible from
# the commit; make dist SIGN_CERT=cert.pem SIGN_KEY=key.pem [SIGN_PASS=...] [SIGN_TIMESTAMP_URL=...]
# signs the programs (docs/Releasing.md).
DIST_BUILD ?= build-dist
DIST_DIR ?= dist
dist: setup
	@bash scripts/dist.sh $(DIST_BUILD) $(DIST_DIR)

clean:
	rm -rf $(BUILD) $(NATIVE_BUILD) $(CHECK_BUILD) $(DIST_BUILD) $(DIST_DIR)
