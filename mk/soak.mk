# make soak: the long soak (VANTOREL_SOAK_HOURS simulated hours, default 1000) in the normal build.
SOAK_HOURS ?= 1000

.PHONY: soak
soak: build
	cd $(BUILD) && VANTOREL_SOAK_HOURS=$(SOAK_HOURS) SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=dummy \
	  ./vantorel_tests --gtest_filter=Soak.HoursOfRandomPlayKeepEveryInvariant
