#!/usr/bin/env bash
# The load generator against the baseline server: right replies are counted as such, wrong
# ones as mismatches, a closed port as errors, and every mode ends by itself.
set -euo pipefail
charge=$1
echo_base=$2
echec() { echo "FAILED: $*" >&2; exit 1; }
champ() { python3 -c 'import json,sys; print(json.loads(sys.argv[1])[sys.argv[2]])' "$1" "$2"; }

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"$echo_base" --port "$port" --lifetime 60 2>/dev/null &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 0.2).close()" 2>/dev/null && break
  sleep 0.1
done

r=$("$charge" --port "$port" --connections 8 --inflight 2 --request '\x1bP1\r' --reply-cr \
      --expect '\x1bP1\r' --warmup 0.1 --duration 0.5)
[ "$(champ "$r" mismatches)" = 0 ] && [ "$(champ "$r" errors)" = 0 ] || echec "ping-pong: $r"
[ "$(champ "$r" requests)" -gt 100 ] || echec "ping-pong served too little: $r"

r=$("$charge" --port "$port" --request 'abc\r' --reply-len 4 --expect 'abd\r' --warmup 0 --requests 50)
[ "$(champ "$r" requests)" = 50 ] && [ "$(champ "$r" mismatches)" = 50 ] || echec "mismatches: $r"

r=$("$charge" --port "$port" --connections 2 --churn --request 'x\r' --reply-cr --expect 'x\r' \
      --warmup 0 --cycles 200)
[ "$(champ "$r" requests)" = 200 ] && [ "$(champ "$r" errors)" = 0 ] || echec "churn: $r"

r=$("$charge" --port "$port" --burst 64 --request 'y\r' --reply-cr --expect 'y\r' --duration 5)
[ "$(champ "$r" requests)" = 64 ] && [ "$(champ "$r" errors)" = 0 ] || echec "burst: $r"

kill $pid; wait $pid 2>/dev/null || true
r=$("$charge" --port "$port" --request 'z\r' --reply-cr --warmup 0 --duration 0.5)
[ "$(champ "$r" errors)" -gt 0 ] && [ "$(champ "$r" requests)" = 0 ] || echec "closed port: $r"
echo "load generator: all checks passed"
