# Coverage-guided fuzzing with libFuzzer of the file readers (asset pack, sound banks, replays)
# and of the font guard in front of the real font baker.
#   make fuzz-smoke   bounded, repeatable run (fixed seed and run count); part of test-extra
#   make fuzz         long runs (FUZZ_TIME seconds per target), corpus kept in $(BUILD)-fuzz/corpus-*
# The targets are built by CMake with clang in $(BUILD)-fuzz (cmake/fuzz.cmake). Needs clang++ and
# its libFuzzer runtime (Debian: clang, libclang-rt-14-dev on newer releases);
# the font seeds are cut down to the game's code points with python3-fonttools.

# Included before the root Makefile's first rule: keep its default goal.
_fuzz_default_goal := $(.DEFAULT_GOAL)

FUZZ_DIR := $(BUILD)-fuzz
CLEAN_DIRS += $(FUZZ_DIR)
FUZZ_CC ?= clang
FUZZ_CXX ?= clang++
FUZZ_TARGETS := pak bank font replay
FUZZ_RUNS_pak ?= 100000
FUZZ_RUNS_bank ?= 1000000
FUZZ_RUNS_font ?= 3000
FUZZ_MAXLEN_pak ?= 8192
FUZZ_MAXLEN_bank ?= 4096
# The bank target hands what passes the checks to the decoder: a set-up that escaped them
# shows as memory or time.
FUZZ_FLAGS_bank ?= -rss_limit_mb=512 -timeout=30
FUZZ_RUNS_replay ?= 300000
FUZZ_MAXLEN_replay ?= 2048
FUZZ_MAXLEN_font ?= 65536
FUZZ_PYTHON ?= /usr/bin/python3
FUZZ_TIME ?= 600

# The real data files, when the main build has made them, run once each unmutated.
FUZZ_REAL_pak := $(wildcard $(BUILD)/data/assets.sbpak)
FUZZ_REAL_bank := $(wildcard $(BUILD)/data/Desktop/persistent.bank $(BUILD)/data/Desktop/persistent.strings.bank)
# Every TrueType font the installed Debian font packages offer, whole.
FUZZ_REAL_font := $(sort $(shell find /usr/share/fonts -type f \( -iname '*.ttf' -o -iname '*.ttc' \) 2>/dev/null))

.PHONY: fuzz fuzz-smoke fuzz-build fuzz-seeds
test-extra: fuzz-smoke

# CMake builds the targets (cmake/fuzz.cmake) in their own tree, at -O1 with assertions kept;
# make only drives them. The tree needs neither GoogleTest nor the benchmark library.
FUZZ_PROGRAMS := $(FUZZ_TARGETS:%=$(FUZZ_DIR)/fuzz_%) $(FUZZ_DIR)/seed_writer

$(FUZZ_DIR)/CMakeCache.txt:
	cmake -S . -B $(FUZZ_DIR) -DCMAKE_C_COMPILER=$(FUZZ_CC) -DCMAKE_CXX_COMPILER=$(FUZZ_CXX) \
	  -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_C_FLAGS_DEBUG=-g -O1" "-DCMAKE_CXX_FLAGS_DEBUG=-g -O1" \
	  -DBUILD_TESTING=OFF -DVANTOREL_FUZZ=ON

fuzz-build: $(FUZZ_DIR)/CMakeCache.txt
	cmake --build $(FUZZ_DIR) --target vantorel_fuzz -j$(JOBS)

# The programs are only as new as the last fuzz-build left them: what depends on one (the
# font seeds) is remade when CMake relinked it.
$(FUZZ_PROGRAMS): fuzz-build
	@:

# Seeds are rebuilt from scratch every time, so the bounded run starts from the same corpus.
fuzz-seeds: $(FUZZ_DIR)/seed_writer $(FUZZ_DIR)/seeds-font.made
	rm -rf $(FUZZ_DIR)/seeds-pak $(FUZZ_DIR)/seeds-bank $(FUZZ_DIR)/seeds-replay
	mkdir -p $(FUZZ_DIR)/seeds-pak $(FUZZ_DIR)/seeds-bank $(FUZZ_DIR)/seeds-replay
	$(FUZZ_DIR)/seed_writer $(FUZZ_DIR)/seeds-pak $(FUZZ_DIR)/seeds-bank $(FUZZ_REAL_bank)

