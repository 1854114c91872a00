#!/usr/bin/env bash
# The control API from a shell, with curl: ticks both homing flags, moves the PLC's axes, polls
# until both have arrived, then reads the state and what the log says about the API's changes.
# The program is $VELORIN, or velorin on the PATH.
set -euo pipefail

dir=$(mktemp -d)
pid=
trap '[ -z "$pid" ] || kill -KILL "$pid" 2>/dev/null; rm -rf "$dir"' EXIT
ready_pid() { sed -n 's/.*"pid": *\([0-9]*\).*/\1/p' "$dir/ready.json" 2>/dev/null; }

rm -f "$dir/ready.json"                          # an earlier run's file says nothing of this one
"${VELORIN:-velorin}" portip=0 control=0 ready="$dir/ready.json" log="$dir/velorin.log" \
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
call() { curl -sS --fail --max-time 5 -H 'Content-Type: application/json' "$@"; echo; }   # each answer is one JSON object

call "$api/health"               # {"mode":"automateOMRON","pid":...,"port":...,"status":"ok",...}
call -X PATCH -d '{"Chk_HOMING_X_ok": true, "Chk_HOMING_Z_ok": true}' "$api/state" >/dev/null

exec 3<>"/dev/tcp/127.0.0.1/$port"
printf '\033D100001200000003000\r' >&3           # move: X to 00012000, Z to 00003000
IFS= read -r -t 5 -d $'\r' -u 3 reply
echo "${reply:1}"                                # 1Ok
for ((i = 0; i < 50; i++)); do                   # 5 s at most; 600 ms are enough
  printf '\033P1\r' >&3                          # where are the axes?
  IFS= read -r -t 5 -d $'\r' -u 3 reply
  echo "${reply:1}"                              # 10000200000001500d ... 10001200000003000a
  [ "${reply: -1}" = a ] && break
  sleep 0.1
done
exec 3<&-
[ "${reply: -1}" = a ] || { echo "the axes have not arrived" >&2; exit 1; }

call "$api/state"                # ..."Lbl_PosRelleX":"00012000","Lbl_PosRelleZ":"00003000"...
call "$api/log?since=0" | grep -o 'controle HTTP : [^"]*'   # the change made above
call -X POST "$api/reset" >/dev/null                          # back to the state at start

kill -TERM "$pid"
status=0; wait "$pid" || status=$?; pid=
echo "velorin ended with status $status"
exit "$status"
