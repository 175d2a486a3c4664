# SPDX-License-Identifier: GPL-3.0-or-later
# The two commands of the README: `make demo` and `make check`. Everything else is a convenience.
JOBS ?= $(shell nproc)
PRESET ?= dev
BUILD := build/$(PRESET)

.PHONY: all deps configure build check demo asan asan-check release deb bench fuzz clean

all: build

deps:
	./scripts/install-deps

$(BUILD)/CMakeCache.txt: | deps
	cmake --preset $(PRESET)

configure: deps
	cmake --preset $(PRESET)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build --preset $(PRESET) -j $(JOBS)

check: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 900

demo: build
	@if [ -x $(BUILD)/bin/pictrova-cli ] && [ -f $(BUILD)/bin/Samples/sample.mdb ]; then \
	  rm -rf demo-output && mkdir -p demo-output && \
	  $(BUILD)/bin/pictrova-cli extract $(BUILD)/bin/Samples/sample.mdb \
	    --table Pictures --field Picture --out demo-output --format png; \
	  status=$$?; echo "demo-output/:"; ls -l demo-output; exit $$status; \
	else \
	  echo "demo: the command line or the sample database is not built yet"; \
	fi

asan:
	$(MAKE) build PRESET=asan

asan-check:
	$(MAKE) check PRESET=asan

release:
	$(MAKE) build PRESET=release

# The Debian package of a release build: build/release/package/pictrova_<version>_<arch>.deb
deb:
	$(MAKE) build PRESET=release
	cd build/release && cpack -G DEB

bench:
	$(MAKE) build PRESET=release
	@if [ -x bench/run ]; then bench/run build/release; else echo "bench: nothing to run yet"; fi

# Each fuzz target for FUZZ_SECONDS (default 60) seconds.
fuzz: deps
	fuzz/run

clean:
	rm -rf build demo-output
