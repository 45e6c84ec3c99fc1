# make windows: the game for 64-bit Windows, cross-built with mingw-w64 into $(WINDOWS_BUILD)
# (libraries from Debian's source packages, built once), packed as a zip; tested under Wine.
# Included before the root Makefile's first rule: keep its default goal.
_windows_default_goal := $(.DEFAULT_GOAL)

WINDOWS_BUILD ?= build-windows
CLEAN_DIRS += $(WINDOWS_BUILD)
WINDOWS_PACKAGES := g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
	mingw-w64-x86-64-dev dpkg-dev meson ninja-build wine wine64

.PHONY: windows windows-deps windows-clean
windows: windows-deps configure
	JOBS=$(JOBS) cmake/windows/build.sh $(BUILD) $(WINDOWS_BUILD)

windows-deps:
	$(call install_missing,$(WINDOWS_PACKAGES),make windows will fail and the Windows test is skipped)

# make test runs the zip under Wine, so it needs the cross tools too (or skips that test).
test: windows-deps

windows-clean:
	rm -rf $(WINDOWS_BUILD)

.DEFAULT_GOAL := $(_windows_default_goal)
