# The front door. Each target first installs what is missing (as root) and
# builds both the Linux library and the Windows DLL.
#   make demo   runs the reference host's demo natively and under Wine
#   make test   runs every test of both builds
#   make bench  measures a probe call against the printf it makes

.PHONY: deps build demo test bench clean

deps:
	@tools/install-deps.sh

build: deps
	cmake --preset native
	cmake --build --preset native
	cmake --preset windows
	cmake --build --preset windows

demo: build
	@echo "== Linux: build/native/bin/libquellot.so.1"
	@build/native/bin/quellot-call
	@echo "== Windows, under Wine: build/windows/bin/quellot_x64.dll"
	@build/windows/wine-run build/windows/bin/quellot-call.exe

test: deps
	cmake --workflow --preset native
	cmake --workflow --preset windows

bench: build
	python3 bench/run_bench.py --native build/native --windows build/windows

clean:
	rm -rf build
