# make soak: the long soak (SOAK_HOURS simulated hours, default 1000) in the normal build.
# Included before the root Makefile's first rule: keep its default goal.
_soak_default_goal := $(.DEFAULT_GOAL)

SOAK_HOURS ?= 1000

.PHONY: soak
soak: build
	cd $(BUILD) && VANTOREL_SOAK_HOURS=$(SOAK_HOURS) SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=dummy \
	  ./vantorel_tests --gtest_filter=Soak.HoursOfRandomPlayKeepEveryInvariant

.DEFAULT_GOAL := $(_soak_default_goal)
