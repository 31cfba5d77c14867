# The two set-up commands (see README): `make test` and `make demo`.
# Each installs the Debian packages it needs first (scripts/install-deps).

JOBS     ?= $(shell nproc)
CMAKE    ?= cmake
BUILD    := build
ASAN     := build/asan
TSAN     := build/tsan
FUZZ     := build/fuzz
CTESTFLAGS := --output-on-failure -j $(JOBS)

.PHONY: all deps build test test-plain test-asan test-tsan demo bench fuzz pictures clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt: | deps
	$(CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/CMakeCache.txt
	$(CMAKE) --build $(BUILD) -j $(JOBS)

test: test-plain test-asan test-tsan

test-plain: build
	cd $(BUILD) && ctest $(CTESTFLAGS)

test-asan: deps
	$(CMAKE) -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DCALTRIX_SANITIZER=address -DCALTRIX_BUILD_BENCH=OFF
	$(CMAKE) --build $(ASAN) -j $(JOBS)
	cd $(ASAN) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/support/lsan.supp ctest $(CTESTFLAGS)

test-tsan: deps
	$(CMAKE) -S . -B $(TSAN) -DCMAKE_BUILD_TYPE=Debug -DCALTRIX_SANITIZER=thread -DCALTRIX_BUILD_BENCH=OFF
	$(CMAKE) --build $(TSAN) -j $(JOBS) --target threaded_tests
	cd $(TSAN) && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/support/tsan.supp" \
	  ctest $(CTESTFLAGS) -L threaded

# The calibration window on the virtual stick with demo settings of its own (build/demo/user.reg)
# and a simulated rider. Without a display: a 15 s script offscreen that prints what the window
# shows and saves pictures of it into build/demo/.
demo: build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  $(BUILD)/bin/caltrix-demo --folder $(BUILD)/demo; \
	else \
	  $(BUILD)/bin/caltrix-demo --headless --folder $(BUILD)/demo; \
	fi

bench: build
	@for b in $(BUILD)/bench/*; do [ -f "$$b" ] && [ -x "$$b" ] || continue; "$$b" || exit 1; done

# Runs the picture tests and makes every picture that differs from its reference the new
# reference: look at each changed picture (git status) before committing it.
pictures: build
	cd $(BUILD) && CALTRIX_UPDATE_PICTURES=1 ctest $(CTESTFLAGS) -R 'Pictures'

fuzz: deps
	CC=clang CXX=clang++ $(CMAKE) -S . -B $(FUZZ) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCALTRIX_BUILD_FUZZ=ON -DCALTRIX_BUILD_BENCH=OFF
	$(CMAKE) --build $(FUZZ) -j $(JOBS) --target fuzz_targets
	@for f in $(FUZZ)/fuzz/*; do [ -f "$$f" ] && [ -x "$$f" ] || continue; n=$$(basename $$f); mkdir -p $(FUZZ)/corpus/$$n && \
	  "$$f" -max_total_time=$${FUZZ_SECONDS:-60} -artifact_prefix=$(CURDIR)/$(FUZZ)/ $(FUZZ)/corpus/$$n $$(cat $$f.seeds) || exit 1; done

clean:
	rm -rf $(BUILD)
