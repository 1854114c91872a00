#!/usr/bin/env bash
# Several Velorins at once, as parallel CI jobs start them: each on a port the system picks,
# each with its own ready file and log. Each echoes a text of its own, then all are stopped.
# The program is $VELORIN, or velorin on the PATH; the first argument says how many (4).
set -euo pipefail

count=${1:-4}
dir=$(mktemp -d)
pids=()
trap 'for p in "${pids[@]}"; do kill -KILL "$p" 2>/dev/null || true; done; rm -rf "$dir"' EXIT

# The pid the ready file of job $1 names, if there is one.
ready_pid() { sed -n 's/.*"pid": *\([0-9]*\).*/\1/p' "$dir/ready$1.json" 2>/dev/null; }

for ((k = 1; k <= count; k++)); do
  rm -f "$dir/ready$k.json"                      # an earlier run's file says nothing of this one
  "${VELORIN:-velorin}" portip=0 mode=modeECHO ready="$dir/ready$k.json" log="$dir/log$k" \
    </dev/null >/dev/null 2>&1 &
  pids+=($!)
done

ports=()
for ((k = 1; k <= count; k++)); do
  for ((i = 0; i < 300; i++)); do                # 30 s at most for each
    [ "$(ready_pid "$k")" = "${pids[k - 1]}" ] && break   # the file names this job's process
    kill -0 "${pids[k - 1]}" 2>/dev/null || { echo "velorin $k ended at start-up" >&2; exit 1; }
    sleep 0.1
  done
  [ "$(ready_pid "$k")" = "${pids[k - 1]}" ] \
    || { echo "velorin $k not ready after 30 s" >&2; exit 1; }
  ports+=("$(sed 's/.*"port": *\([0-9]*\).*/\1/' "$dir/ready$k.json")")

  exec 3<>"/dev/tcp/127.0.0.1/${ports[k - 1]}"
  printf 'hello from job %d\n' "$k" >&3          # echo mode: comes back unchanged
  IFS= read -r -t 5 -u 3 reply
  exec 3<&-
  [ "$reply" = "hello from job $k" ] || { echo "velorin $k answered '$reply'" >&2; exit 1; }
done
echo "$count Velorins on ports ${ports[*]}"

kill -TERM "${pids[@]}"
for pid in "${pids[@]}"; do
  wait "$pid" || { echo "velorin $pid ended with status $?" >&2; exit 1; }
done
pids=()
echo "all ended with status 0"
