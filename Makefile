# Set-up, build and test entry points: `make demo` and `make test` do everything on a fresh machine.
VENV      := .venv
PYTHON    := $(VENV)/bin/python
BUILD     := build
STAMPS    := .stamps
PYPATH    := PYTHONPATH=$(CURDIR)/$(BUILD)/src/python
JOBS      ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all setup build test test-cpp test-python demo bench clean

all: build

$(STAMPS)/system: tools/install-system-deps
	@mkdir -p $(STAMPS)
	tools/install-system-deps
	@touch $@

$(STAMPS)/venv: requirements-dev.txt tools/find-python | $(STAMPS)/system
	@mkdir -p $(STAMPS)
	@if [ ! -x $(PYTHON) ]; then python=$$(tools/find-python) && echo "creating $(VENV) with $$python" && $$python -m venv $(VENV); fi
	$(PYTHON) -m pip install -q --disable-pip-version-check -r requirements-dev.txt
	@touch $@

setup: $(STAMPS)/system $(STAMPS)/venv

$(BUILD)/build.ninja: CMakeLists.txt | setup
	$(VENV)/bin/cmake -S . -B $(BUILD) -G Ninja -DCMAKE_MAKE_PROGRAM=$(CURDIR)/$(VENV)/bin/ninja \
	    -DPython_EXECUTABLE=$(CURDIR)/$(PYTHON) -DVENDREL_BUILD_TESTS=ON

build: $(BUILD)/build.ninja
	$(VENV)/bin/cmake --build $(BUILD) -j $(JOBS)

test-cpp: build
	$(VENV)/bin/ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-python: build
	$(PYPATH) $(PYTHON) -m pytest -q

test: test-cpp test-python

demo: build
	$(PYPATH) $(PYTHON) examples/tfim_chain.py

# Peer libraries for the benchmark suite; a peer that fails to install is skipped by the suite, which says why.
$(STAMPS)/bench: bench/requirements.txt | $(STAMPS)/venv
	@mkdir -p $(STAMPS)
	$(VENV)/bin/pip install -q --disable-pip-version-check -r bench/requirements.txt || \
	    { echo "bench: installing the peers one by one; the suite skips any that is missing"; \
	      grep -v '^#' bench/requirements.txt | xargs -n 1 $(VENV)/bin/pip install -q --disable-pip-version-check || true; }
	@touch $@

bench: build $(STAMPS)/bench
	$(PYPATH) $(PYTHON) bench/run.py $(BENCHFLAGS)

# The C++ and Python suites under AddressSanitizer and UBSan, in build-sanitize/.
sanitize: setup
	tools/run-sanitized-tests

# Long runs: the generated-argument properties with many more examples, then the libFuzzer targets.
fuzz: build
	tools/install-system-deps clang-14 libclang-rt-14-dev
	VENDREL_HYPOTHESIS_PROFILE=fuzz $(PYPATH) $(PYTHON) -m pytest -q tests/python/test_fuzz_surface.py
	tools/run-fuzzers

# The Python suite under Debian's debug CPython 3.11 (-X dev), built against its headers.
debug-python:
	tools/run-debug-python-tests

clean:
	rm -rf $(BUILD) $(STAMPS) build-sanitize build-fuzz build-debug-python
