# make run   - install what is missing, build the native program and its page,
#              start TVXHandvane from build/run/
# make test  - install what is missing, build, run every test natively, under
#              the sanitizers and under wine
# make build - build both targets
# make bench - TVXHandvane beside nginx under wrk, and the report latency

SHELL := /bin/bash
CMAKE_NATIVE := cmake -S . -G Ninja
NPROC := $(shell nproc)

.PHONY: all bootstrap build native native-program win asan tsan run bench test test-native test-asan test-tsan test-win test-web format

all: build

bootstrap:
	@tools/bootstrap

native: bootstrap
	@$(CMAKE_NATIVE) -B build/native -DTVX_BIN_DIR=$(CURDIR)/build/bin >/dev/null
	@cmake --build build/native -j $(NPROC)
	@ln -sf build/native/compile_commands.json compile_commands.json

# Only what `make run` starts: the native program and its page, no tests.
native-program: bootstrap
	@$(CMAKE_NATIVE) -B build/native -DTVX_BIN_DIR=$(CURDIR)/build/bin >/dev/null
	@cmake --build build/native -j $(NPROC) --target TVXHandvane phone_page

win: bootstrap
	@$(CMAKE_NATIVE) -B build/win -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build/win -j $(NPROC)

asan: bootstrap
	@$(CMAKE_NATIVE) -B build/asan -DTVX_SANITIZE=address -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@cmake --build build/asan -j $(NPROC)

tsan: bootstrap
	@$(CMAKE_NATIVE) -B build/tsan -DTVX_SANITIZE=thread -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@cmake --build build/tsan -j $(NPROC)

build: native win

# The shipped settings are copied once; changes made in build/run stay.
run: native-program
	@mkdir -p build/run/www
	@cp build/bin/TVXHandvane build/bin/TVXHandvane.TXT build/run/
	@[ -f build/run/TVXHandvane.INI ] || cp app/shipped/TVXHandvane.INI build/run/
	@cd build/run && ./TVXHandvane

# Not part of test: its figures depend on the machine and what else runs.
bench: native
	@tools/bootstrap --bench
	@bench/run_bench.sh build/bin

test-native: native
	@cd build/native && ctest --output-on-failure -j $(NPROC)

test-asan: asan
	@cd build/asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(NPROC)

# The X display backend runs inside the uninstrumented libX11, whose own
# locking ThreadSanitizer misreads; so does Qt, which hands large images to
# its own thread pool (the window suite). Both suites run in the other builds,
# and the window's logic runs here through the dialog and console suites.
test-tsan: tsan
	@cd build/tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j $(NPROC) \
	  -E '^(mouse_keys_tests|qt_window_tests)$$'

# Wine sets up its prefix on first use; doing that once up front keeps the
# parallel test runs from racing for it. The dialog's test has a prefix of its
# own, which it runs with a virtual display.
test-win: win
	@WINEDEBUG=-all WINEPREFIX=$(CURDIR)/build/win/wineprefix wineboot --init >/dev/null 2>&1 || true
	@env -u DISPLAY WINEDEBUG=-all WINEPREFIX=$(CURDIR)/build/win/wineprefix-dialog \
	  WINEDLLOVERRIDES=mscoree,mshtml= wineboot --init >/dev/null 2>&1 || true
	@cd build/win && ctest --output-on-failure -j $(NPROC)

# The phone page: its unit tests, then headless chromium against the real
# TVXHandvane and TVXTap, native and under wine (web/test/harness.mjs tells
# how to aim it at the stand-in server while working on the page alone).
web/node_modules/.package-lock.json: web/package-lock.json | bootstrap
	@cd web && npm ci --no-audit --no-fund --loglevel=error

test-web: native win web/node_modules/.package-lock.json
	@cd web && node --test test/protocol.test.mjs
	@web/test/run-e2e.sh build/bin
	@web/test/run-e2e.sh build/win/bin

test: test-native test-asan test-tsan test-win test-web

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i
