# SPDX-License-Identifier: GPL-3.0-or-later
# The two commands of the README: `make demo` and `make check`. Everything else is a convenience.
JOBS ?= $(shell nproc)
PRESET ?= dev
BUILD := build/$(PRESET)

.PHONY: all deps configure build check demo asan asan-check release deb bench fuzz format clean

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

# Lays every C++ source out as .clang-format says (CI checks it with scripts/check-format).
format: deps
	./scripts/check-format --fix

# The demo builds only what its run uses: the command line, the converter and EMF programs it
# starts, and the sample database (no tests, no wizard).
DEMO_TARGETS := pictrova-cli pictrova-convert pictrova-emf sample_database

demo: deps $(BUILD)/CMakeCache.txt
	cmake --build --preset $(PRESET) -j $(JOBS) --target $(DEMO_TARGETS)
	@rm -rf demo-output && mkdir -p demo-output
	@echo; echo "pictrova-cli extract $(BUILD)/bin/Samples/sample.mdb --table Pictures --field Picture --out demo-output --format png"
	@$(BUILD)/bin/pictrova-cli extract $(BUILD)/bin/Samples/sample.mdb \
	    --table Pictures --field Picture --out demo-output --format png; \
	  status=$$?; \
	  echo "demo-output/ now holds $$(ls demo-output | wc -l) files: $$(ls demo-output | head -4 | tr '\n' ' ')..."; \
	  echo; echo "Next things to try:"; \
	  echo "  $(BUILD)/bin/pictrova-cli extract $(BUILD)/bin/Samples/sample.mdb --table Pictures --field Picture --out demo-output --json"; \
	  echo "      each record with its file, or why it gave no picture"; \
	  echo "  $(BUILD)/bin/pictrova-cli fields $(BUILD)/bin/Samples/sample.accdb 'Attached Photos'"; \
	  echo "      the Access 2007 twin, whose pictures sit in an Attachment field"; \
	  echo "  cmake --build --preset $(PRESET) --target pictrova && $(BUILD)/bin/pictrova $(BUILD)/bin/Samples/sample.mdb"; \
	  echo "      the wizard on the same database"; \
	  exit $$status

asan:
	$(MAKE) build PRESET=asan

asan-check:
	$(MAKE) check PRESET=asan

release:
	$(MAKE) build PRESET=release

# The Debian package: build/deb/package/pictrova_<version>-1_<arch>.deb, from a release build of
# only what it holds (the deb preset builds no tests and no benchmarks).
deb:
	$(MAKE) build PRESET=deb
	cd build/deb && cpack -G DEB

bench:
	$(MAKE) build PRESET=release
	@if [ -x bench/run ]; then bench/run build/release; else echo "bench: nothing to run yet"; fi

# Each fuzz target for FUZZ_SECONDS (default 60) seconds.
fuzz: deps
	fuzz/run

clean:
	rm -rf build demo-output
