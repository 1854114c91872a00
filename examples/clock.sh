#!/usr/bin/env bash
# Simulated time from a shell: Velorin starts with its clock stepped, so the axes only move when
# the test says. One call brings both axes to their demands; then exact steps of device time.
# The program is $VELORIN, or velorin on the PATH.
set -euo pipefail

dir=$(mktemp -d)
pid=
trap '[ -z "$pid" ] || kill -KILL "$pid" 2>/dev/null; rm -rf "$dir"' EXIT
ready_pid() { sed -n 's/.*"pid": *\([0-9]*\).*/\1/p' "$dir/ready.json" 2>/dev/null; }
rm -f "$dir/ready.json"                          # an earlier run's file says nothing of this one
"${VELORIN:-velorin}" portip=0 control=0 clock=step ready="$dir/ready.json" log=off \
  </dev/null >/dev/null 2>"$dir/stderr" &
pid=$!
for ((i = 0; i < 300; i++)); do                  # 30 s at most
  [ "$(ready_pid)" = "$pid" ] && break            # this run's file: it names this process
  kill -0 "$pid" 2>/dev/null || { echo "velorin ended: $(cat "$dir/stderr")" >&2; exit 1; }
  sleep 0.1
done
[ "$(ready_pid)" = "$pid" ] || { echo "velorin not ready after 30 s" >&2; exit 1; }
port=$(sed 's/.*"port": *\([0-9]*\).*/\1/' "$dir/ready.json")
api=http://127.0.0.1:$(sed 's/.*"control_port": *\([0-9]*\).*/\1/' "$dir/ready.json")
call() { curl -sS --fail --max-time 30 -H 'Content-Type: application/json' "$@"; echo; }

call -X PATCH -d '{"Chk_HOMING_X_ok": true, "Chk_HOMING_Z_ok": true}' "$api/state" >/dev/null
exec 3<>"/dev/tcp/127.0.0.1/$port"
printf '\033D100001200000003000\r' >&3           # move: X to 12000, Z to 3000
IFS= read -r -t 5 -d $'\r' -u 3 reply

# Instant arrival: every tick it takes, run now; the answer says how many and where the axes are.
call -X POST -d '{"until": "arrived", "max_ms": 60000}' "$api/clock/advance" \
  | grep -o '"arrived":true\|"ticks_run":[0-9]*'  # "arrived":true "ticks_run":6

# An exact sequence: back to 0, one tick of 100 ms at a time.
printf '\033D100000000000000000\r' >&3
IFS= read -r -t 5 -d $'\r' -u 3 reply
for step in 1 2; do
  call -X POST -d '{"ms": 100}' "$api/clock/advance" | grep -o '"Lbl_PosRelleX":"[^"]*"'
done                                             # "10000", then "8000"
printf '\033P1\r' >&3
IFS= read -r -t 5 -d $'\r' -u 3 reply
echo "${reply:1}"                                # 10000800000000000c
exec 3<&-
call "$api/clock"                                # {"device_ms":800,"mode":"step","speed":0,"ticks":8}

kill -TERM "$pid"
status=0; wait "$pid" || status=$?; pid=
echo "velorin ended with status $status"
exit "$status"
