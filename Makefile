# The two commands a newcomer needs: `make run` and `make test`.
# Everything else here is a step of those two.
.PHONY: all setup run test build-host build-windows build-tsan build-fuzz build-release \
        test-host test-tsan test-windows test-windows-twice test-fuzz test-e2e bench dist format-check clean

JOBS ?= $(shell nproc)
# The test peers (nginx, privoxy) live in sbin, which not every environment
# puts on the PATH.
export PATH := $(PATH):/usr/sbin:/sbin
FUZZ_SECONDS ?= 20

all: build-windows

setup:
	@scripts/setup

# Only the program and its hand on the tray (the stand-ins are Debian's
# tinyproxy and Python scripts): no test program is built for a run.
run: setup
	cmake --preset windows >/dev/null
	cmake --build build/windows -j $(JOBS) --target cloakwall cw_tray_menu
	@scripts/run-app

# The suites run where only loopback exists (scripts/loopback-only): the
# packages are installed first, since that needs the network.
test: setup
	scripts/loopback-only $(MAKE) format-check test-host test-tsan test-windows test-fuzz test-e2e
	@echo "make test: all suites passed"

build-host:
	cmake --preset host >/dev/null
	cmake --build build/host -j $(JOBS)

build-tsan:
	cmake --preset host-tsan >/dev/null
	cmake --build build/host-tsan -j $(JOBS)

# The optimised build serves the end-to-end tests and the benchmarks, which
# need only the proxy harness (the preset builds nothing else).
build-release:
	cmake --preset host-release >/dev/null
	cmake --build build/host-release -j $(JOBS) --target proxy-harness

build-windows:
	cmake --preset windows >/dev/null
	cmake --build build/windows -j $(JOBS)

build-fuzz:
	cmake --preset fuzz -DCW_FUZZ_SECONDS=$(FUZZ_SECONDS) >/dev/null
	cmake --build build/fuzz -j $(JOBS)

# Each suite runs through its test preset (CMakePresets.json): output on
# failure, its labels, and JOBS tests side by side.
test-host: build-host
	ctest --preset host -j $(JOBS)

# Only the tests that run threads (label threads) are worth ThreadSanitizer's time.
test-tsan: build-tsan
	ctest --preset host-tsan -j $(JOBS)

# Tests that share a registry key or port 8080 hold a resource lock; the
# others run side by side in the one Wine session.
test-windows: build-windows
	scripts/wine-session build/windows ctest --preset windows -j $(JOBS)

# The Windows suite twice in a row on the same prefix: nothing one run leaves
# behind (settings, files in the program's folder, kept options) may change
# what the next one sees.
test-windows-twice: setup
	scripts/loopback-only $(MAKE) test-windows
	scripts/loopback-only $(MAKE) test-windows

test-fuzz: build-fuzz
	ctest --preset fuzz -j $(JOBS)

# The load run wants the machine to itself: one script at a time.
test-e2e: build-release
	ctest --preset e2e

# The Windows installer, build/windows/cloakwall-1.5-setup.exe (makensis from
# Debian's nsis, which setup installs).
dist: setup build-windows
	@cmake --build build/windows --target help | grep -q '^dist:' || \
	  { echo "make dist: no installer target (the program cloakwall.exe is not part of this tree yet)"; exit 1; }
	cmake --build build/windows -j $(JOBS) --target dist
	@ls -l build/windows/cloakwall-*-setup.exe

# The Windows build gives the rows of the proxy as the program runs it, under Wine.
bench: build-release build-windows
	scripts/wine-session build/windows tools/bench/run build/host-release build/windows

# Lists every place where the sources differ from .clang-format's layout, and
# fails when there is one.
format-check: setup
	@clang-format --dry-run --Werror $$(git ls-files '*.cpp' '*.h')
	@echo "format-check: the sources match .clang-format"

clean:
	rm -rf build
