# Velorin: `make run` and `make test` are the whole set-up. They, and `make deps`, are the only
# targets that install what is missing (and `make image` its container engine); every other one
# builds with what is there.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
# The sanitizer tree (gcc, Debug) and the fuzz tree (clang): never the main tree.
ASAN_DIR ?= build-asan
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_SMOKE_SECONDS ?= 20
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
ARGS ?=
# What `make check` leaves to `make test`: the package, the fuzz targets, the window in Xvfb,
# the hostile clients and the container image, which want the machine to themselves. By label,
# and by name for tests that carry none.
CHECK_EXCLUS_LABELS ?= paquet|fuzz|bureau|hostile|conteneur
CHECK_EXCLUS_NOMS ?= ^Echelles/Bureau\.|^hostile$$

.PHONY: all deps configure build package image run test check format tidy test-sanitizers fuzz \
	bench clean

all: build

deps:
	@scripts/install-deps.sh

configure:
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) >/dev/null \
	  || { echo "Configuring failed; if packages are missing, 'make deps' installs them." >&2; \
	       exit 1; }

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

package: build
	cd $(BUILD_DIR) && cpack -G DEB

# The container image, built from this source by the script, which says each step (and installs
# podman and debootstrap where no engine answers).
image:
	@JOBS=$(JOBS) scripts/construit-image.sh

run: deps
	@$(MAKE) --no-print-directory build
	./$(BUILD_DIR)/velorin $(ARGS)

# What CI runs: the layout, the tests, clang-tidy, then the tests again under the sanitizers,
# then every fuzz target briefly.
test: deps
	@scripts/verifie-format.sh
	@$(MAKE) --no-print-directory build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)
	@scripts/verifie-tidy.sh $(BUILD_DIR) $(JOBS)
	@$(MAKE) --no-print-directory test-sanitizers
	@$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=$(FUZZ_SMOKE_SECONDS)

# The quick loop while working: layout, build, unit and end-to-end tests.
check:
	@scripts/verifie-format.sh
	@$(MAKE) --no-print-directory build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS) -LE '$(CHECK_EXCLUS_LABELS)' \
	  -E '$(CHECK_EXCLUS_NOMS)'

# `make format` rewrites what `make check` would refuse.
format:
	@scripts/verifie-format.sh --corrige

tidy: build
	@scripts/verifie-tidy.sh $(BUILD_DIR) $(JOBS)

test-sanitizers:
	@scripts/test-sanitizers.sh $(ASAN_DIR) $(JOBS)

# Each fuzz target replays its corpus, then fuzzes for FUZZ_SECONDS; a crash, a broken
# invariant or a slow input fails, and the input is left in $(FUZZ_DIR)/fuzz/artefacts.
fuzz:
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
