# Entry points: make dist, make kit, make test, make demo, make bench (each described in docs/reference.md).
JOBS ?= $(shell nproc)
DEPS := scripts/install-deps.sh
# Where dist and kit write; the release tests point it at a folder of their own.
DIST ?= dist
# The programs each cross build ships (cmake/release.cmake writes the lists).
RELEASE_LISTS := build/win32/release-files.txt build/win64/release-files.txt
# Authenticode signing of dist's programs: set SIGN_PFX and SIGN_PASSWORD_FILE.
SIGNING := $(strip $(SIGN_PFX)$(SIGN_PASSWORD_FILE))

.PHONY: all dist kit check-medium test host-test asan-test release-test fuzz fuzz-smoke e2e-test demo bench \
	format clean

all: dist

dist:
	@bash $(DEPS) cross $(if $(SIGNING),sign)
	cmake --preset win32 >/dev/null
	cmake --build build/win32 -j $(JOBS)
	cmake --preset win64 >/dev/null
	cmake --build build/win64 -j $(JOBS)
	mkdir -p $(DIST)
ifneq ($(SIGNING),)
	SIGN_PFX="$(SIGN_PFX)" SIGN_PASSWORD_FILE="$(SIGN_PASSWORD_FILE)" \
	  SIGN_TIMESTAMP_URL="$(SIGN_TIMESTAMP_URL)" bash scripts/sign.sh $(DIST) $$(cat $(RELEASE_LISTS))
else
	cp $$(cat $(RELEASE_LISTS)) $(DIST)/
endif
	@for f in $$(cat $(RELEASE_LISTS)); do ls -l $(DIST)/$$(basename $$f); done

# The medium kit: $(DIST)/stagerun-<version>.zip.
kit: dist
	python3 scripts/kit.py $(DIST) $(RELEASE_LISTS)

# Checks the medium in DIR with stagerun-check under Wine: make check-medium DIR=path/to/medium
# (CHECK_ARGS=/s checks the silent run, CHECK_ARGS=/json gives JSON).
check-medium: dist
	@bash $(DEPS) wine
	bash scripts/check-medium.sh "$(DIR)" $(CHECK_ARGS)

build/host/Makefile: CMakeLists.txt cmake/host.cmake
	cmake --preset host >/dev/null

host-test:
	@bash $(DEPS) host
	cmake --preset host >/dev/null
	cmake --build build/host -j $(JOBS)
	ctest --test-dir build/host -LE 'e2e|release' -j $(JOBS) --output-on-failure

asan-test:
	@bash $(DEPS) host
	cmake --preset host-asan >/dev/null
	cmake --build build/host-asan -j $(JOBS)
	ctest --test-dir build/host-asan -j $(JOBS) --output-on-failure

# Version resource, reproducible bytes, signing and the kit (label release).
release-test: dist
	@bash $(DEPS) host sign
	cmake --preset host >/dev/null
	ctest --test-dir build/host -L release -j 2 --output-on-failure

# libFuzzer harnesses (tests/fuzz): each target runs FUZZ_SECONDS over the seed corpus.
FUZZ_SECONDS ?= 60
fuzz:
	@bash $(DEPS) fuzz
	cmake --preset fuzz >/dev/null
	cmake --build build/fuzz -j $(JOBS)
	bash tests/fuzz/run.sh $(FUZZ_SECONDS) build/fuzz

fuzz-smoke:
	$(MAKE) fuzz FUZZ_SECONDS=10

e2e-test: dist
	@bash $(DEPS) wine
	cmake --preset host >/dev/null
	@python3 tests/e2e/winestart.py
	ctest --test-dir build/host -L e2e -j 2 --output-on-failure

test:
	@bash $(DEPS) all
	$(MAKE) dist
	$(MAKE) host-test
	$(MAKE) release-test
	$(MAKE) asan-test
	$(MAKE) fuzz-smoke
	$(MAKE) e2e-test

demo: dist
	@bash $(DEPS) wine
	bash scripts/demo.sh

# Footprint and overhead figures (not a test): prints the table, writes build/bench/results.md.
bench:
	@bash $(DEPS) cross wine
	python3 tests/bench/bench.py

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h' '*.c')

clean:
	rm -rf build dist
