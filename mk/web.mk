# make web: the game for the browser, built with Debian's Emscripten into $(WEB_BUILD)
# (libraries from Debian's source packages, built once), a folder for any static web host and
# its zip; tested in headless Chromium.
# Included before the root Makefile's first rule: keep its default goal.
_web_default_goal := $(.DEFAULT_GOAL)

WEB_BUILD ?= build-web
CLEAN_DIRS += $(WEB_BUILD)
WEB_PACKAGES := emscripten ninja-build dpkg-dev chromium python3-websocket

.PHONY: web web-deps web-clean
web: web-deps configure
	JOBS=$(JOBS) cmake/web/build.sh $(BUILD) $(WEB_BUILD)

web-deps:
	@missing=""; for p in $(WEB_PACKAGES); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  if [ "$$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi; \
	  { $$SUDO apt-get update && $$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $$missing; } \
	    || echo "web-deps: could not install$$missing; make web will fail and the browser test is skipped"; \
	fi

# make test runs the page in Chromium, so it needs the web tools too (or skips that test).
test: web-deps

web-clean:
	rm -rf $(WEB_BUILD)

.DEFAULT_GOAL := $(_web_default_goal)
