# The project's commands. `make test` is what CI runs; `make demo` shows the product working.
SHELL := /bin/bash
JOBS ?= 2
PRESETS := native linux32 win32 win64 bench engine

.PHONY: all deps test demo bench fuzz dist clean $(addprefix build-,$(PRESETS)) \
        unit unit32 artifact e2e engine

all: build-win32

deps:
	@scripts/deps.sh

# Configure a preset once, then build it. A static pattern rule: make looks for no implicit rule for a
# phony target, so a plain `build-%` rule would never run.
$(addprefix build-,$(PRESETS)): build-%: deps
	@[ -f build/$*/CMakeCache.txt ] || cmake --preset $* >/dev/null
	@cmake --build build/$* -j$(JOBS)

# Unit tests: native with ASan and UBSan, then the same tests built -m32 under qemu-i386: on a CPU
# model with SSSE3 and AVX2, so that every decoder tier runs, and the decoder's tests again on one
# with SSE2 only (kvm32), where only the scalar tier may run.
unit: build-native
	build/native/unit_tests --gtest_brief=1

unit32: build-linux32
	qemu-i386 -cpu max build/linux32/unit_tests --gtest_brief=1
	qemu-i386 -cpu kvm32 build/linux32/unit_tests --gtest_brief=1 --gtest_filter='Base64*:Tiers/Base64*'

# The product DLLs read as files: format, exports, calling conventions, imports, version resource.
artifact: build-win32 build-win64
	python3 tests/artifact/check_dll.py build/win32/nptovi32.dll build/win64/nptovi64.dll

# The install scripts under Wine's cmd and reg, for one user and for all users; the packages of
# `make dist`: signed with a throwaway certificate, and the MSI installed, upgraded and removed under
# Wine in an empty prefix. The example page on the library, against a stand-in plug-in and extension.
.PHONY: install-test example-test extension-test browsers
install-test: build-win32 build-win64
	python3 tests/install/test_install.py
	python3 tests/install/test_package.py

example-test: web
	node tests/examples/test_print_page.js

# The browser extension's background logic in Node, against stand-ins for the browser's APIs; its
# packages (store zip, .xpi, a .crx signed with a throwaway key, read as Chromium's own are).
extension-test: deps
	node --test tests/extension/
	python3 tests/extension/test_pack.py

# The extension in Debian's Chromium and Firefox ESR, headless, each starting the win64 tovi-bridge.exe
# under Wine as its native host, against the end-to-end spooler: consent, printing, limits, forgery, a
# host that dies. Stops all it starts.
browsers: build-win64 web
	python3 tests/browsers/run_browsers.py

# The page library (web/): its classic script made from the module's source; its logic under Node's
# own test runner (stand-in plug-in elements and extension, the encoder against Buffer up to 64 MiB,
# the npm package's contents); a TypeScript consumer checked against tovi-print.d.ts.
.PHONY: web web-test
web: deps
	node web/build.js

web-test: web
	node --test tests/web/*.test.mjs
	web/node_modules/.bin/tsc -p tests/web/tsconfig.json

# Fuzzing with libFuzzer, ASan and UBSan: a short run of each target from its committed corpus, and
# the decoder's corpus against Python's strict decoder. `make fuzz FUZZ_SECONDS=600` runs longer.
FUZZ_SECONDS ?= 600
.PHONY: fuzz-smoke memcheck
fuzz-smoke: deps
	scripts/fuzz.sh smoke
	python3 scripts/decoder_crosscheck.py build/fuzz/tests/fuzz/decode_driver tests/fuzz/corpus/decoder_fuzz

fuzz: deps
	scripts/fuzz.sh long $(FUZZ_SECONDS)

# The unit tests built without sanitizers, under valgrind's memcheck: any error fails.
memcheck: deps
	@[ -f build/valgrind/CMakeCache.txt ] || cmake --preset valgrind >/dev/null
	@cmake --build build/valgrind -j$(JOBS) --target unit_tests
	valgrind -q --error-exitcode=1 --leak-check=full build/valgrind/unit_tests --gtest_brief=1

# End to end: nphost.exe and the plug-in of the win64 build under Wine, against a private CUPS daemon
# whose raw queues feed TCP printers on 127.0.0.1, and hardware addresses in a network namespace of
# the tests' own (root needed); the 32-bit product's version resource too. Stops all it starts.
e2e: build-win64 build-win32
	python3 tests/e2e/run_e2e.py

# A browser engine written by others: the module built for the Unix NPAPI ABI (build/engine/nptovi.so,
# on the Linux platform layer over CUPS) in QtWebKit under Xvfb, pages from 127.0.0.1 printing through
# the e2e spooler. Stops all it starts.
engine: build-engine web
	python3 tests/engine/run_engine.py

# The same end-to-end suite against the product users install, build/win32's nphost.exe and
# nptovi32.dll, under 32-bit Wine in a Debian guest that QEMU emulates (this machine runs no 32-bit
# code). The first run builds the guest image into /var/cache/nptovi32 (some minutes); later runs
# reuse it. Root needed.
.PHONY: e2e32
e2e32: build-win32 build-win64
	scripts/vm32/vm.sh e2e

# The product at work: a private CUPS raw queue feeding a local TCP printer, and nphost driving the
# plug-in through info, version, printers, macs and a printed sample label; then the same label from a
# page in Chromium through the extension and tovi-bridge.exe.
demo: build-win32 build-win64
	@scripts/demo.sh

test: unit unit32 artifact install-test web-test example-test extension-test fuzz-smoke memcheck e2e engine browsers e2e32
	@echo "make test: all layers passed"

# Benchmarks, optimised build (figures only, nothing passes or fails on time): the decoder's tiers
# against OpenSSL, a table-driven decoder and memcpy; print through the host against the decoder alone;
# the list methods at growing sizes; printing under Wine, by nphost and by the running tovi-bridge.exe,
# against lp and a plain TCP write (skipped without Wine/CUPS); the page library's Base64 encoders
# against Node's Buffer.
bench: build-bench build-win64
	build/bench/decoder_bench
	build/bench/print_path_bench
	build/bench/lists_bench
	python3 bench/e2e_print.py
	node bench/web_base64.mjs

# The packages a user installs: dist/nptovi32-<version>-win32.zip (both DLLs) and the MSIs
# dist/nptovi32-<version>-x86.msi and -x64.msi, and the browser extension for the stores.
# `make dist SIGN_PFX=key.pfx SIGN_PASS_FILE=password.txt` signs the DLLs, the programs and the MSIs;
# `EXTENSION_KEY=key.pem [EXTENSION_URL=https://host/path/ternaport-print-<version>.crx]` adds the
# extension as a signed .crx with the update manifest for ExtensionInstallForcelist.
dist:
	@SIGN_PFX="$(SIGN_PFX)" SIGN_PASS_FILE="$(SIGN_PASS_FILE)" EXTENSION_KEY="$(EXTENSION_KEY)" \
	  EXTENSION_URL="$(EXTENSION_URL)" scripts/dist.sh

clean:
	rm -rf build
