#!/usr/bin/env bash
# Only `make deps`, and `make run` and `make test` which call it, install packages: every other
# target builds with what is there, so that a build never reaches apt-get. Reads what each
# target would run (make -n), without running it.
#   verifie_cibles.sh <source dir>
set -euo pipefail
cd "$1"

echecs=0
echec() { echo "FAIL: $*" >&2; echecs=$((echecs + 1)); }
# Alone, whatever make runs the tests: no flags or job server inherited from it.
commandes() { env -u MAKEFLAGS -u MFLAGS -u MAKELEVEL make -n --no-print-directory "$1" 2>&1; }

for cible in deps run test; do
  grep -q 'scripts/install-deps\.sh' <<<"$(commandes "$cible")" \
    || echec "make $cible does not install what is missing"
done
for cible in all configure build check format tidy package bench test-sanitizers fuzz clean; do
  if installe=$(grep -E 'install-deps|apt-get' <<<"$(commandes "$cible")"); then
    echec "make $cible installs: $installe"
  fi
done
# CI runs .ci/run on a new clone of a possibly new machine: it must go through make test.
grep -qx 'make test' .ci/run || echec ".ci/run does not run 'make test'"

[ "$echecs" = 0 ] && echo "make targets: only deps, run and test install"
exit "$echecs"
