#!/usr/bin/env bash
# One Velorin serves a whole machine: examples/machine.json describes a PLC and a laser module,
# each on a free port of its own. The ready file lists them; each answers in its own protocol.
# The program is $VELORIN, or velorin on the PATH.
set -euo pipefail

dir=$(mktemp -d)
pid=
trap '[ -z "$pid" ] || kill -KILL "$pid" 2>/dev/null; rm -rf "$dir"' EXIT
ready_pid() { sed -n 's/.*"pid": *\([0-9]*\).*/\1/p' "$dir/ready.json" 2>/dev/null; }
port_of() { sed -n "s/.*\"name\":\"$1\",\"port\":\([0-9]*\).*/\1/p" "$dir/ready.json"; }
rm -f "$dir/ready.json"                          # an earlier run's file says nothing of this one
"${VELORIN:-velorin}" machine="$(dirname "$0")/machine.json" ready="$dir/ready.json" \
  log="$dir/velorin.log" </dev/null >/dev/null 2>"$dir/stderr" &
pid=$!
for ((i = 0; i < 300; i++)); do                  # 30 s at most
  [ "$(ready_pid)" = "$pid" ] && break            # this run's file: it names this process
  kill -0 "$pid" 2>/dev/null || { echo "velorin ended: $(cat "$dir/stderr")" >&2; exit 1; }
  sleep 0.1
done
[ "$(ready_pid)" = "$pid" ] || { echo "velorin not ready after 30 s" >&2; exit 1; }
echo "plc on port $(port_of plc), laser on port $(port_of laser)"

ask() {                                          # ask PORT REQUEST: prints the reply up to CR
  exec 3<>"/dev/tcp/127.0.0.1/$1"
  printf '%b' "$2" >&3
  IFS= read -r -t 5 -d $'\r' -u 3 reply
  exec 3<&-
  echo "${reply#$'\e'}"
}
ask "$(port_of plc)" '\033V1\r'                  # 1version Velorin
ask "$(port_of laser)" '\033V179\r'              # /1version Simulation module Lasers54
for ((i = 0; i < 100; i++)); do                  # the log reaches its file within 100 ms
  grep -q -F '[laser] ' "$dir/velorin.log" && break
  sleep 0.1
done
grep -m1 -F '[laser] ' "$dir/velorin.log"        # each device's lines, headed by its name

kill -TERM "$pid"
status=0; wait "$pid" || status=$?; pid=
echo "velorin ended with status $status"
exit "$status"
