# make run   - install what is missing, build, start TVXHandvane from build/run/
# make test  - install what is missing, build, run every test natively, under
#              the sanitizers and under wine
# make build - build both targets

SHELL := /bin/bash
CMAKE_NATIVE := cmake -S . -G Ninja
NPROC := $(shell nproc)

.PHONY: all bootstrap build native win asan tsan run test test-native test-asan test-tsan test-win test-web format

all: build

bootstrap:
	@tools/bootstrap

native: bootstrap
	@$(CMAKE_NATIVE) -B build/native -DTVX_BIN_DIR=$(CURDIR)/build/bin >/dev/null
	@cmake --build build/native -j $(NPROC)
	@ln -sf build/native/compile_commands.json compile_commands.json

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
run: build
	@mkdir -p build/run/www
	@cp build/bin/TVXHandvane build/bin/TVXHandvane.TXT build/run/
	@[ -f build/run/TVXHandvane.INI ] || cp app/shipped/TVXHandvane.INI build/run/
	@cd build/run && ./TVXHandvane

test-native: native
	@cd build/native && ctest --output-on-failure -j $(NPROC)

test-asan: asan
	@cd build/asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(NPROC)

# The X display backend runs inside the uninstrumented libX11, whose own
# locking ThreadSanitizer misreads; its suite runs in the other builds.
test-tsan: tsan
	@cd build/tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j $(NPROC) -E mouse_keys_tests

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

# The archives to hand out, in build/dist/ (tools/make_dist.sh), and their
# check: unpacked and run from a temporary folder, natively and under wine.
.PHONY: dist test-dist
dist: build
	@tools/make_dist.sh

test-dist: dist
	@tests/dist/check_archives.sh build/dist

test: test-native test-asan test-tsan test-win test-web test-dist

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i
