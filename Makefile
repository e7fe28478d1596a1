# Saverpak: build and test on Debian 12 (as root, so that missing packages can be installed).
#
#   make test      install what is missing, build native, asan and windows, run all three suites
#                  (the Linux ones beside the Windows one), then print the time of each phase
#   make demo      build the tool, the Windows saver and the demo program (no tests), pack the
#                  demo saver and run it (Wine)
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
PHASE := scripts/phase.sh

.PHONY: all test demo deps libjpeg libpng native asan windows dist reproducible clean distclean

all: native

deps:
	$(PHASE) deps scripts/install-deps.sh

libjpeg: deps
	$(PHASE) libjpeg scripts/build-libjpeg-windows.sh

libpng: deps
	$(PHASE) libpng scripts/build-libpng-windows.sh

# A second run only rebuilds what changed (cmake --preset re-runs a cached configure quickly).
native: deps
	$(PHASE) "configure native" cmake --preset native
	$(PHASE) "build native" cmake --build --preset native -j $(JOBS)

asan: deps
	$(PHASE) "configure asan" cmake --preset asan
	$(PHASE) "build asan" cmake --build --preset asan -j $(JOBS)

windows: libjpeg libpng
	$(PHASE) "configure windows" cmake --preset windows
	$(PHASE) "build windows" cmake --build --preset windows -j $(JOBS)

# Every suite runs even when another fails, so one run reports all failures; make fails if any
# did. The windows tests run under Wine in a private prefix and X display; the native and asan
# builds and suites run beside them (scripts/make-test.sh says why and in which order).
test:
	@JOBS=$(JOBS) scripts/make-test.sh

# Only what the demo runs: the tool, the saver, the demo module, the slideshow module and the
# probe that draws the preview's screenshot.
demo: deps libjpeg libpng
	cmake --preset native
	cmake --build --preset native -j $(JOBS) --target saverpak
	cmake --preset windows
	cmake --build --preset windows -j $(JOBS) --target saver Snowfall Slideshow PreviewProbe
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
