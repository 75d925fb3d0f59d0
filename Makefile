# The front door. Each target first installs what it is missing (as root):
# make test-PRESET only what that target needs.
#   make demo          builds the Linux library and the Windows DLL and runs the
#                      reference host's demo natively and under Wine
#   make test          builds and tests every target, one after the other
#   make test-PRESET   builds and tests one target (e.g. make test-linux-s390x)
#   make package       builds every target and makes its archives in build/packages
#   make suite-time    times every target's tests, after a build
#   make bench         measures a probe call against the printf it makes
#   make test-fresh    runs make test on a fresh Debian root, as a new machine would
#   make survey        installs the FFIs of conformance/clients, runs each
#                      client against the native build, then the ctypes
#                      client on each Linux target with its own CPython

PRESETS = native windows windows-x86 linux-i386 linux-aarch64 linux-armhf linux-riscv64 linux-s390x \
          linux-armel linux-mipsel linux-mips64el linux-ppc64el \
          linux-ppc64 linux-mips linux-powerpc linux-sparc64 linux-m68k linux-hppa linux-alpha

.PHONY: deps build demo test $(addprefix test-,$(PRESETS)) test-fresh package suite-time bench survey clean

deps:
	@tools/install-deps.sh $(PRESETS)

build:
	@tools/install-deps.sh native windows
	cmake --preset native
	cmake --build --preset native
	cmake --preset windows
	cmake --build --preset windows

demo: build
	@echo "== Linux: build/native/bin/libquellot.so.1"
	@build/native/bin/quellot-call
	@echo "== Windows, under Wine: build/windows/bin/quellot_x64.dll"
	@build/windows/wine-run build/windows/bin/quellot-call.exe

# One target at a time: each build and each test run uses both cores.
test: deps
	@set -e; for preset in $(PRESETS); do cmake --workflow --preset $$preset; done

$(addprefix test-,$(PRESETS)): test-%:
	@tools/install-deps.sh $*
	cmake --workflow --preset $*

# deps brings what makes the root (debootstrap, bubblewrap); the root's own
# make test installs everything else in it.
test-fresh: deps
	@tools/test-fresh.sh

package: deps
	@set -e; for preset in $(PRESETS); do \
	    cmake --preset $$preset && cmake --build --preset $$preset && \
	    cpack --config build/$$preset/CPackConfig.cmake -B build/packages; \
	done
	@ls -l build/packages/quellot*

suite-time:
	@python3 tools/suite_time.py $(PRESETS)

bench: build
	python3 bench/run_bench.py --native build/native --windows build/windows

# Not part of make test: third parties' versions change.
survey: deps
	cmake --preset native
	cmake --build --preset native
	python3 tools/survey.py build/native
	python3 tools/survey_abi.py

clean:
	rm -rf build
