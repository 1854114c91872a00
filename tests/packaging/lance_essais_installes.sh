#!/usr/bin/env bash
# Runs essais_installes.py with Debian's pytest against an installed tree: its bin/ first on
# the PATH, its Python package the only velorin Python sees, found by pytest's entry points.
#   lance_essais_installes.sh <installed /usr> <its dist-packages> <scratch dir>
set -euo pipefail

usr=$1
paquets=$2
dossier=$3
[ -x /usr/bin/python3 ] && /usr/bin/python3 -c 'import pytest' 2>/dev/null || {
  echo "Debian's python3-pytest is missing: make deps installs it" >&2
  exit 1
}
cp "$(dirname "$0")/essais_installes.py" "$dossier/test_installes.py"
cd "$dossier"
env -u VELORIN -u VELORIN_REJOUE -u PYTEST_DISABLE_PLUGIN_AUTOLOAD -u PYTEST_ADDOPTS \
  PATH="$usr/bin:$PATH" PYTHONPATH="$paquets" PYTHONDONTWRITEBYTECODE=1 \
  /usr/bin/python3 -m pytest -q -p no:cacheprovider test_installes.py
