#!/usr/bin/env bash
# Records what a host exchanges with a Velorin (JOURNAL=), then checks that another Velorin,
# the device to check, answers the same (velorin-rejoue). The ready files sit at fixed paths in
# the current directory, as a rig that runs again and again has them. The programs are
# $VELORIN and $VELORIN_REJOUE, or velorin and velorin-rejoue on the PATH.
set -euo pipefail
velorin=${VELORIN:-velorin}
pid=
trap '[ -z "$pid" ] || kill -KILL "$pid" 2>/dev/null' EXIT

# start NAME KEYS...: one Velorin on a free port, its ready file NAME.json; sets $pid and $port.
start() {
  local ready=$1.json
  shift
  rm -f "$ready"                         # an earlier run's file, with its old port, goes first
  "$velorin" portip=0 log=off ready="$ready" "$@" </dev/null >/dev/null 2>"$ready.err" &
  pid=$!
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
stop() { kill -TERM "$pid" && wait "$pid"; pid=; }

start recorded mode=modeECHO journal=session.jsonl
exec 3<>"/dev/tcp/127.0.0.1/$port"
for request in hello again; do
  printf '%s\r' "$request" >&3
  IFS= read -r -t 5 -d $'\r' -u 3 reply
  echo "$request -> $reply"
done
exec 3<&-
stop

start checked mode=modeECHO                  # the device to check
"${VELORIN_REJOUE:-velorin-rejoue}" session.jsonl "127.0.0.1:$port" && echo "same replies"
stop
