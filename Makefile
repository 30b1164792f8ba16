# The front door: `make demo` runs the tool on the shipped example, `make test` runs every test.
MAKEFLAGS += --no-print-directory
BUILD := build
WINBUILD := build-win
VERSION := $(shell grep -o -m1 'linetilt VERSION [0-9.]*' CMakeLists.txt | cut -d' ' -f3)
WINDOWS_PACKAGES := g++-mingw-w64-x86-64-posix wine wine64

.PHONY: all build windows demo test dist clean

all: build

build:
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j2

windows:
	@scripts/need-packages $(WINDOWS_PACKAGES)
	@cmake -S . -B $(WINBUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(WINBUILD) -j2

demo: build
	@rm -rf $(BUILD)/demo && mkdir -p $(BUILD)/demo
	@cp examples/qxc_temp.txt $(BUILD)/demo/qxc_temp.txt
	@echo "== the exchange file the host wrote (qxc_temp.txt) =="
	@cat -v $(BUILD)/demo/qxc_temp.txt
	@cd $(BUILD)/demo && ../linetilt; echo "== linetilt ended with status $$? =="
	@echo "== the command stream the host reads back (QXC_TEMP.TXT; ^M is the CR of CR LF) =="
	@cat -v $(BUILD)/demo/QXC_TEMP.TXT

# Unit tests natively; the black-box suite against both builds, the Windows one under Wine.
test: windows
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DLINETILT_WINDOWS_EXE=$(abspath $(WINBUILD))/linetilt.exe >/dev/null
	@cmake --build $(BUILD) -j2
	@cd $(BUILD) && ctest --output-on-failure

dist: windows
	@rm -rf dist/stage && mkdir -p dist/stage/linetilt-$(VERSION)
	@cp $(WINBUILD)/linetilt.exe README.md docs/linetilt.1 dist/stage/linetilt-$(VERSION)/
	@rm -f dist/linetilt-$(VERSION)-win64.zip
	@cd dist/stage && cmake -E tar cf ../linetilt-$(VERSION)-win64.zip --format=zip linetilt-$(VERSION)
	@rm -rf dist/stage
	@echo "dist/linetilt-$(VERSION)-win64.zip"

clean:
	rm -rf $(BUILD) $(WINBUILD) dist
