# The front door: `make demo` runs the tool on the shipped example, `make test` runs every test,
# `make check` the quick native suites.
MAKEFLAGS += --no-print-directory
BUILD := build
WINBUILD := build-win
VERSION := $(shell grep -o -m1 'linetilt VERSION [0-9.]*' CMakeLists.txt | cut -d' ' -f3)
WINDOWS_PACKAGES := g++-mingw-w64-x86-64-posix wine wine64 groff-base
BUILD_PACKAGES := libcli11-dev libfast-float-dev
CHECK_PACKAGES := libgtest-dev libmpfr-dev strace libxml2-utils python3-ezdxf librecad-data
TEST_PACKAGES := libxml2-utils locales man-db python3-pefile strace python3-ezdxf librecad librecad-data poppler-utils libmpfr-dev
DIST_PACKAGES := zip
WEB_PACKAGES := emscripten libfmt-dev
PAGE_TEST_PACKAGES := chromium librecad-data
# Debian's emscripten finds its own acorn among Debian's node packages.
EMSCRIPTEN_ENV := NODE_PATH=/usr/share/nodejs
PREFIX := /usr/local

FUZZ_SECONDS := 600

.PHONY: all build windows web web-test web-tools screenshots demo check test sanitize fuzz coverage bench soak install dist release-check clean

all: build

build:
	@scripts/need-packages $(BUILD_PACKAGES)
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j2

