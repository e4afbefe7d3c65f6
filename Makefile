# The project's commands. `make test` is what CI runs; `make demo` shows the product working.
SHELL := /bin/bash
JOBS ?= 2
PRESETS := native linux32 win32 win64

.PHONY: all deps test demo bench fuzz dist clean $(addprefix build-,$(PRESETS)) \
        unit unit32 artifact e2e

all: build-win32

deps:
	@scripts/deps.sh

# Configure a preset once, then build it.
build-%: deps
	@[ -f build/$*/CMakeCache.txt ] || cmake --preset $* >/dev/null
	@cmake --build build/$* -j$(JOBS)

# Unit tests: native with ASan and UBSan, then the same tests built -m32 under qemu-i386.
unit: build-native
	build/native/unit_tests --gtest_brief=1

unit32: build-linux32
	qemu-i386 build/linux32/unit_tests --gtest_brief=1

# The product DLL read as a file: format, exports, calling conventions, imports, version resource.
artifact: build-win32
	python3 tests/artifact/check_dll.py build/win32/nptovi32.dll

test: unit unit32 artifact
	@echo "make test: all layers passed"

clean:
	rm -rf build
