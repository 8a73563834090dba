# Entry points for people and CI. Everything goes through CMake presets.
JOBS ?= 2

.PHONY: run test setup build-linux build-windows test-linux test-windows fuzz fuzz-replay sanitize \
        sanitize-asan sanitize-tsan bench format clean

run: setup build-linux
	./build/linux/bin/mossvane

test: setup build-linux build-windows
	$(MAKE) test-linux
	$(MAKE) test-windows
	$(MAKE) fuzz-replay

setup:
	scripts/setup

build-linux:
	cmake --preset linux >/dev/null
	cmake --build --preset linux -j $(JOBS)

build-windows:
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j $(JOBS)

# The dialog tests need a display: a virtual one keeps them off the desktop.
test-linux:
	xvfb-run -a -s "-screen 0 1024x768x24" ctest --preset linux -j $(JOBS)

test-windows:
	scripts/test-windows -j $(JOBS)

fuzz-replay:
	scripts/fuzz replay

fuzz:
	scripts/fuzz run

# The whole Linux suite once under AddressSanitizer with UndefinedBehavior-
# Sanitizer and once under ThreadSanitizer (Debug builds).
sanitize: setup
	$(MAKE) sanitize-asan
	$(MAKE) sanitize-tsan

sanitize-asan sanitize-tsan: sanitize-%:
	cmake --preset $* >/dev/null
	cmake --build --preset $* -j $(JOBS)
	xvfb-run -a -s "-screen 0 1024x768x24" ctest --preset $* -j $(JOBS)

# Optimized build; prints one table and writes it as CSV and SVG to build/bench.
bench: setup
	scripts/bench

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
