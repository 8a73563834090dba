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

# The packages, from optimized builds of their own: the Debian source package
# and its binary packages (with their -dbgsym), built by dpkg-buildpackage
# from a clean copy of the tree (scripts/build-deb), and the Windows installer
# (and its debug information).
RELEASE_BUILD ?= build/release
RELEASE_WINDOWS_BUILD ?= build/release-windows
# A second build of the Debian packages, to compare with the first.
SECOND_RELEASE_BUILD ?= build/release-second

package: setup package-linux package-windows
	@ls -l $(RELEASE_BUILD)/*.deb $(RELEASE_BUILD)/*.dsc $(RELEASE_BUILD)/*.changes \
	    $(RELEASE_WINDOWS_BUILD)/*-setup.exe $(RELEASE_WINDOWS_BUILD)/*-debug.zip

package-linux:
	JOBS=$(JOBS) scripts/build-deb $(RELEASE_BUILD)

package-windows:
	cmake --preset release-windows -B $(RELEASE_WINDOWS_BUILD) >/dev/null
	cmake --build $(RELEASE_WINDOWS_BUILD) -j $(JOBS) --target installer

# Builds the Debian packages a second time, in another folder, later and in
# another time zone, and compares them byte for byte with the first; lints
# them (source and binaries) and checks the hardening of every packaged
# program (hardening-check, and the PE headers of the Windows ones); installs,
# drives and removes the Debian packages and runs their own test
# (debian/tests) with autopkgtest (these need root); runs the Windows
# installer and uninstaller under Wine. Any finding fails.
test-package: package
	TZ=Pacific/Kiritimati JOBS=$(JOBS) scripts/build-deb $(SECOND_RELEASE_BUILD)
	tests/package/reproducible_test.sh $(RELEASE_BUILD) $(SECOND_RELEASE_BUILD)
	tests/package/deb_package_test.sh $(RELEASE_BUILD)
	tests/package/autopkgtest.sh $(RELEASE_BUILD)
	tests/package/pe_hardening_test.sh $(RELEASE_WINDOWS_BUILD)
	tests/package/windows_installer_test.sh $(RELEASE_WINDOWS_BUILD)
