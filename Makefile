# Newcomer's commands: `make demo` runs the update workflow on the built-in
# stand-in router; `make check` builds every preset and runs every test.
# Both install their own prerequisites first.

SHELL := /bin/bash
PRESETS_WITH_TESTS := native asan tsan windows arm fuzz
FUZZ_SECONDS ?= 20

.PHONY: deps check demo build-% test-% fuzz clean

deps:
	bash scripts/install-deps.sh

build-%:
	cmake --preset $* -DFUZZ_SECONDS=$(FUZZ_SECONDS) >/dev/null
	cmake --build --preset $*

test-%: build-%
	ctest --preset $*

# The arm preset's agent trusts the native build's key, and its tests run
# the native fotapack and devsim.
build-arm: build-native

check: deps
	$(MAKE) $(addprefix test-,$(PRESETS_WITH_TESTS))
	@echo "make check: every preset built and passed its tests"

fuzz: deps
	$(MAKE) test-fuzz FUZZ_SECONDS=$(FUZZ_SECONDS)

# The demo builds only the programs it runs.
DEMO_TARGETS := flashdesk routersim fotapack devsim build_keys

demo: deps
	cmake --preset native >/dev/null
	cmake --build --preset native --target $(DEMO_TARGETS)
	bash scripts/demo.sh

clean:
	rm -rf build
