#!/usr/bin/env bash
# Installs what Velorin needs to build and test, from Debian's packages.
# As root, missing packages are installed (one apt-get update first);
# otherwise the script names them and stops.
set -euo pipefail

packages=(
  cmake g++ make pkg-config python3
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-httpserver-dev qt6-websockets-dev libgl-dev
  libgtest-dev libgmock-dev
  xvfb xdotool
  curl                            # the documentation's shell examples
  python3-pytest python3-pytest-xdist python3-venv python3-pip python3-setuptools mypy  # the Python package, its tests
  python3-yaml podman-compose     # the bench and fleet files: read, and the dry run of the bench
  dpkg-dev desktop-file-utils
  clang libclang-rt-14-dev llvm   # fuzz targets; llvm-symbolizer names sanitizer frames
  clang-format-14 clang-tidy-14   # the layout and static checks of make test and make check
  chromium chromium-driver python3-selenium  # the control port's page in a headless browser
  firefox-esr python3-websocket   # the page in Firefox too, driven over its own WebDriver BiDi
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Velorin needs these Debian packages, which are not installed:" >&2
  echo "  ${missing[*]}" >&2
  echo "Install them with: sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
