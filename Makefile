# Quick start on a fresh Debian 12 machine:  make play   /   make test
BUILD ?= build
JOBS ?= $(shell nproc)
# What building and running the game needs; `make play` installs only these.
PLAY_PACKAGES := cmake g++ make pkg-config libsdl2-dev libsdl2-mixer-dev libogg-dev libvorbis-dev libepoxy-dev libgl-dev \
	libgl1-mesa-dri libstb-dev liblz4-dev zlib1g-dev libxmp-dev python3-fonttools
# What the tests, the benchmarks, fuzzing and the package checks need on top.
TEST_PACKAGES := libgtest-dev libbenchmark-dev clang valgrind python3 \
	xvfb xauth x11-utils openbox xdotool imagemagick \
	dpkg-dev lintian desktop-file-utils appstream man-db stress-ng
PACKAGES := $(PLAY_PACKAGES) $(TEST_PACKAGES)
PREFIX ?= /usr/local
# Every folder a build makes; the fragments in mk/ add theirs.
CLEAN_DIRS := $(BUILD) $(BUILD)-asan

.PHONY: deps deps-play configure build play test bench clean package install

# Longer-running checks (fuzzing, soak) live in their own fragments.
include $(wildcard mk/*.mk)
.DEFAULT_GOAL := build

# deps-play / deps: install the missing packages of list $(1) with apt-get (through sudo when not
# root). $(2), when given, says what a failed install costs; the make then goes on without them.
define install_missing
	@missing=""; for p in $(1); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  if [ "$$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi; \
	  $(if $(2),{ )$$SUDO apt-get update && $$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y $(if $(2),--no-install-recommends )$$missing$(if $(2),; } || echo "$@: could not install$$missing; $(2)"); \
	fi
endef

deps-play:
	$(call install_missing,$(PLAY_PACKAGES))

deps:
	$(call install_missing,$(PACKAGES))

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON

build: configure
	cmake --build $(BUILD) -j$(JOBS)

# Only the game and its data: no test tools installed, no tests built.
play: deps-play
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF
	cmake --build $(BUILD) --target vantorel -j$(JOBS)
	cd $(BUILD) && ./vantorel

# Every test, then the same suite again built with AddressSanitizer and UBSan.
test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)
	cmake -S . -B $(BUILD)-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTOREL_SANITIZE=ON
	cmake --build $(BUILD)-asan -j$(JOBS)
	cd $(BUILD)-asan && ctest --output-on-failure -j$(JOBS) -LE package
	$(MAKE) --no-print-directory test-extra

# vantorel_<version>_<arch>.deb in $(BUILD).
package: deps-play
	$(call install_missing,dpkg-dev)
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF
	cmake --build $(BUILD) -j$(JOBS)
	cd $(BUILD) && cpack -G DEB

# make install PREFIX=/some/where (DESTDIR works too).
install:
	cmake --build $(BUILD) -j$(JOBS)
	cmake --install $(BUILD) --prefix $(PREFIX)

# Frame costs, then start-up and processor time on a private X server (BEFORE=<build folder>
# measures another build alongside, PEER=<command> another program at its title).
bench: build
	cmake --build $(BUILD) --target vantorel_bench vantorel_startup_bench vantorel_play_script -j$(JOBS)
	cd $(BUILD) && SDL_AUDIODRIVER=dummy ./vantorel_bench
	bash tests/bench/cpu.sh $(BUILD)

# Fragments in mk/ add their bounded checks as prerequisites of test-extra.
.PHONY: test-extra
test-extra:

clean:
	rm -rf $(CLEAN_DIRS)
