# The two commands of the README: `make run` and `make test`.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CTEST_ARGS ?=

.PHONY: all deps configure build run test bench format clean

all: build

deps:
	@sh scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	sh scripts/run.sh $(BUILD_DIR)

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS) $(CTEST_ARGS)

bench: build
	sh scripts/bench.sh $(BUILD_DIR)

format: configure
	cmake --build $(BUILD_DIR) --target format

clean:
	rm -rf $(BUILD_DIR)
