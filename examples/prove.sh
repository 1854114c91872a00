#!/usr/bin/env bash
# Records a host's session with the machine through Velorin's proxy, plays it back, and checks
# Velorin's own simulation against the recording. REAL_MACHINE=host:port is your machine; without it
# a Velorin with its clock stepped stands in for it. The programs are $VELORIN and
# $VELORIN_REJOUE, or velorin and velorin-rejoue on the PATH.
set -uo pipefail
velorin=${VELORIN:-velorin}
rejoue=${VELORIN_REJOUE:-velorin-rejoue}
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; wait; rm -rf "$work"' EXIT

# start NAME KEYS...: one Velorin on a free port; sets $port once it serves.
start() {
  local name=$1
  shift
  rm -f "$work/$name.json"                  # an earlier run's file says nothing of this one
  "$velorin" portip=0 log=off ready="$work/$name.json" "$@" 2>"$work/$name.err" &
  pids+=($!)
  for _ in $(seq 300); do
    # This run's file names this process: its pid, then its port.
    port=$(python3 -c 'import json, sys; ready = json.load(open(sys.argv[1]))
print(ready["port"] if ready["pid"] == int(sys.argv[2]) else "")' \
      "$work/$name.json" "${pids[-1]}" 2>/dev/null)
    [ -n "$port" ] && return 0
    kill -0 "${pids[-1]}" 2>/dev/null || break
    sleep 0.1
  done
  echo "velorin $name did not start: $(cat "$work/$name.err")" >&2
  exit 1
}

# host PORT: the host's session, one reply per request: version, positions, a move, positions.
host() {
  exec 3<>"/dev/tcp/127.0.0.1/$1"
  local request reply
  for request in $'\eV1\r' $'\eP1\r' $'\eD100001200000003000\r' $'\eP1\r'; do
    printf '%s' "$request" >&3
    IFS= read -r -d $'\r' -t 5 reply <&3
    echo "  ${request:1:-1} -> ${reply#$'\e'}"
  done
  exec 3>&-
}

# 1. Record: the host talks to the machine through Velorin, which journals both sides.
if [ -z "${REAL_MACHINE:-}" ]; then
  start machine clock=STEP
  REAL_MACHINE=127.0.0.1:$port
fi
start proxy proxy="$REAL_MACHINE" journal="$work/session.jsonl"
echo "recorded through the proxy:"
host "$port"
kill "${pids[-1]}" && wait "${pids[-1]}"
echo "journal: $(grep -c '"event":"recv"' "$work/session.jsonl") requests"

# 2. Play back: Velorin answers as the machine did, byte for byte.
start playback playback="$work/session.jsonl"
"$rejoue" "$work/session.jsonl" "127.0.0.1:$port"
echo "against the playback: status $?"

# 3. Verify: the journal replayed against Velorin's simulation, then against a wrong mode.
start simulation clock=STEP
"$rejoue" "$work/session.jsonl" "127.0.0.1:$port"
echo "against the simulation: status $?"
start echo mode=modeECHO
"$rejoue" "$work/session.jsonl" "127.0.0.1:$port" | tail -6
echo "against echo mode: status $?"
