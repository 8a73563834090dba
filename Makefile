# Entry points for people and CI. Everything goes through CMake presets.
JOBS ?= 2

.PHONY: run test setup build-linux build-windows test-linux test-windows fuzz fuzz-replay sanitize \
        sanitize-asan sanitize-tsan bench format clean package package-linux package-windows \
        test-package

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

# The sanitizers slow the GTK helper down several times over, and a test that
# drives its window may miss it now and then: a failed test runs once more.
# A sanitizer report anywhere in the output still fails the run.
sanitize-asan sanitize-tsan: sanitize-%:
	cmake --preset $* >/dev/null
	cmake --build --preset $* -j $(JOBS)
	xvfb-run -a -s "-screen 0 1024x768x24" ctest --preset $* -j $(JOBS) \
	    --repeat until-pass:2 --output-log build/$*/sanitize.log
	@! grep -E "WARNING: ThreadSanitizer|ERROR: (Address|Leak)Sanitizer|runtime error:" \
	    build/$*/sanitize.log

# Optimized build; prints one table and writes it as CSV and SVG to build/bench.
bench: setup
	scripts/bench

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build

# The packages, from optimized builds of their own: the Debian package (and
# its -dbgsym) and the Windows installer (and its debug information).
RELEASE_BUILD ?= build/release
RELEASE_WINDOWS_BUILD ?= build/release-windows

package: setup package-linux package-windows
	@ls -l $(RELEASE_BUILD)/*.deb $(RELEASE_BUILD)/*.ddeb \
	    $(RELEASE_WINDOWS_BUILD)/*-setup.exe $(RELEASE_WINDOWS_BUILD)/*-debug.zip

package-linux:
	cmake --preset release -B $(RELEASE_BUILD) >/dev/null
	cmake --build $(RELEASE_BUILD) -j $(JOBS)
	rm -f $(RELEASE_BUILD)/*.deb $(RELEASE_BUILD)/*.ddeb
	cd $(RELEASE_BUILD) && cpack -G DEB >/dev/null

package-windows:
	cmake --preset release-windows -B $(RELEASE_WINDOWS_BUILD) >/dev/null
	cmake --build $(RELEASE_WINDOWS_BUILD) -j $(JOBS) --target installer

# Lints the Debian package and checks the hardening of every packaged program
# (hardening-check, and the PE headers of the Windows ones); installs and
# removes both packages (the Debian one needs root). Any finding fails.
test-package: package
	tests/package/deb_package_test.sh $(RELEASE_BUILD)
	tests/package/pe_hardening_test.sh $(RELEASE_WINDOWS_BUILD)
	tests/package/windows_installer_test.sh $(RELEASE_WINDOWS_BUILD)
