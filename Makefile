# make example            build ciprop alone (no tests, no GoogleTest) and run it
#                         on the bundled water cases (psi4 and OpenMolcas)
# make test               build everything, then run every test
# make install PREFIX=... install ciprop and mkcase into PREFIX/bin
#                         (default /usr/local)
# Missing prerequisites are installed where the Makefile may, else named with
# the command that installs them.
BUILD ?= build
EXAMPLE_BUILD ?= build-example
PREFIX ?= /usr/local
GEN = cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DCIPROP_BOUNDS=ON
# The program alone, as users run it: no subscript checks, no tests.
GEN_EXAMPLE = cmake -S . -B $(EXAMPLE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF

.PHONY: all build test example install bench clean

all: build

build:
	@tools/prerequisites.sh test
	@test -f $(BUILD)/build.ninja || $(GEN)
	cmake --build $(BUILD)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j2

# Quiet: the configure and build logs are shown only when they fail.
$(EXAMPLE_BUILD)/ciprop: FORCE
	@tools/prerequisites.sh example
	@echo "building ciprop in $(EXAMPLE_BUILD) ..."
	@mkdir -p $(EXAMPLE_BUILD)
	@test -f $(EXAMPLE_BUILD)/build.ninja || $(GEN_EXAMPLE) > $(EXAMPLE_BUILD)/configure.log 2>&1 \
	  || { cat $(EXAMPLE_BUILD)/configure.log; exit 1; }
	@cmake --build $(EXAMPLE_BUILD) --target ciprop > $(EXAMPLE_BUILD)/build.log 2>&1 \
	  || { cat $(EXAMPLE_BUILD)/build.log; exit 1; }

example: $(EXAMPLE_BUILD)/ciprop
	@cd example && ./run.sh ../$(EXAMPLE_BUILD)/ciprop
	@cd example/openmolcas && ./run.sh ../../$(EXAMPLE_BUILD)/ciprop

install: $(EXAMPLE_BUILD)/ciprop
	@cmake --build $(EXAMPLE_BUILD) --target mkcase > $(EXAMPLE_BUILD)/build.log 2>&1 \
	  || { cat $(EXAMPLE_BUILD)/build.log; exit 1; }
	cmake --install $(EXAMPLE_BUILD) --prefix "$(PREFIX)"

# Benchmarks run on a build without subscript checks.
bench:
	@test -f build-bench/build.ninja || cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build build-bench
	build-bench/bench/bench_density_cases

clean:
	rm -rf $(BUILD) $(EXAMPLE_BUILD) build-bench

FORCE:
