# The two set-up commands (see README): `make test` and `make demo`.
# Each installs the Debian packages it needs first (scripts/install-deps).

JOBS     ?= $(shell nproc)
CMAKE    ?= cmake
BUILD    := build
ASAN     := build/asan
TSAN     := build/tsan
FUZZ     := build/fuzz
CTESTFLAGS := --output-on-failure -j $(JOBS)

.PHONY: all deps build test test-plain test-asan test-tsan demo bench fuzz clean

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

demo: build
	@if [ -x $(BUILD)/bin/caltrix ]; then \
	  CALTRIX_ANT=$${CALTRIX_ANT:-sim} $(BUILD)/bin/caltrix; \
	else \
	  echo "Everything is built, but the calibration window is not there yet: build/bin/caltrix does not exist."; \
	fi

bench: build
	@for b in $(BUILD)/bench/*; do [ -f "$$b" ] && [ -x "$$b" ] || continue; "$$b" || exit 1; done

fuzz: deps
	CC=clang CXX=clang++ $(CMAKE) -S . -B $(FUZZ) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCALTRIX_BUILD_FUZZ=ON -DCALTRIX_BUILD_BENCH=OFF
	$(CMAKE) --build $(FUZZ) -j $(JOBS) --target fuzz_targets
	@for f in $(FUZZ)/fuzz/*; do [ -f "$$f" ] && [ -x "$$f" ] || continue; n=$$(basename $$f); mkdir -p $(FUZZ)/corpus/$$n && \
	  "$$f" -max_total_time=$${FUZZ_SECONDS:-60} -artifact_prefix=$(CURDIR)/$(FUZZ)/ $(FUZZ)/corpus/$$n $$(cat $$f.seeds) || exit 1; done

clean:
	rm -rf $(BUILD)
