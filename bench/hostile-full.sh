#!/usr/bin/env bash
# Hostile clients at the full figures: 1000 held connections, 5000 connect/close cycles,
# 200 half-closes, a 10 s flood. Not part of `make test`; takes a few minutes.
#   bench/hostile-full.sh                 # uses build/velorin, builds it if needed
#   BUILD_DIR=build-x bench/hostile-full.sh --only flood
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
if [ ! -d "$build_dir" ]; then
  cmake -S . -B "$build_dir" >/dev/null
fi
cmake --build "$build_dir" -j "$(nproc 2>/dev/null || echo 2)" --target velorin
exec python3 tests/hostile/hostile.py --binary "$build_dir/velorin" --scale full "$@"
