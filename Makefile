# Entry points; each one installs what it needs first (scripts/setup is idempotent).
BUILD ?= build
JOBS ?= 2
PREFIX ?= /usr/local

.PHONY: setup build run test install demo bench fuzz clean

setup:
	@scripts/setup

build: setup
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Configured with the prefix too, because the program names the installed pages by their paths.
install: setup
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=$(PREFIX) > /dev/null
	@cmake --build $(BUILD) -j $(JOBS)
	@cmake --install $(BUILD) --prefix $(PREFIX)

# Opens the window with the example drawings chosen.
run: build
	@$(BUILD)/src/ui/keelwick examples

demo: build
	@scripts/demo $(BUILD)

bench: build
	@scripts/bench $(BUILD)

fuzz: setup
	@scripts/fuzz 60

clean:
	@rm -rf $(BUILD) build-fuzz out
