#!/usr/bin/env bash
# Builds Velorin with AddressSanitizer and UndefinedBehaviorSanitizer in a tree of its own and
# runs the unit and end-to-end tests there (make test does; so can you: scripts/test-sanitizers.sh
# [tree] [jobs]). A report stops the process that makes it, a test or a program that a test
# starts, and is written under <tree>/rapports: any report there fails the run, whatever the
# test that saw it concluded.
set -euo pipefail
cd "$(dirname "$0")/.."

arbre=${1:-build-asan}
jobs=${2:-$(nproc 2>/dev/null || echo 2)}
rapports="$PWD/$arbre/rapports"
# Left out: the package checks, which only look at the build tree's files, and hostile, which
# measures the program's memory that the sanitizers multiply.
exclus_labels='paquet'
exclus_noms='^hostile$'

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:check_initialization_order=1:strict_init_order=1:log_path=$rapports/asan"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:log_path=$rapports/ubsan"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"

montre_rapports() {
  local statut=$? fichiers
  fichiers=$(find "$rapports" -type f 2>/dev/null | sort)
  if [ -n "$fichiers" ]; then
    for f in $fichiers; do
      echo "=== $f" >&2
      cat "$f" >&2
    done
    echo "Sanitizers: $(echo "$fichiers" | wc -l) report(s), see above" >&2
    [ "$statut" -ne 0 ] || statut=1
  fi
  exit "$statut"
}
trap montre_rapports EXIT

rm -rf "$rapports"
mkdir -p "$rapports"
debut=$SECONDS
cmake -S . -B "$arbre" -DCMAKE_BUILD_TYPE=Debug -DVELORIN_SANITIZE=ON -DVELORIN_BENCH=OFF >/dev/null
cmake --build "$arbre" -j "$jobs"
(cd "$arbre" && ctest --output-on-failure -j "$jobs" -LE "$exclus_labels" -E "$exclus_noms")
[ -z "$(find "$rapports" -type f)" ] || exit 1
echo "Sanitizers: built and tested in $((SECONDS - debut)) s, no report"
