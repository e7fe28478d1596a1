# Saverpak: build and test on Debian 12 (as root, so that missing packages can be installed).
#
#   make test      install what is missing, build native, asan and windows, run all three suites
#   make demo      build the tool and the Windows saver, pack the demo saver and run it (Wine)
#   make native | asan | windows     configure and build one preset
#   make deps      install the Debian packages (scripts/install-deps.sh)
#   make libjpeg   cross-build libjpeg-turbo for Windows into build/deps/windows
#   make libpng    cross-build libpng for Windows into build/deps/windows
#   make dist      the release archives in build/dist (the Windows zip, the Linux tool, SHA256SUMS)
#   make reproducible   build the release binaries twice in two fresh clones and compare them
#   make clean     remove the three preset build folders (keeps build/deps and build/wine)
#   make distclean remove build/ entirely
#
# Parallelism is two jobs: the machines this runs on have two cores.

SHELL := /bin/bash
JOBS ?= 2
WITH_WINE := scripts/with-wine.sh

.PHONY: all test demo deps libjpeg libpng native asan windows dist reproducible clean distclean

all: native

deps:
	scripts/install-deps.sh

libjpeg: deps
	scripts/build-libjpeg-windows.sh

libpng: deps
	scripts/build-libpng-windows.sh

# A second run only rebuilds what changed (cmake --preset re-runs a cached configure quickly).
native: deps
	cmake --preset native
	cmake --build --preset native -j $(JOBS)

asan: deps
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)

windows: libjpeg libpng
	cmake --preset windows
	cmake --build --preset windows -j $(JOBS)

# Every suite runs even when an earlier one fails, so one run reports all failures; make fails
# if any did. The windows tests run under Wine in a private prefix and X display.
test: native asan windows
	@status=0; \
	echo "=== ctest --preset native"; \
	ctest --preset native -j $(JOBS) || status=1; \
	echo "=== ctest --preset asan"; \
	ctest --preset asan -j $(JOBS) || status=1; \
	echo "=== ctest --preset windows (under Wine)"; \
	$(WITH_WINE) -- ctest --preset windows || status=1; \
	if [[ $$status != 0 ]]; then echo "make test: some tests FAILED (see above)"; fi; \
	exit $$status

demo: native windows
	@if [[ -x scripts/demo.sh ]]; then \
	    scripts/demo.sh; \
	elif [[ -f scripts/demo.sh ]]; then \
	    bash scripts/demo.sh; \
	else \
	    echo "The demo arrives with the full-screen run (scripts/demo.sh)."; \
	fi

dist: native windows
	python3 scripts/make-dist.py

reproducible: libjpeg libpng
	scripts/check-reproducible.sh

clean:
	rm -rf build/native build/asan build/windows

distclean:
	rm -rf build
