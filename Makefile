# The two commands that matter: `make test` and `make demo`. Each installs what it needs first.
BUILD ?= build
CMAKE_FLAGS ?=

.PHONY: all setup configure build test demo clean

all: build

setup:
	@bash scripts/setup.sh

configure: setup
	@cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $$(nproc) -- --no-print-directory

test: build
	@bash scripts/run-tests.sh $(BUILD)

demo: build
	@bash scripts/demo.sh $(BUILD)

clean:
	rm -rf $(BUILD)
