#!/usr/bin/env bash
# Makes docs/velorin.png: Velorin's window in an X server of its own, after a little traffic.
# Run from the repository's root after `make build`.
set -euo pipefail

build=${BUILD_DIR:-build}
sortie=${1:-docs/velorin.png}
port=23480
controle=23481
ecran=:$(( 200 + RANDOM % 100 ))
# The window's title carries the version: ask the program which one it is.
version=$("$build/velorin" --version | sed -n 's/^velorin //p')
[ -n "$version" ] || { echo "$build/velorin --version gave no version" >&2; exit 1; }

Xvfb "$ecran" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
journal=$(mktemp)
trap 'kill $velorin $xvfb 2>/dev/null || true; rm -f "$journal"' EXIT
sleep 1

DISPLAY=$ecran "$build/velorin" portip=$port control=$controle log=stdout >"$journal" 2>/dev/null &
velorin=$!
until grep -q "ouvre controle HTTP" "$journal"; do sleep 0.1; done

curl -s -H 'Content-Type: application/json' -X PATCH -d '{"Chk_TraceIP": true, "Chk_HOMING_X_ok": true, "Chk_HOMING_Z_ok": true}' \
  http://127.0.0.1:$controle/state >/dev/null
exec 3<>/dev/tcp/127.0.0.1/$port
for requete in '\033V1\r' '\033D100001200000003000\r' '\033P1\r'; do
  printf "$requete" >&3
  sleep 0.3
done
sleep 1.2                                       # the axes arrive, the link label turns green
printf '\033P1\r' >&3
sleep 0.3

mkdir -p "$(dirname "$sortie")"
fenetre=$(DISPLAY=$ecran xdotool search --onlyvisible --name "^Velorin v${version//./\\.}\$" | head -n 1)
DISPLAY=$ecran "$build/tests/desktop/capture_ecran" "$sortie" "$fenetre"
exec 3<&-
echo "$sortie"
