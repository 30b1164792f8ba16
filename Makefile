# The front door: `make demo` runs the tool on the shipped example, `make test` runs every test.
MAKEFLAGS += --no-print-directory
BUILD := build
CMAKE_FLAGS := -DCMAKE_BUILD_TYPE=Release

.PHONY: all build demo test clean

all: build

build:
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j2

demo: build
	@rm -rf $(BUILD)/demo && mkdir -p $(BUILD)/demo
	@cp examples/qxc_temp.txt $(BUILD)/demo/qxc_temp.txt
	@echo "== the exchange file the host wrote (qxc_temp.txt) =="
	@cat -v $(BUILD)/demo/qxc_temp.txt
	@cd $(BUILD)/demo && ../linetilt; echo "== linetilt ended with status $$? =="
	@echo "== the command stream the host reads back (QXC_TEMP.TXT; ^M is the CR of CR LF) =="
	@cat -v $(BUILD)/demo/QXC_TEMP.TXT

test: build
	@cd $(BUILD) && ctest --output-on-failure

clean:
	rm -rf $(BUILD)
