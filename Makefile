# Entry points; each one installs what it needs first (scripts/setup is idempotent).
BUILD ?= build
JOBS ?= 2

.PHONY: setup build test demo bench fuzz clean

setup:
	@scripts/setup

build: setup
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

demo: build
	@scripts/demo $(BUILD)

bench: build
	@scripts/bench $(BUILD)

fuzz: setup
	@scripts/fuzz 60

clean:
	@rm -rf $(BUILD) build-fuzz out
