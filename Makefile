# The two set-up commands (see README): `make test` and `make demo`.
# Each installs the Debian packages it needs first (scripts/install-deps).

JOBS     ?= $(shell nproc)
CMAKE    ?= cmake
BUILD    := build
ASAN     := build/asan
TSAN     := build/tsan
FUZZ     := build/fuzz
CTESTFLAGS := --output-on-failure -j $(JOBS)

PREFIX   ?= /usr/local

.PHONY: all deps build install package test test-plain test-asan test-tsan demo bench bench-smoke fuzz pictures clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt: | deps
	$(CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/CMakeCache.txt
	$(CMAKE) --build $(BUILD) -j $(JOBS)

# Installs the programs, the menu entry, the icon, the manual pages and the udev rules under
# PREFIX (DESTDIR=… stages them elsewhere).
install: build
	$(CMAKE) --install $(BUILD) --prefix $(PREFIX)

# The Debian package, in build/: caltrix_VERSION_ARCH.deb.
package: build
	cd $(BUILD) && cpack -G DEB

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
# and a simulated rider. Without a display: a 60 s script offscreen that prints what the window
# shows and saves pictures of it into build/demo/.
demo: build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  $(BUILD)/bin/caltrix-demo --folder $(BUILD)/demo; \
	else \
	  $(BUILD)/bin/caltrix-demo --headless --folder $(BUILD)/demo; \
	fi

# Runs every benchmark, even after one that failed or missed a goal, and fails at the end if any did.
RUN_BENCHES = failed=""; for b in $(BUILD)/bench/*; do [ -f "$$b" ] && [ -x "$$b" ] || continue; \
	  echo "== $$(basename $$b)"; "$$b" || failed="$$failed $$(basename $$b)"; done; \
	  if [ -n "$$failed" ]; then echo "bench: failed or missed a goal:$$failed" >&2; exit 1; fi

bench: build
	@$(RUN_BENCHES)

# Every benchmark once, its figures printed but not judged: shows that each still runs to its end.
bench-smoke: build
	@export CALTRIX_BENCH_QUICK=1; $(RUN_BENCHES)

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
