#!/usr/bin/env bash
# Replays one journal holding the traffic of two devices, a PLC and a laser module, each
# device's connections against its own Velorin (velorin-rejoue journal NAME=HOST:PORT...), and
# writes a JUnit report for a CI dashboard. The journal is joined here from two one-device
# recordings, each event given its "device", as a run of several devices writes it. The
# programs are $VELORIN and $VELORIN_REJOUE, or velorin and velorin-rejoue on the PATH.
set -euo pipefail
velorin=${VELORIN:-velorin}
rejoue=${VELORIN_REJOUE:-velorin-rejoue}
pids=()
trap '[ ${#pids[@]} -eq 0 ] || kill -KILL "${pids[@]}" 2>/dev/null' EXIT

# start NAME KEYS...: one Velorin on a free port, its ready file NAME.json; sets $port.
start() {
  local ready=$1.json pid
  shift
  rm -f "$ready"                         # an earlier run's file, with its old port, goes first
  "$velorin" portip=0 log=off ready="$ready" "$@" </dev/null >/dev/null 2>"$ready.err" &
  pid=$!
  pids+=("$pid")
  for ((i = 0; i < 300; i++)); do        # 30 s at most, until the file names this process
    if [ "$(sed -n 's/.*"pid": *\([0-9]*\).*/\1/p' "$ready" 2>/dev/null)" = "$pid" ]; then
      port=$(sed 's/.*"port": *\([0-9]*\).*/\1/' "$ready")
      return 0
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "velorin did not start: $(cat "$ready.err")" >&2
  exit 1
}
stop_all() { kill -TERM "${pids[@]}" && wait "${pids[@]}"; pids=(); }

# ask REQUEST: sends one request to $port and prints the reply, its Esc and CR left out.
ask() {
  exec 3<>"/dev/tcp/127.0.0.1/$port"
  printf '\033%s\r' "$1" >&3
  IFS= read -r -t 5 -d $'\r' -u 3 reply
  exec 3<&-
  echo "$1 -> ${reply#$'\033'}"
}

# 1. Record each device alone, then join the two journals, each event naming its device.
rm -f plc.jsonl laser.jsonl
start plc mode=automateOMRON journal=plc.jsonl
ask P1
start laser mode=moduleLASERS journal=laser.jsonl
ask M10121                               # laser 1's measurement, its checksum 21
stop_all
{ sed 's/}$/,"device":"plc"}/' plc.jsonl; sed 's/}$/,"device":"laser"}/' laser.jsonl; } >machine.jsonl

# 2. Replay it, each device against the address given for its name.
start plc mode=automateOMRON
plc=$port
start laser mode=moduleLASERS
laser=$port
"$rejoue" --junit report.xml machine.jsonl "plc=127.0.0.1:$plc" "laser=127.0.0.1:$laser"
echo "status $?"
grep -o '<testsuite [^>]*>' report.xml

# 3. The laser's address given a PLC: only the laser's replies differ, and the report says so.
status=0
"$rejoue" machine.jsonl "plc=127.0.0.1:$plc" "laser=127.0.0.1:$plc" || status=$?
echo "status $status"
stop_all