windows:
	@scripts/need-packages $(WINDOWS_PACKAGES) $(BUILD_PACKAGES)
	@cmake -S . -B $(WINBUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(WINBUILD) -j2

# The page: build/web/linetilt.html, one file that works offline, the stand-in and the tool
# compiled to WebAssembly inside it.
web:
	@scripts/need-packages $(BUILD_PACKAGES) $(WEB_PACKAGES)
	@$(EMSCRIPTEN_ENV) emcmake cmake -S . -B build-web -DCMAKE_BUILD_TYPE=Release -DLINETILT_TESTS=OFF >/dev/null
	@$(EMSCRIPTEN_ENV) cmake --build build-web -j2
	@mkdir -p $(BUILD)/web
	@web/build_page.py web build-web/linetilt.js build-web/linetilt-host.js $(BUILD)/web/linetilt.html
	@echo "== the page: $(BUILD)/web/linetilt.html =="

# The page's code in node against the native stand-in on every 10th of librecad-data's
# drawings and on 30,000 random lines at five angles, then the page itself in Debian's
# chromium, driven by playwright-core from npm.
web-test: build web web-tools
	@echo "== the page's code in node, librecad-data's drawings against the native stand-in =="
	@node tests/web/corpus_test.js --host $(BUILD)/linetilt-host --web build-web --corpus /usr/share/librecad --every 10 \
	    --random 30000
	@echo "== the page in headless chromium =="
	@node tests/web/page_test.js --page $(BUILD)/web/linetilt.html --host $(BUILD)/linetilt-host \
	    --examples examples --screenshot $(BUILD)/web/page.png

# The README's pictures of the page, in Japanese (docs/web*.png).
screenshots: build web web-tools
	@scripts/need-packages fonts-noto-cjk
	@node scripts/screenshots.js $(BUILD)/web/linetilt.html examples docs

# Debian's chromium, and playwright-core from npm as package-lock.json pins it, to drive it.
web-tools:
	@scripts/need-packages $(PAGE_TEST_PACKAGES)
	@cd tests/web && { [ -d node_modules/playwright-core ] || npm ci --no-audit --no-fund --loglevel=error; }

# The host's stand-in runs the tool on a drawing, as the CAD program would, at debug level 1
# so that the picture also shows the text labels the tool puts at the turned lines' ends.
demo: build
	@mkdir -p $(BUILD)/demo
	@echo "== examples/drawing.txt, indicated point (0, 0) =="
	@$(BUILD)/linetilt-host examples/drawing.txt --at 0,0 -o $(BUILD)/demo/drawing-new.txt \
	    --svg $(BUILD)/demo/preview.svg -- /t1
	@echo "== the new drawing ($(BUILD)/demo/drawing-new.txt) =="
	@tr -d '\r' < $(BUILD)/demo/drawing-new.txt
	@echo "== the picture: $(BUILD)/demo/preview.svg =="
	@echo "== examples/drawing.dxf (made by examples/make_drawing.py), layers walls and doors =="
	@$(BUILD)/linetilt-host examples/drawing.dxf --at 0,0 --layer walls --layer doors \
	    -o $(BUILD)/demo/drawing-new.dxf --svg $(BUILD)/demo/drawing-dxf.svg
	@echo "== the new drawing: $(BUILD)/demo/drawing-new.dxf; its picture: $(BUILD)/demo/drawing-dxf.svg =="

# The native unit, black-box and host suites and the guide's check, in a minute or two: no
# Wine, packaging, sanitizers or fuzzing, and the DXF corpus on a tenth of make test's sample.
check:
	@scripts/need-packages $(BUILD_PACKAGES) $(CHECK_PACKAGES)
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j2
	@cd $(BUILD) && ctest --output-on-failure -E 'windows|^host-dxf$$|^host-librecad$$'
	@echo "== DXF drawings through the stand-in, every 30th of /usr/share/librecad =="
	@tests/host/dxf_test.py --tool $(BUILD)/linetilt-host --corpus /usr/share/librecad --every 30

# Unit tests natively; the black-box suite against both builds, the Windows one under Wine;
# then every native test again under the sanitizers, and the fuzzer for half a minute.
test: windows
	@scripts/need-packages $(TEST_PACKAGES)
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DLINETILT_WINDOWS_EXE=$(abspath $(WINBUILD))/linetilt.exe >/dev/null
	@cmake --build $(BUILD) -j2
	@cd $(BUILD) && ctest --output-on-failure
	@$(MAKE) web-test
	@$(MAKE) release-check
	@$(MAKE) sanitize
	@$(MAKE) fuzz FUZZ_SECONDS=30

sanitize:
	@scripts/need-packages $(BUILD_PACKAGES) libmpfr-dev
	@cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLINETILT_SANITIZE=ON >/dev/null
	@cmake --build build-asan -j2
	@cd build-asan && ctest --output-on-failure

# `make fuzz FUZZ_SECONDS=N` runs the libFuzzer target for N seconds from tests/corpus.
fuzz:
	@scripts/need-packages $(BUILD_PACKAGES)
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLINETILT_FUZZ=ON -DLINETILT_TESTS=OFF >/dev/null
	@cmake --build build-fuzz -j2 --target fuzz_run
	@mkdir -p build-fuzz/corpus
	@echo "Fuzzing for $(FUZZ_SECONDS) s"
	@build-fuzz/fuzz_run -close_fd_mask=3 -max_len=4096 -max_total_time=$(FUZZ_SECONDS) \
	    -artifact_prefix=build-fuzz/ build-fuzz/corpus tests/corpus 2>build-fuzz/fuzz.log; \
	    status=$$?; grep -E "^Done|ERROR|SUMMARY" build-fuzz/fuzz.log; exit $$status

# Whole runs against cp of the same file, then the hot paths in the process.
bench:
	@scripts/need-packages $(BUILD_PACKAGES) libbenchmark-dev
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DLINETILT_BENCH=ON >/dev/null
	@cmake --build $(BUILD) -j2
	@echo "== whole runs, $$(nproc) cores, $$(uname -m) =="
	@$(BUILD)/bench/run_bench $(BUILD)/linetilt
	@echo "== hot paths =="
	@$(BUILD)/bench/micro_bench --benchmark_min_time=0.5
	@echo "== the host's stand-in on DXF drawings =="
	@scripts/need-packages time
	@bench/host_bench.py $(BUILD)/linetilt-host $(BUILD)/linetilt
	@echo "== the page in headless chromium against the native stand-in =="
	@$(MAKE) web web-tools >/dev/null
	@node bench/web_bench.js $(BUILD)/web/linetilt.html $(BUILD)/linetilt-host 3

# The fast number paths against the C library and std::to_chars, and the trigonometry against
# MPFR: `make soak SOAK=N` draws N random cases for each (make test draws 200000 and 10^6).
SOAK := 100000000
soak:
	@scripts/need-packages $(BUILD_PACKAGES) libgtest-dev libmpfr-dev
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j2 --target unit_tests
	@echo "== $(SOAK) random cases for each differential test =="
	@LINETILT_SOAK=$(SOAK) $(BUILD)/tests/unit_tests --gtest_filter='Numbers.*As*:Trig.*Mpfr'

coverage:
	@scripts/need-packages $(BUILD_PACKAGES) gcovr libmpfr-dev
	@cmake -S . -B build-cov -DCMAKE_BUILD_TYPE=Debug -DLINETILT_COVERAGE=ON >/dev/null
	@cmake --build build-cov -j2
	@find build-cov -name '*.gcda' -delete
	@# Runs under a file size limit cannot write their counters (and fail here on the
	@# message that says so); the tests themselves are judged by `make test`.
	@cd build-cov && ctest >/dev/null || true
	@gcovr -r . --filter src/ --exclude-unreachable-branches --exclude-throw-branches --gcov-ignore-parse-errors build-cov
	@gcovr -r . --filter src/ --branches --exclude-unreachable-branches --exclude-throw-branches --gcov-ignore-parse-errors --print-summary build-cov | tail -2

# `make install PREFIX=DIR`: the programs into DIR/bin, the manual pages into DIR/share/man/man1.
install: build
	@cmake --install $(BUILD) --prefix $(PREFIX)

# The packages, made by CPack from the install rules, and their checksums.
dist: windows
	@scripts/need-packages $(DIST_PACKAGES)
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j2 --target linetilt linetilt-host
	@rm -rf dist && mkdir dist
	@for tree in $(WINBUILD) $(BUILD); do \
	    (cd $$tree && cpack >/dev/null) && cp $$tree/package/linetilt-$(VERSION)-* dist/ || exit 1; done
	@cd dist && sha256sum linetilt-$(VERSION)-* > SHA256SUMS && cat SHA256SUMS

# The install tree, the version in every program, the packages, and the same packages from a
# second copy of the sources at another path.
release-check: dist
	@tests/release.sh $(BUILD) $(WINBUILD) $(abspath $(BUILD))/second-tree

clean:
	rm -rf $(BUILD) $(WINBUILD) build-asan build-fuzz build-cov build-web dist
