#!/usr/bin/env bash
# Watching Velorin: GET /metrics read after two requests, and the control port's rules (a token
# from a file, a foreign Host name refused, a change that is not JSON refused).
# The program is $VELORIN, or velorin on the PATH.
set -euo pipefail

dir=$(mktemp -d)
pid=
trap '[ -z "$pid" ] || kill -KILL "$pid" 2>/dev/null; rm -rf "$dir"' EXIT
ready_pid() { sed -n 's/.*"pid": *\([0-9]*\).*/\1/p' "$dir/ready.json" 2>/dev/null; }

head -c 24 /dev/urandom | od -An -tx1 | tr -d ' \n' >"$dir/token"   # readable by its owner only
chmod 600 "$dir/token"
rm -f "$dir/ready.json"                          # an earlier run's file says nothing of this one
"${VELORIN:-velorin}" portip=0 control=0 control_token_file="$dir/token" \
  ready="$dir/ready.json" log="$dir/velorin.log" </dev/null >/dev/null 2>"$dir/stderr" &
pid=$!
for ((i = 0; i < 300; i++)); do                  # 30 s at most
  [ "$(ready_pid)" = "$pid" ] && break            # this run's file: it names this process
  kill -0 "$pid" 2>/dev/null || { echo "velorin ended: $(cat "$dir/stderr")" >&2; exit 1; }
  sleep 0.1
done
[ "$(ready_pid)" = "$pid" ] || { echo "velorin not ready after 30 s" >&2; exit 1; }
port=$(sed 's/.*"port": *\([0-9]*\).*/\1/' "$dir/ready.json")
api=http://127.0.0.1:$(sed 's/.*"control_port": *\([0-9]*\).*/\1/' "$dir/ready.json")
auth="Authorization: Bearer $(cat "$dir/token")"

exec 3<>"/dev/tcp/127.0.0.1/$port"
for request in '\033V1\r' '\033P1\r'; do
  printf "$request" >&3
  IFS= read -r -t 5 -d $'\r' -u 3 reply
done
exec 3<&-

curl -sS --fail --max-time 5 -H "$auth" "$api/metrics" \
  | grep -E '^velorin_(requests_total|replies_total|clients)\{'
# velorin_requests_total{device="default",command="P"} 1 ... velorin_clients{device="default"} 0

# What a page in a browser could send is turned away, each with its code.
curl -sS --max-time 5 "$api/health"; echo                                     # 401 unauthorized
curl -sS --max-time 5 -H "$auth" -H 'Host: evil.example' "$api/health"; echo  # 421 host_not_allowed
curl -sS --max-time 5 -H "$auth" -H 'Content-Type: text/plain' -d '{}' "$api/reset"; echo  # 415
curl -sS --max-time 5 -H "$auth" -H 'Content-Type: application/json' -d '{}' "$api/reset" \
  -o /dev/null -w "a rig's change: %{http_code}\n"                           # 200

kill -TERM "$pid"
status=0; wait "$pid" || status=$?; pid=
echo "velorin ended with status $status"
exit "$status"
