#!/usr/bin/env bash
# Runs clang-tidy 14 with the checks of .clang-tidy on every C++ source of a build tree's
# compilation database that belongs to the project (not what Qt's moc writes into the tree),
# and on the project's headers they include. Any finding fails.
#   scripts/verifie-tidy.sh [build tree] [jobs]
# The tree must be built (make build): the sources include headers that the build generates.
set -euo pipefail
cd "$(dirname "$0")/.."
racine=$PWD
arbre=${1:-build}
jobs=${2:-$(nproc 2>/dev/null || echo 2)}

base=$arbre/compile_commands.json
if [ ! -f "$base" ]; then
  echo "verifie-tidy.sh: no $base; configure and build $arbre first (make build)" >&2
  exit 1
fi
tidy=$(command -v clang-tidy-14 || true)
lanceur=$(command -v run-clang-tidy-14 || true)
if [ -z "$tidy" ] || [ -z "$lanceur" ]; then
  echo "verifie-tidy.sh: clang-tidy 14 is not installed (Debian package clang-tidy-14," \
       "which 'make deps' installs)" >&2
  exit 1
fi

dossiers="src|tests|bench|packaging|fuzz"
journal=$arbre/clang-tidy.log
debut=$SECONDS
statut=0
"$lanceur" -clang-tidy-binary "$tidy" -p "$arbre" -j "$jobs" -quiet \
  -header-filter "^$racine/($dossiers)/" "^$racine/($dossiers)/.*\\.cpp\$" \
  >"$journal" 2>&1 || statut=$?
# The launcher colours its output and echoes each command: keep the findings.
sed -i 's/\x1b\[[0-9;]*m//g' "$journal"
if [ "$statut" -ne 0 ]; then
  grep -v -e "^$tidy " -e '^[0-9]* warnings\? \(and [0-9]* errors\? \)\?generated' \
    -e '^Suppressed [0-9]* warnings' -e '^Use -header-filter' -e '^Error while processing' \
    -e '^Running clang-tidy' "$journal" >&2 || true
  echo "clang-tidy: findings above (all of its output in $journal)" >&2
  exit 1
fi
sources=$(grep -cE "\"file\": \"$racine/($dossiers)/" "$base" || true)
echo "clang-tidy: $sources sources, no finding, $((SECONDS - debut)) s"
