# The two commands of the README: `make run` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps test-deps build run test clean

all: build

deps:
	@scripts/install-deps.sh build

test-deps:
	@scripts/install-deps.sh test

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DLURVA_WERROR=ON -DCMAKE_CXX_COMPILER=g++ -DCMAKE_C_COMPILER=gcc

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run-demo.sh $(BUILD)

test: test-deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD)
