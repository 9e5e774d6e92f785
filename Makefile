# The two commands a fresh Debian 12 machine needs: `make demo` and `make test`.
# Everything else here is a step they are made of, or a tool for developers.

JOBS ?= $(shell nproc)
CTEST_JOBS ?= $(JOBS)
FUZZ_SECONDS ?= 30

.PHONY: all deps build test test-asan test-tsan fuzz-smoke bench soak demo format clean \
	deps-windows build-windows build-windows64 test-windows demo-windows bench-windows \
	package-windows

all: build

deps:
	@bash scripts/install-deps

build/default/CMakeCache.txt: | deps
	cmake --preset default

build: deps build/default/CMakeCache.txt
	cmake --build build/default -j $(JOBS)

# Every Linux case; the windows* cases of the default build read or run the Windows trees
# (test-windows). `ctest --preset default -L monitor` runs one group (monitor, standin, e2e, or
# a library's name).
test: build
	ctest --preset default -j $(CTEST_JOBS)

build/asan/CMakeCache.txt: | deps
	cmake --preset asan

test-asan: deps build/asan/CMakeCache.txt
	cmake --build build/asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --preset asan -j $(CTEST_JOBS)

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
	TSAN_OPTIONS="$(TSAN_OPTIONS_CI)" ctest --preset tsan -j $(CTEST_JOBS); status=$$?; \
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

# The Windows builds, cross-compiled with mingw-w64: the PE32 tree (build/windows), what ships,
# and the PE32+ tree (build/windows64) for hosts that cannot execute 32-bit code. scripts/windows
# builds the PE32 tree and checks it statically, then runs on the PE32 tree where 32-bit Wine runs
# here and on the PE32+ tree otherwise (KORVEX_WINDOWS_ARCH=x86|x64 forces one), and says which.
# `make test` and `make demo` need none of this.
WINDOWS = JOBS=$(JOBS) CTEST_JOBS=$(CTEST_JOBS) bash scripts/windows

deps-windows:
	@bash scripts/install-deps --windows

build-windows: deps-windows
	cmake --preset windows
	cmake --build build/windows -j $(JOBS)

build-windows64: deps-windows
	cmake --preset windows64
	cmake --build build/windows64 -j $(JOBS)

# Every unit suite under Wine, then the end-to-end cases of the default build against that tree.
test-windows:
	@$(WINDOWS) test

# The demo with the Windows programs under Wine.
demo-windows:
	@$(WINDOWS) demo

# The release package of the PE32 tree and its checksum, in build/windows/package/.
# KORVEX_PACKAGE_STANDINS=ON packages a test installation (the stand-in DLLs, Korvex.exe).
KORVEX_PACKAGE_STANDINS ?= OFF
package-windows: deps-windows
	cmake --preset windows -DKORVEX_PACKAGE_STANDINS=$(KORVEX_PACKAGE_STANDINS) >/dev/null
	cmake --build build/windows -j $(JOBS) --target installation
	rm -rf build/windows/package
	cd build/windows && cpack -C RelWithDebInfo
	cd build/windows/package && sha256sum *.zip >SHA256SUMS && cat SHA256SUMS

# Linux and Windows (under Wine) figures of one run side by side; asserts nothing, not in CI.
bench-windows: build
	@$(WINDOWS) bench

format:
	find src platform standin tests bench -name '*.h' -o -name '*.cpp' | xargs clang-format -i

clean:
	rm -rf build
