# Velorin: `make run` and `make test` are the whole set-up.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
# The sanitizer tree (gcc, Debug) and the fuzz tree (clang): never the main tree.
ASAN_DIR ?= build-asan
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_SMOKE_SECONDS ?= 20
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
ARGS ?=

.PHONY: all deps configure build package run test test-sanitizers fuzz bench clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

package: build
	cd $(BUILD_DIR) && cpack -G DEB

run: build
	./$(BUILD_DIR)/velorin $(ARGS)

# What CI runs: the tests, then the same under the sanitizers, then every fuzz target briefly.
test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)
	@$(MAKE) --no-print-directory test-sanitizers
	@$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=$(FUZZ_SMOKE_SECONDS)

test-sanitizers: deps
	@scripts/test-sanitizers.sh $(ASAN_DIR) $(JOBS)

# Each fuzz target replays its corpus, then fuzzes for FUZZ_SECONDS; a crash, a broken
# invariant or a slow input fails, and the input is left in $(FUZZ_DIR)/fuzz/artefacts.
fuzz: deps
	@cmake -S . -B $(FUZZ_DIR) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DVELORIN_FUZZ=ON -DVELORIN_TESTS=OFF -DVELORIN_BENCH=OFF \
	  -DVELORIN_FUZZ_SECONDS=$(FUZZ_SECONDS) >/dev/null
	@cmake --build $(FUZZ_DIR) -j $(JOBS) --target velorin_fuzz
	cd $(FUZZ_DIR) && ctest --output-on-failure -j $(JOBS) -L fuzz
	@awk '/^[0-9]+\/[0-9]+ Test: /{t=$$3} /average_exec_per_sec/{print "  " t ": " $$2 " exec/s"}' \
	  $(FUZZ_DIR)/Testing/Temporary/LastTest.log

bench: build
	./$(BUILD_DIR)/bench/bench_velorin

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(FUZZ_DIR)
