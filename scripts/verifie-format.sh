#!/usr/bin/env bash
# Checks that the C++ files follow .clang-format; with --corrige, rewrites those that do not.
#   scripts/verifie-format.sh [--corrige] [path...]
# Without a path: every .cpp and .h under src, tests, bench, fuzz and packaging that git knows
# or would add (untracked but not ignored), so that a new file is checked before its commit.
# The layout is clang-format 14's, the one Debian 12 ships: other versions lay out some
# constructs differently, so they are refused rather than trusted.
set -euo pipefail
cd "$(dirname "$0")/.."

corrige=false
chemins=()
for argument in "$@"; do
  case "$argument" in
    --corrige) corrige=true ;;
    -h|--help) sed -n '2,3s/^# \{0,1\}//p' "$0"; exit 0 ;;
    -*) echo "verifie-format.sh: unknown option $argument" >&2; exit 2 ;;
    *) chemins+=("$argument") ;;
  esac
done
nommes=${chemins[*]:-}
[ ${#chemins[@]} -gt 0 ] || chemins=(src tests bench fuzz packaging)

outil=
for candidat in clang-format-14 clang-format; do
  if command -v "$candidat" >/dev/null; then outil=$candidat; break; fi
done
if [ -z "$outil" ]; then
  echo "verifie-format.sh: clang-format is not installed (Debian package clang-format," \
       "which 'make deps' installs)" >&2
  exit 1
fi
version=$("$outil" --version | sed -n 's/.*clang-format version \([0-9]*\)\..*/\1/p')
if [ "$version" != 14 ]; then
  echo "verifie-format.sh: $outil is version ${version:-unknown}; the layout is clang-format 14's" >&2
  exit 1
fi

fichiers=()
while IFS= read -r -d '' f; do
  [ -f "$f" ] && fichiers+=("$f")
done < <(git ls-files -z --cached --others --exclude-standard -- "${chemins[@]}" \
           | grep -zE '\.(cpp|h)$' | sort -zu)
if [ ${#fichiers[@]} -eq 0 ]; then
  echo "verifie-format.sh: no C++ file under ${chemins[*]}" >&2
  exit 1
fi

if $corrige; then
  "$outil" -i "${fichiers[@]}"
  echo "format: ${#fichiers[@]} files laid out by $outil"
  exit 0
fi

# One message per place that differs: count them by file.
if messages=$("$outil" --dry-run --Werror "${fichiers[@]}" 2>&1); then
  echo "format: ${#fichiers[@]} files follow .clang-format"
  exit 0
fi
head -n 60 <<<"$messages" >&2
echo "Files that do not follow .clang-format (places to change):" >&2
grep -oE '^[^:]+:[0-9]+:[0-9]+: error' <<<"$messages" | cut -d: -f1 | sort | uniq -c \
  | awk '{print "  " $2 " (" $1 ")"}' >&2
echo "scripts/verifie-format.sh --corrige${nommes:+ $nommes} rewrites them (make format: all)." >&2
exit 1
