#!/usr/bin/env bash
# A laser frame with its checksum computed in bash, sent with bash's own TCP client to a
# Velorin in the laser module's mode. The program is $VELORIN, or velorin on the PATH.
set -euo pipefail

cks() {                                          # two hex digits for the text $1 (ASCII)
  local s=0 i c
  for ((i = 0; i < ${#1}; i++)); do printf -v c '%d' "'${1:i:1}"; s=$((s + c)); done
  printf '%02X' $(( (256 - s % 256) % 256 ))
}

dir=$(mktemp -d)
pid=
trap '[ -z "$pid" ] || kill -KILL "$pid" 2>/dev/null; rm -rf "$dir"' EXIT
ready_pid() { sed -n 's/.*"pid": *\([0-9]*\).*/\1/p' "$dir/ready.json" 2>/dev/null; }
rm -f "$dir/ready.json"                          # an earlier run's file says nothing of this one
"${VELORIN:-velorin}" portip=0 mode=moduleLASERS ready="$dir/ready.json" log="$dir/velorin.log" \
  </dev/null >/dev/null 2>"$dir/stderr" &
pid=$!
for ((i = 0; i < 300; i++)); do                  # 30 s at most
  [ "$(ready_pid)" = "$pid" ] && break            # this run's file: it names this process
  kill -0 "$pid" 2>/dev/null || { echo "velorin ended: $(cat "$dir/stderr")" >&2; exit 1; }
  sleep 0.1
done
[ "$(ready_pid)" = "$pid" ] || { echo "velorin not ready after 30 s" >&2; exit 1; }
port=$(sed 's/.*"port": *\([0-9]*\).*/\1/' "$dir/ready.json")

exec 3<>"/dev/tcp/127.0.0.1/$port"
body=M101                                        # read the measurement of laser 1
printf '\033%s%s\r' "$body" "$(cks "$body")" >&3  # sends \x1bM10121\r
IFS= read -r -t 5 -d $'\r' -u 3 reply
echo "$reply"                                    # /105000A
exec 3<&-
[ "$reply" = "/105000A" ]

kill -TERM "$pid"
status=0; wait "$pid" || status=$?; pid=
echo "velorin ended with status $status"
exit "$status"
