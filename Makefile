# plyfold: build, demo, tests and benchmarks.
#   make demo   - install what is needed, flatten the bundled example
#   make test   - install what is needed, run C++ tests (plain and sanitized),
#                 a short fuzz run, ruff and the Python tests
#   make bench  - compare flatten speed on ../shared/data/bench

PYTHON ?= python3
APT_PACKAGES := libre2-dev libtbb-dev libicu-dev libabsl-dev libgtest-dev \
                clang-14 libclang-rt-14-dev clang-format-14 ninja-build pkg-config
FUZZERS := flatten unflatten normal convert patterns config_json
FUZZ_SECONDS ?= 15
BENCH_DATA ?= ../shared/data/bench

.PHONY: all deps python-deps install demo test cpp-test sanitize-test fuzz lint pytest bench format

all: install

deps:
	@missing=""; for p in $(APT_PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing system packages:$$missing"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	fi

python-deps:
	$(PYTHON) -m pip install -q --upgrade "scikit-build-core>=0.9" cmake ninja

install: deps python-deps
	$(PYTHON) -m pip install -q --no-build-isolation ".[test,bench]"

demo: install
	$(PYTHON) examples/demo.py

cpp-test: deps
	cmake -S . -B build/cpp -G Ninja -DPLYFOLD_PYTHON=OFF -DPLYFOLD_CPP_TESTS=ON
	cmake --build build/cpp -j2
	build/cpp/plyfold_cpp_tests --gtest_brief=1

sanitize-test: deps
	CC=clang-14 CXX=clang++-14 cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DPLYFOLD_PYTHON=OFF -DPLYFOLD_CPP_TESTS=ON -DPLYFOLD_SANITIZE=ON -DPLYFOLD_FUZZ=ON
	cmake --build build/asan -j2
	build/asan/plyfold_cpp_tests --gtest_brief=1

fuzz: sanitize-test
	@for f in $(FUZZERS); do \
	  if [ -x build/asan/$${f}_fuzzer ]; then \
	    mkdir -p fuzz/corpus-run/$$f fuzz/corpus/$$f; \
	    echo "fuzzing $$f for $(FUZZ_SECONDS)s"; \
	    build/asan/$${f}_fuzzer -max_total_time=$(FUZZ_SECONDS) -max_len=4096 -print_final_stats=1 \
	      fuzz/corpus-run/$$f fuzz/corpus/$$f 2>fuzz/corpus-run/$$f.log || \
	      { tail -n 40 fuzz/corpus-run/$$f.log; exit 1; }; \
	    grep -E 'stat::number_of_executed_units' fuzz/corpus-run/$$f.log || true; \
	  fi; \
	done

lint: install
	$(PYTHON) -m ruff check tests bench examples

pytest: install
	$(PYTHON) -m pytest -q tests/python

test: cpp-test fuzz lint pytest

bench: install
	$(PYTHON) bench/bench.py --data $(BENCH_DATA)

format:
	clang-format-14 -i $$(git ls-files 'src/*.h' 'src/*.cpp' 'tests/cpp/*.cpp' 'fuzz/*.cpp')
	$(PYTHON) -m ruff format tests bench examples
