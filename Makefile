# make run   - install what is missing, build the native program and its page,
#              start TVXHandvane from build/run/
# make test  - install what is missing, build, run every test natively, under
#              the sanitizers and under wine
# make build - build both targets
# make bench - TVXHandvane beside nginx under wrk and a class of phones, the
#              report latency, motion to cursor from the page in chromium,
#              phones and the page on an emulated classroom link (as root), and
#              TVXBridge's class view in chromium under 80 phones for 60 s
# make fuzz  - run every fuzz target for FUZZ_SECONDS (default 60) each
# make soak  - run the real TVXHandvane under mixed load for SOAK_SECONDS
#              (default 600) and check that it neither grows nor drops requests

SHELL := /bin/bash
CMAKE_NATIVE := cmake -S . -G Ninja
NPROC := $(shell nproc)
FUZZ_SECONDS ?= 60
SOAK_SECONDS ?= 600
FUZZ_TARGETS := $(notdir $(wildcard fuzz/corpus/*))
# The tests that start the native TVXHandvane run with a /dev/shm of their
# own, so that they neither meet nor end one that runs on the machine (`make
# run`): its shared memory area has one name per machine. Wine's programs
# keep their named objects in the wine server of their prefix, apart from
# the native ones.
PRIVATE_SHM := $(CURDIR)/tools/private_shm.sh

.PHONY: all bootstrap build native native-program win asan tsan fuzz-build run bench test \
  test-native test-asan test-tsan test-win test-web test-link test-fuzz fuzz soak format

all: build

bootstrap:
	@tools/bootstrap

native: bootstrap
	@$(CMAKE_NATIVE) -B build/native -DTVX_BIN_DIR=$(CURDIR)/build/bin >/dev/null
	@cmake --build build/native -j $(NPROC)
	@ln -sf build/native/compile_commands.json compile_commands.json

# Only what `make run` lays out: the native program, its page and Codeplate, no tests.
native-program:
	@tools/bootstrap --run
	@$(CMAKE_NATIVE) -B build/native -DTVX_BIN_DIR=$(CURDIR)/build/bin >/dev/null
	@cmake --build build/native -j $(NPROC) --target TVXHandvane phone_page Codeplate

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

# The fuzz targets need clang's libFuzzer; only they are built here.
fuzz-build: bootstrap
	@CC=clang-14 CXX=clang++-14 $(CMAKE_NATIVE) -B build/fuzz -DTVX_SANITIZE=address -DTVX_FUZZ=ON \
	  -DBUILD_TESTING=OFF >/dev/null
	@cmake --build build/fuzz -j $(NPROC) --target fuzz_targets

build: native win

# The shipped settings are copied once; changes made in build/run stay.
# Relative folders in the INI (www, the rendezvous file's ".") are taken from
# the folder the program starts in: hence the cd into build/run.
# Codeplate lies beside TVXHandvane, as in the archives, so that URL=auto
# reads the port and key of the TVXHandvane.INI there.
run: native-program
	@mkdir -p build/run/www
	@cp build/bin/TVXHandvane build/bin/TVXHandvane.TXT build/bin/TVXHandvane.LNG build/bin/Codeplate build/run/
	@[ -f build/run/TVXHandvane.INI ] || cp app/shipped/TVXHandvane.INI build/run/
	@[ -f build/run/Codeplate.INI ] || cp qrtool/shipped/Codeplate.INI build/run/
	@cd build/run && ./TVXHandvane

# Not part of test: its figures depend on the machine and what else runs.
bench: native web/node_modules/.package-lock.json
	@tools/bootstrap --bench
	@bench/run_bench.sh build/bin
	@CLASS_VIEW_SECONDS=60 CLASS_VIEW_MIN_FPS=50 TVX_BIN=build/bin $(PRIVATE_SHM) node --test tests/bridge/class_view.test.mjs

test-native: native
	@cd build/native && $(PRIVATE_SHM) ctest --output-on-failure -j $(NPROC)

test-asan: asan
	@cd build/asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  $(PRIVATE_SHM) ctest --output-on-failure -j $(NPROC)

# The X display backend runs inside the uninstrumented libX11, whose own
# locking ThreadSanitizer misreads; so does Qt, which hands large images to
# its own thread pool (the window suites). Both suites run in the other builds,
# and the window's logic runs here through the dialog and console suites.
# TVXBridge's Asio orders its queues with fences, which ThreadSanitizer cannot
# follow; its suites run in the other builds too.
test-tsan: tsan
	@cd build/tsan && TSAN_OPTIONS=halt_on_error=1 $(PRIVATE_SHM) ctest --output-on-failure -j $(NPROC) \
	  -E '^(mouse_keys_tests|qt_window_tests|pointer_overlay_tests|display_loss_tests|bridge_tests|bridge_end_to_end)$$'

# Wine sets up its prefix on first use; doing that once up front keeps the
# parallel test runs from racing for it. The dialog's test has a prefix of its
# own, which it runs with a virtual display. Each set-up waits for its wine
# server to end: a test that started meanwhile would join the server of a
# set-up without a display, and no window could open.
test-win: win
	@WINEDEBUG=-all WINEPREFIX=$(CURDIR)/build/win/wineprefix wineboot --init >/dev/null 2>&1 || true
	@WINEPREFIX=$(CURDIR)/build/win/wineprefix wineserver -w || true
	@env -u DISPLAY WINEDEBUG=-all WINEPREFIX=$(CURDIR)/build/win/wineprefix-dialog \
	  WINEDLLOVERRIDES=mscoree,mshtml= wineboot --init >/dev/null 2>&1 || true
	@WINEPREFIX=$(CURDIR)/build/win/wineprefix-dialog wineserver -w || true
	@cd build/win && ctest --output-on-failure -j $(NPROC)

# The phone page: its unit tests, then headless chromium against the real
# TVXHandvane and TVXTap, native and under wine (web/test/harness.mjs tells
# how to aim it at the stand-in server while working on the page alone).
web/node_modules/.package-lock.json: web/package-lock.json | bootstrap
	@cd web && npm ci --no-audit --no-fund --loglevel=error

test-web: native win web/node_modules/.package-lock.json
	@cd web && node --test test/protocol.test.mjs test/page-texts.test.mjs
	@TVX_BIN=build/bin $(PRIVATE_SHM) node --test tests/bridge/class_view.test.mjs
	@$(PRIVATE_SHM) web/test/run-e2e.sh build/bin
	@web/test/run-e2e.sh build/win/bin

# The page and phones.py on an emulated classroom link, 150 ms each way with
# 5 % of the packets lost: network namespaces and TUN devices, so root and
# /dev/net/tun; it fails saying so where they are missing.
test-link: native web/node_modules/.package-lock.json
	@web/test/run-link-e2e.sh build/bin

# Every fuzz target once over its seed corpus: a crash found and mended stays mended.
test-fuzz: fuzz-build
	@cd build/fuzz && ctest --output-on-failure -j $(NPROC)

test: test-native test-asan test-tsan test-win test-web test-link test-fuzz test-dist

# New inputs go to build/fuzz/corpus, crashes to build/fuzz/findings; the
# seed corpora in fuzz/corpus stay as committed. Every target runs, and the
# run fails when any of them found something.
# A smaller quarantine and no filling of fresh blocks: the targets that open
# files allocate buffers all the time, and fresh pages made them four times slower.
FUZZ_ASAN_OPTIONS := quarantine_size_mb=16:max_malloc_fill_size=0
fuzz: fuzz-build
	@failed=""; for target in $(FUZZ_TARGETS); do \
	  rm -rf build/fuzz/findings/$$target; \
	  mkdir -p build/fuzz/corpus/$$target build/fuzz/findings/$$target; \
	  echo "fuzz: $$target for $(FUZZ_SECONDS) s"; \
	  ASAN_OPTIONS=$(FUZZ_ASAN_OPTIONS) build/fuzz/bin/$$target -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    $$([ -f fuzz/$$target.dict ] && echo -dict=fuzz/$$target.dict) \
	    -artifact_prefix=build/fuzz/findings/$$target/ build/fuzz/corpus/$$target fuzz/corpus/$$target \
	    2>&1 | grep -E '^(Done|stat::number_of_executed_units|==[0-9]+==ERROR|SUMMARY|fuzz check|.*Test unit written)' \
	    || true; \
	  [ -z "$$(ls -A build/fuzz/findings/$$target | grep -v '^slow-unit')" ] || failed="$$failed $$target"; \
	done; \
	if [ -n "$$failed" ]; then echo "fuzz: findings in build/fuzz/findings for:$$failed"; exit 1; fi

soak: native
	@tools/soak/run-soak.sh build/bin $(SOAK_SECONDS)

# The archives and the Windows setup program to hand out, in build/dist/
# (tools/make_dist.sh), and their check: unpacked and run from a temporary
# folder, natively and under wine; the setup program installed, run,
# updated and uninstalled under wine. Then a newcomer's first steps from a
# fresh clone of the committed tree: make run, a report, Codeplate.
.PHONY: dist test-dist
dist: build
	@tools/make_dist.sh

test-dist: dist
	@$(PRIVATE_SHM) tests/dist/check_archives.sh build/dist
	@$(PRIVATE_SHM) tests/dist/newcomer_linux.sh


format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i
