# Two commands do everything on a fresh machine:
#   make run   set-up, build, and start the tool on the simulated system
#   make test  set-up, build, all tests (normal build, sanitizer build, fuzzing, Windows under Wine)
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
BENCH_BUILD ?= build-bench
WINDOWS_BUILD ?= build-windows
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 20

.PHONY: all deps build run test test-format test-main test-asan test-fuzz test-windows bench lint clean

all: build

deps:
	@tools/install-deps

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/app/korvan-kx4-demo

test: deps test-format test-main test-soak test-asan test-fuzz test-windows test-package

# Every C++ source as clang-format 14 writes it with the repository's .clang-format.
test-format: deps
	tools/check-format

test-main: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300 -LE soak

# The Qt-free parts again, under address and undefined-behaviour sanitizers.
test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKORVAN_WITH_QT=OFF -DKORVAN_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS) --timeout 300

# Bounded fuzzing of everything that parses bytes from outside.
test-fuzz: deps
	cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVAN_WITH_QT=OFF -DKORVAN_FUZZ=ON \
	  -DCMAKE_CXX_COMPILER=clang++
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	cd $(FUZZ_BUILD) && ctest -L fuzz --output-on-failure -j 1

# The Qt-free parts, korvan-settings and the Win32 backends cross-built with mingw-w64
# and tested under Wine; the simulated system's Linux end comes from the normal build.
test-windows: deps
	tools/install-deps-windows
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) --target korvan-sim-line -j $(JOBS)
	JOBS=$(JOBS) tools/test-windows $(WINDOWS_BUILD) $(BUILD)/tests/windows/korvan-sim-line

bench: deps
	cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVAN_BENCH=ON
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	QT_QPA_PLATFORM=offscreen $(BENCH_BUILD)/bench/korvan-bench
	$(BENCH_BUILD)/tools/relay/korvan-relay-load $(BENCH_BUILD)/tools/relay/korvan-relay
	$(BENCH_BUILD)/tools/monitor/korvan-monitor-bench $(BENCH_BUILD)/tools/monitor/korvan-monitor

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(BENCH_BUILD) $(WINDOWS_BUILD)

# The Debian package (build/korvan-kx4_*.deb): programs, udev rule, menu entry,
# manual pages, relay unit. Its test inspects it, lints it and runs it from a
# throw-away root.
.PHONY: package test-package
package: build
	cd $(BUILD) && cpack -G DEB

test-package: package
	packaging/test-package.sh $(BUILD)

# clang-tidy over the project's own sources (several minutes on two cores).
lint: build
	tools/lint $(BUILD)

# The soak: the main window on the simulated system with seeded link faults, alone
# on the machine so that its timings mean something. make test runs it for 60 s;
# make soak DURATION=600 (seconds) for longer, SEED=... for another draw.
DURATION ?= 600
SEED     ?=
.PHONY: test-soak soak
test-soak: build
	KORVAN_SOAK_SECONDS=60 $(BUILD)/tests/app/korvan_soak

soak: build
	KORVAN_SOAK_SECONDS=$(DURATION) $(if $(SEED),KORVAN_SOAK_SEED=$(SEED)) \
	  $(BUILD)/tests/app/korvan_soak

# The soak under address and undefined-behaviour sanitizers, Qt parts included (the
# Qt libraries themselves are not instrumented). Its build takes about 9 minutes on
# two cores, so make test leaves it out.
ASAN_QT_BUILD ?= build-asan-qt
ASAN_DURATION ?= 60
.PHONY: soak-asan
soak-asan: deps
	cmake -S . -B $(ASAN_QT_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKORVAN_SANITIZE=ON
	cmake --build $(ASAN_QT_BUILD) --target korvan_soak -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 KORVAN_SOAK_SECONDS=$(ASAN_DURATION) \
	  $(ASAN_QT_BUILD)/tests/app/korvan_soak

# korvan-monitor's Signal K deltas through a real signalk-server from npm (pinned;
# about 270 MB, installed into $(BUILD) on the first run, so not part of make test).
.PHONY: test-signalk
test-signalk: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) --target korvan-monitor -j $(JOBS)
	tests/monitor/signalk-e2e.sh $(BUILD)
