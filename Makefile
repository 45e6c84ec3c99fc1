# Quick start on a fresh Debian 12 machine:  make play   /   make test
BUILD ?= build
JOBS ?= $(shell nproc)
PACKAGES := cmake g++ make pkg-config libsdl2-dev libsdl2-mixer-dev libepoxy-dev libgl-dev \
	libstb-dev liblz4-dev fonts-misaki libgtest-dev libbenchmark-dev clang valgrind \
	xvfb xauth x11-utils openbox libgl1-mesa-dri xdotool imagemagick python3-fonttools

.PHONY: deps configure build play test bench clean

# Longer-running checks (fuzzing, soak) live in their own fragments.
include $(wildcard mk/*.mk)
.DEFAULT_GOAL := build

deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  if [ "$$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi; \
	  $$SUDO apt-get update && $$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y $$missing; \
	fi

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j$(JOBS)

play: build
	./$(BUILD)/vantorel

# Every test, then the same suite again built with AddressSanitizer and UBSan.
test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)
	cmake -S . -B $(BUILD)-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTOREL_SANITIZE=ON
	cmake --build $(BUILD)-asan -j$(JOBS)
	cd $(BUILD)-asan && ctest --output-on-failure -j$(JOBS)
	$(MAKE) --no-print-directory test-extra

bench: build
	cmake --build $(BUILD) --target vantorel_bench -j$(JOBS)
	cd $(BUILD) && SDL_AUDIODRIVER=dummy ./vantorel_bench

# Fragments in mk/ add their bounded checks as prerequisites of test-extra.
.PHONY: test-extra
test-extra:

clean:
	rm -rf $(BUILD) $(BUILD)-asan
