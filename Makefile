# The two commands a fresh Debian 12 machine needs: `make demo` and `make test`.
# Everything else here is a step they are made of, or a tool for developers.

JOBS ?= $(shell nproc)
CTEST_JOBS ?= $(JOBS)
FUZZ_SECONDS ?= 30

.PHONY: all deps build test test-asan test-tsan fuzz-smoke bench soak demo format clean \
	deps-windows build-windows test-windows demo-windows bench-windows

all: build

deps:
	@bash scripts/install-deps

build/default/CMakeCache.txt: | deps
	cmake --preset default

build: deps build/default/CMakeCache.txt
	cmake --build build/default -j $(JOBS)

# The windows.* end-to-end cases of the default build run the Windows tree: test-windows.
test: build
	ctest --test-dir build/default --output-on-failure -j $(CTEST_JOBS) --timeout 300 -LE windows

build/asan/CMakeCache.txt: | deps
	cmake --preset asan

test-asan: deps build/asan/CMakeCache.txt
	cmake --build build/asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir build/asan --output-on-failure -j $(CTEST_JOBS) --timeout 600

build/tsan/CMakeCache.txt: | deps
	cmake --preset tsan

# Every test under ThreadSanitizer. Each process the tests start writes its reports into
# build/tsan/reports (the monitor and Korvex.exe too, whose end through _exit a test may not
# look at), and any report there fails the run. die_after_fork=0: helpers fork a threaded test
# to run a case in a child. report_signal_unsafe=0: the crash hook runs the crash handling
# (dump path, log, records, reports) in the fatal-signal handler by design, and the process
# ends right after; that is no race. Suppressions: only races inside third-party libraries.
TSAN_REPORTS = $(CURDIR)/build/tsan/reports
TSAN_OPTIONS_CI = log_path=$(TSAN_REPORTS)/report die_after_fork=0 report_signal_unsafe=0 \
  second_deadlock_stack=1 suppressions=$(CURDIR)/tests/tsan.supp

test-tsan: deps build/tsan/CMakeCache.txt
	cmake --build build/tsan -j $(JOBS)
	rm -rf $(TSAN_REPORTS) && mkdir -p $(TSAN_REPORTS)
	TSAN_OPTIONS="$(TSAN_OPTIONS_CI)" ctest --test-dir build/tsan --output-on-failure \
	  -j $(CTEST_JOBS) --timeout 900; status=$$?; \
	  for report in $(TSAN_REPORTS)/report.*; do \
	    [ -e "$$report" ] || continue; echo "---- $$report"; cat "$$report"; status=1; \
	  done; exit $$status

build/fuzz/CMakeCache.txt: | deps
	cmake --preset fuzz

fuzz-smoke: deps build/fuzz/CMakeCache.txt
	cmake --build build/fuzz -j $(JOBS)
	FUZZ_SECONDS=$(FUZZ_SECONDS) bash scripts/fuzz-smoke build/fuzz

bench: build
	bash scripts/bench build/default

# A day of scaled time with traffic, agent restarts and bursts; prints figures, asserts nothing.
# Not part of CI. `bash bench/soak.sh build/asan` runs it on the sanitizer build.
soak: build
	bash bench/soak.sh build/default

demo: build
	bash scripts/demo build/default

# Linux and Windows (under Wine) figures of one run side by side; asserts nothing, not in CI.
bench-windows: build build-windows
	bash bench/windows/bench-windows.sh build/default build/windows

# The same demo with the Windows programs under Wine.
demo-windows: build-windows
	bash scripts/demo --windows build/windows

# The 32-bit Windows build: cross-compiled with mingw-w64, its tests run under Wine in the
# build's own Wine prefix (scripts/wine-run). `make test` and `make demo` need none of this.
deps-windows:
	@bash scripts/install-deps --windows

build/windows/CMakeCache.txt: | deps-windows
	cmake --preset windows

build-windows: deps-windows build/windows/CMakeCache.txt
	cmake --build build/windows -j $(JOBS)

# The unit suites under Wine, then the cases of the default build against the Windows tree: the
# export check reading its PE files, and the end-to-end cases, whose Linux driver starts the
# Windows programs in a Wine prefix of their own.
test-windows: build-windows
	@bash scripts/wine-run --server
	KORVEX_WINE_RETRY_CRASH=1 ctest --test-dir build/windows --output-on-failure -j $(CTEST_JOBS) \
	  --timeout 600; \
	  status=$$?; WINEPREFIX=$(CURDIR)/build/windows/wineprefix wineserver -k 2>/dev/null; \
	  [ $$status -eq 0 ] || exit $$status
	@bash scripts/install-deps
	cmake --preset default >/dev/null
	cmake --build build/default -j $(JOBS) --target e2e_monitor unit_Exports
	@WINEPREFIX=$(CURDIR)/build/windows/wineprefix-e2e bash scripts/wine-run --server
	ctest --test-dir build/default --output-on-failure -j $(CTEST_JOBS) --timeout 600 -L windows; \
	  status=$$?; WINEPREFIX=$(CURDIR)/build/windows/wineprefix-e2e wineserver -k 2>/dev/null; \
	  exit $$status

format:
	find src platform standin tests bench -name '*.h' -o -name '*.cpp' | xargs clang-format -i

clean:
	rm -rf build
