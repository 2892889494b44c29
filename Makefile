# make build | test | test-asan | demo — each installs what it lacks.
SHELL := /bin/bash
.DEFAULT_GOAL := build

VENV := .venv
PY := $(VENV)/bin/python
CMAKE := $(VENV)/bin/cmake
CTEST := $(VENV)/bin/ctest
APT_PACKAGES := g++ libgtest-dev libre2-dev
NATIVE_BUILD := build/native
ASAN_BUILD := build/asan
JOBS := $(shell nproc)
CMAKE_GENERATOR := -G Ninja -DCMAKE_MAKE_PROGRAM=$(abspath $(VENV)/bin/ninja)

.PHONY: build native-build test test-native test-python test-typing test-asan demo bench apt-packages fuzz

apt-packages:
	@tools/ensure-apt-packages.sh $(APT_PACKAGES)

$(PY):
	@python=$$(tools/find-python313.sh) && "$$python" -m venv $(VENV)

$(VENV)/.requirements: requirements-dev.txt | $(PY)
	$(PY) -m pip install -q --disable-pip-version-check -r requirements-dev.txt
	@touch $@

build: apt-packages $(VENV)/.requirements
	$(PY) -m pip install -q --disable-pip-version-check --no-build-isolation --no-deps .

# The C++ tests and the test-only variant of the module that the tests of walk
# reuse load beside the installed one (tests/python/walk_probe.py), in one build.
native-build: apt-packages $(VENV)/.requirements
	$(CMAKE) -S . -B $(NATIVE_BUILD) $(CMAKE_GENERATOR) -DCMAKE_BUILD_TYPE=Release \
	    -DKESTRUNE_BUILD_MODULE=ON -DKESTRUNE_BUILD_WALK_PROBE=ON -DKESTRUNE_BUILD_TESTS=ON \
	    -DPython_EXECUTABLE=$(abspath $(PY)) >/dev/null
	$(CMAKE) --build $(NATIVE_BUILD) -j $(JOBS)

test-native: native-build
	$(CTEST) --test-dir $(NATIVE_BUILD) --output-on-failure -j $(JOBS)

test-python: build native-build
	KESTRUNE_WALK_PROBE=$(abspath $(NATIVE_BUILD))/walk_probe $(PY) -m pytest -q tests/python

# The stub checked against the built module, and the public API type-checked as
# a caller uses it.
test-typing: build
	$(PY) -m mypy.stubtest kestrune
	$(PY) -m mypy --strict tests/typing/usage.py

test: test-native test-python test-typing

# The C++ tests and the module built with AddressSanitizer and UBSan; the Python
# tests run against that module with the sanitizer runtimes preloaded
# (tools/run-python-under-sanitizers.sh).
test-asan: apt-packages $(VENV)/.requirements
	$(CMAKE) -S . -B $(ASAN_BUILD) $(CMAKE_GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
	    -DKESTRUNE_SANITIZE=ON -DKESTRUNE_BUILD_MODULE=ON -DKESTRUNE_BUILD_WALK_PROBE=ON -DKESTRUNE_BUILD_TESTS=ON \
	    -DPython_EXECUTABLE=$(abspath $(PY)) >/dev/null
	$(CMAKE) --build $(ASAN_BUILD) -j $(JOBS)
	$(CTEST) --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)
	KESTRUNE_WALK_PROBE=$(abspath $(ASAN_BUILD))/walk_probe tools/run-python-under-sanitizers.sh $(ASAN_BUILD)/package $(PY) -m pytest -q -p no:cacheprovider tests/python

demo: build
	$(PY) examples/demo.py

# The benchmarks; the peer libraries they compare against are installed for
# them alone (bench/requirements.txt), never as dependencies of the package.
bench: build
	$(PY) -m pip install -q --disable-pip-version-check -r bench/requirements.txt
	$(PY) bench/bench_walk.py
	$(PY) bench/bench_json.py
	$(PY) bench/bench_decisions.py
	$(PY) bench/bench_patterns.py
	$(PY) bench/bench_peers.py

# The fuzz targets of the JSON reader and the pattern front end (fuzz/), built with
# clang and libFuzzer and run FUZZ_SECONDS each from the seeds in fuzz/corpus; what
# they find goes to build/fuzz. Not part of the tests.
FUZZ_APT_PACKAGES := clang libclang-rt-14-dev
FUZZ_BUILD := build/fuzz
FUZZ_SECONDS := 70
fuzz: $(VENV)/.requirements
	@tools/ensure-apt-packages.sh $(APT_PACKAGES) $(FUZZ_APT_PACKAGES)
	$(CMAKE) -S fuzz -B $(FUZZ_BUILD) $(CMAKE_GENERATOR) -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	$(CMAKE) --build $(FUZZ_BUILD) -j $(JOBS)
	@for target in json_reader pattern; do \
	    mkdir -p $(FUZZ_BUILD)/corpus/$$target; \
	    echo "fuzzing $$target for $(FUZZ_SECONDS) s"; \
	    if ! $(FUZZ_BUILD)/$${target}_fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=4096 -timeout=30 \
	            -artifact_prefix=$(FUZZ_BUILD)/$$target- -print_final_stats=1 \
	            $(FUZZ_BUILD)/corpus/$$target fuzz/corpus/$$target > $(FUZZ_BUILD)/$$target.log 2>&1; then \
	        tail -n 60 $(FUZZ_BUILD)/$$target.log; exit 1; \
	    fi; \
	    grep -E "^(Done|stat::number_of_executed_units|stat::peak_rss_mb)" $(FUZZ_BUILD)/$$target.log; \
	done
