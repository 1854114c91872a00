#!/usr/bin/env bash
# The message area as server-sent events, the stream the page at / reads: curl -N prints the
# area's lines, then each line as Velorin logs it, here a PLC's version request. The program
# is $VELORIN, or velorin on the PATH.
set -euo pipefail

dir=$(mktemp -d)
pid= lecteur=
trap '[ -z "$lecteur" ] || kill "$lecteur" 2>/dev/null
      [ -z "$pid" ] || kill -KILL "$pid" 2>/dev/null; rm -rf "$dir"' EXIT
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
control=$(sed 's/.*"control_port": *\([0-9]*\).*/\1/' "$dir/ready.json")

curl -sN "http://127.0.0.1:$control/events" >"$dir/events" &
lecteur=$!
seen() { grep -q "$1" "$dir/events"; }
for ((i = 0; i < 300; i++)); do seen '^event: contenu' && break; sleep 0.1; done
seen '^event: contenu' || { echo "no stream after 30 s" >&2; exit 1; }

exec 3<>"/dev/tcp/127.0.0.1/$port"
printf '\033V1\r' >&3                             # the PLC's version request
IFS= read -r -t 5 -d $'\r' -u 3 reply
exec 3<&-
for ((i = 0; i < 300; i++)); do seen 'demande version' && break; sleep 0.1; done
grep -m1 'demande version' "$dir/events"         # data: "08:54:28.3 demande version firmware --> version Velorin"
kill "$lecteur"; lecteur=

kill -TERM "$pid"
status=0; wait "$pid" || status=$?; pid=
echo "velorin ended with status $status"
exit "$status"
