#!/usr/bin/env bash
# Starts Velorin on a free port, waits until it serves, asks the PLC for its version and for
# the positions of its axes, then stops it. The program is $VELORIN, or velorin on the PATH.
set -euo pipefail

dir=$(mktemp -d)
pid=
trap '[ -z "$pid" ] || kill -KILL "$pid" 2>/dev/null; rm -rf "$dir"' EXIT

# The pid the ready file names, if there is one.
ready_pid() { sed -n 's/.*"pid": *\([0-9]*\).*/\1/p' "$dir/ready.json" 2>/dev/null; }

# A file left by an earlier run at that path says nothing of this one: it goes first.
rm -f "$dir/ready.json"
"${VELORIN:-velorin}" portip=0 ready="$dir/ready.json" log="$dir/velorin.log" \
  </dev/null >/dev/null 2>"$dir/stderr" &
pid=$!

# The ready file appears once every port listens, and names this process. Wait for it 30 s at
# most, and stop waiting as soon as the process has ended (a start-up failure: the reason is
# on its stderr).
for ((i = 0; i < 300; i++)); do
  [ "$(ready_pid)" = "$pid" ] && break
  if ! kill -0 "$pid" 2>/dev/null; then
    status=0; wait "$pid" || status=$?; pid=
    echo "velorin ended with status $status: $(cat "$dir/stderr")" >&2
    exit 1
  fi
  sleep 0.1
done
[ "$(ready_pid)" = "$pid" ] || { echo "velorin not ready after 30 s" >&2; exit 1; }
cat "$dir/ready.json"            # {"control_port":null,"mode":"automateOMRON","pid":...}
port=$(sed 's/.*"port": *\([0-9]*\).*/\1/' "$dir/ready.json")

exec 3<>"/dev/tcp/127.0.0.1/$port"               # bash's own TCP client
printf '\033V1\r' >&3                            # the PLC's version, tag 1
IFS= read -r -t 5 -d $'\r' -u 3 reply            # the reply up to its CR, 5 s at most
echo "${reply:2}"                                # version Velorin  (after ESC and the tag)
printf '\033P1\r' >&3                            # where are the axes?
IFS= read -r -t 5 -d $'\r' -u 3 reply
echo "${reply:2}"                                # 0000000000000000a  (X 0, Z 0, both at rest)
exec 3<&-

kill -TERM "$pid"                                # the usual shutdown, within 2 s
status=0; wait "$pid" || status=$?; pid=
echo "velorin ended with status $status"         # 0
exit "$status"
