# make example: build, then run ciprop on the bundled example case.
# make test:    build, then run every test.
BUILD ?= build
GEN = cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DCIPROP_BOUNDS=ON

.PHONY: all build test example bench clean

all: build

build:
	@test -f $(BUILD)/build.ninja || $(GEN)
	cmake --build $(BUILD)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j2

example: build
	cd example && ./run.sh ../$(BUILD)/ciprop

# Benchmarks run on a build without subscript checks.
bench:
	@test -f build-bench/build.ninja || cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build build-bench --target all $$(cd build-bench && ninja -t targets all | grep -o '^bench_[a-z_]*' | sort -u)
	build-bench/bench/bench_density_cases

clean:
	rm -rf $(BUILD) build-bench