# Font seeds: each installed font and the game's own, cut down to the code points the game
# bakes so that they fit the fuzzer's input length (the whole files run unmutated below).
# Cutting takes a minute, so they are remade only when the fonts or the pack change.
$(FUZZ_DIR)/seeds-font.made: $(FUZZ_DIR)/seed_writer $(FUZZ_REAL_pak) $(FUZZ_REAL_font)
	rm -rf $(FUZZ_DIR)/seeds-font $(FUZZ_DIR)/fonts-whole
	mkdir -p $(FUZZ_DIR)/seeds-font $(FUZZ_DIR)/fonts-whole
	$(FUZZ_DIR)/seed_writer --tiny-font $(FUZZ_DIR)/fonts-whole/tiny.ttf
	$(if $(FUZZ_REAL_pak),$(FUZZ_DIR)/seed_writer --font $(FUZZ_REAL_pak) $(FUZZ_DIR)/fonts-whole/game.ttf)
	@n=0; for f in $(FUZZ_REAL_font) $(FUZZ_DIR)/fonts-whole/*.ttf; do n=$$((n + 1)); \
	  $(FUZZ_PYTHON) -m fontTools.subset "$$f" --unicodes=U+0020-024F --no-hinting --font-number=0 \
	    --output-file=$(FUZZ_DIR)/seeds-font/$$n-$$(basename "$$f") >/dev/null 2>&1 \
	  || cp "$$f" $(FUZZ_DIR)/seeds-font/$$n-$$(basename "$$f"); done; \
	echo "font seeds: $$n fonts"
	touch $@

# New inputs go to a throw-away directory so that the seeds stay as written.
fuzz-smoke: fuzz-build fuzz-seeds
	@set -e; for t in $(FUZZ_TARGETS); do flags=""; \
	  case $$t in pak) runs=$(FUZZ_RUNS_pak); len=$(FUZZ_MAXLEN_pak); real="$(FUZZ_REAL_pak)";; \
	              bank) runs=$(FUZZ_RUNS_bank); len=$(FUZZ_MAXLEN_bank); real="$(FUZZ_REAL_bank)"; flags="$(FUZZ_FLAGS_bank)";; \
	              font) runs=$(FUZZ_RUNS_font); len=$(FUZZ_MAXLEN_font); \
	                    real="$(FUZZ_REAL_font) $$(ls $(FUZZ_DIR)/fonts-whole/*.ttf)";; \
	              replay) runs=$(FUZZ_RUNS_replay); len=$(FUZZ_MAXLEN_replay); real="";; esac; \
	  if [ -n "$$real" ]; then $(FUZZ_DIR)/fuzz_$$t $$flags $$real > $(FUZZ_DIR)/real-$$t.log 2>&1 \
	    || { cat $(FUZZ_DIR)/real-$$t.log; echo "fuzz-smoke $$t: a real data file failed"; exit 1; }; fi; \
	  rm -rf $(FUZZ_DIR)/smoke-$$t && mkdir -p $(FUZZ_DIR)/smoke-$$t; \
	  if ! $(FUZZ_DIR)/fuzz_$$t $$flags -seed=1 -runs=$$runs -max_len=$$len -print_final_stats=1 \
	       -artifact_prefix=$(FUZZ_DIR)/crash-$$t- \
	       $(FUZZ_DIR)/smoke-$$t $(FUZZ_DIR)/seeds-$$t > $(FUZZ_DIR)/smoke-$$t.log 2>&1; then \
	    tail -n 60 $(FUZZ_DIR)/smoke-$$t.log; echo "fuzz-smoke $$t: FAILED"; exit 1; fi; \
	  echo "fuzz-smoke $$t: $$(sed -n 's/^stat::number_of_executed_units: *//p' $(FUZZ_DIR)/smoke-$$t.log) executions," \
	    "$$(sed -n 's/^stat::average_exec_per_sec: *//p' $(FUZZ_DIR)/smoke-$$t.log)/s, no crash"; \
	done

fuzz: fuzz-build fuzz-seeds
	@set -e; for t in $(FUZZ_TARGETS); do flags=""; \
	  case $$t in pak) len=$(FUZZ_MAXLEN_pak);; bank) len=$(FUZZ_MAXLEN_bank); flags="$(FUZZ_FLAGS_bank)";; font) len=$(FUZZ_MAXLEN_font);; replay) len=$(FUZZ_MAXLEN_replay);; esac; \
	  mkdir -p $(FUZZ_DIR)/corpus-$$t; \
	  $(FUZZ_DIR)/fuzz_$$t $$flags -max_total_time=$(FUZZ_TIME) -max_len=$$len -print_final_stats=1 \
	    -artifact_prefix=$(FUZZ_DIR)/crash-$$t- $(FUZZ_DIR)/corpus-$$t $(FUZZ_DIR)/seeds-$$t \
	    2>&1 | tee $(FUZZ_DIR)/fuzz-$$t.log | grep -E '^(stat::|==|SUMMARY|artifact_prefix)' || true; \
	  if grep -q 'Test unit written to' $(FUZZ_DIR)/fuzz-$$t.log; then echo "fuzz $$t: crash, see $(FUZZ_DIR)/fuzz-$$t.log"; exit 1; fi; \
	done

.DEFAULT_GOAL := $(_fuzz_default_goal)
