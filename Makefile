# One entry for everything; each target sets up what it needs first.
#   make run    build everything, then build the sample package and run it under Wine
#   make test   build everything and run the whole test suite (native, sanitizers, Wine)
#   make bench  run the benchmarks
#   make size   build everything, then print the shipped programs' bytes by source file
BUILD ?= build
JOBS  ?= 2
CTEST_ARGS ?=

.PHONY: all deps configure build run test bench size clean

all: build

deps:
	@bash scripts/bootstrap.sh

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j$(JOBS)

run: build
	@bash scripts/list-outputs.sh $(BUILD)
	@bash scripts/run-sample.sh $(BUILD)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j$(JOBS) $(CTEST_ARGS)

bench: build
	@bash scripts/bootstrap.sh --bench
	@$(BUILD)/bench/bench_ini
	@$(BUILD)/bench/bench_expand
	@BRIK_BENCH_CACHE=$(BUILD)/bench-corpus bash bench/bench_cab.sh $(BUILD)/src/builder/brikpack
	@BRIK_BENCH_CACHE=$(BUILD)/bench-corpus bash bench/bench_build.sh $(BUILD)/src/builder/brikpack
	@BRIK_BENCH_CACHE=$(BUILD)/bench-corpus bash bench/bench_install.sh $(BUILD)

size: build
	@python3 scripts/size-report.py $(BUILD)/win32

clean:
	rm -rf $(BUILD)
