#!/usr/bin/env bash
# Velorin against a bare epoll echo server of our own, side by side on this machine.
#   bench/run.sh                          # the whole table, about 12 minutes
#   DUREE=2 REPETITIONS=1 bench/run.sh    # a quick look
#   CAS="plc-1-off plc-64-on" bench/run.sh
# The servers run on core 0 and the load generator on core 1. Each case runs REPETITIONS
# times, the servers taking turns; the table gives medians, and each ratio is to the
# baseline measured in the same run. Velorin runs offscreen, once with its log mirrored to
# standard output (sent to /dev/null) and once without the mirror; tube-64 sets stdout sent to
# /dev/null beside stdout piped to a reader that never reads.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${BUILD_DIR:-build}
duree=${DUREE:-5}
prechauffe=${PRECHAUFFE:-1}
repetitions=${REPETITIONS:-3}
sortie=${SORTIE:-$build_dir/bench-resultats}
tous_les_cas="plc-1-off plc-8-off plc-64-off plc-1-on plc-8-on plc-64-on echo-64 laser-8 churn-1 churn-8 salve-128 memoire tube-64 horloge defauts-64 journal-64 proxy-1"
cas_choisis=${CAS:-$tous_les_cas}

make -s build >/dev/null
velorin=$build_dir/velorin
velorin_sans_defauts=$build_dir/bench/velorin_sans_defauts
charge=$build_dir/bench/charge
echo_base=$build_dir/bench/echo_base
mkdir -p "$sortie"
mesures=$sortie/mesures.jsonl
journal_serveurs=$sortie/serveurs.log
: >"$mesures"
: >"$journal_serveurs"

# Below the system's ephemeral range: the churn cases' many client ports never land on them.
port_libre() {
  python3 - "$@" <<'EOF'
import socket, sys
bas = int(open("/proc/sys/net/ipv4/ip_local_port_range").read().split()[0])
pris = {int(p) for p in sys.argv[1:]}
for port in range(bas - 1, 1024, -1):
    if port in pris:
        continue
    s = socket.socket()
    try:
        s.bind(("127.0.0.1", port))
    except OSError:
        continue
    finally:
        s.close()
    print(port)
    break
EOF
}
port_appareil=$(port_libre)
port_controle=$(port_libre "$port_appareil")

attend_port() {
  for _ in $(seq 100); do
    if python3 -c "import socket,sys; socket.create_connection(('127.0.0.1', $1), 0.2).close()" 2>/dev/null; then
      return 0
    fi
    sleep 0.1
  done
  echo "nothing listens on port $1" >&2
  return 1
}

controle() { # METHOD PATH [JSON]
  python3 - "$port_controle" "$@" <<'EOF'
import json, sys, urllib.request
port, methode, chemin = sys.argv[1], sys.argv[2], sys.argv[3]
corps = sys.argv[4].encode() if len(sys.argv) > 4 else None
requete = urllib.request.Request(f"http://127.0.0.1:{port}{chemin}", data=corps, method=methode,
                                 headers={"Content-Type": "application/json"})
print(urllib.request.urlopen(requete, timeout=10).read().decode())
EOF
}

pid_serveur=
pid_lecteur=
arrete_serveur() {
  if [ -n "$pid_lecteur" ]; then
    kill "$pid_lecteur" 2>/dev/null || true
    pid_lecteur=
  fi
  if [ -n "$pid_serveur" ]; then
    kill "$pid_serveur" 2>/dev/null || true
    wait "$pid_serveur" 2>/dev/null || true
    pid_serveur=
  fi
}
trap arrete_serveur EXIT

# demarre SERVER MODE TRACE: SERVER is base, velorin (mirror to /dev/null), velorin-sans-miroir
# or velorin-tube (mirror to a pipe whose reader never reads).
demarre() {
  local serveur=$1 mode=$2 trace=$3
  if [ "$serveur" = base ]; then
    taskset -c 0 "$echo_base" --port "$port_appareil" 2>>"$journal_serveurs" &
  else
    local miroir=LOG=STDOUT sortie_miroir=/dev/null
    [ "$serveur" = velorin-sans-miroir ] && miroir=LOG=OFF
    if [ "$serveur" = velorin-tube ]; then
      sortie_miroir=$sortie/tube
      rm -f "$sortie_miroir"
      mkfifo "$sortie_miroir"
      sleep 100000 <"$sortie_miroir" &
      pid_lecteur=$!
    fi
    QT_QPA_PLATFORM=offscreen taskset -c 0 "$velorin" PORTIP="$port_appareil" \
      CONTROL="$port_controle" MODE="$mode" $miroir ${CLES_EN_PLUS:-} >"$sortie_miroir" \
      2>>"$journal_serveurs" &
  fi
  pid_serveur=$!
  attend_port "$port_appareil"
  if [ "$serveur" != base ]; then
    attend_port "$port_controle"
    controle PATCH /state "{\"Chk_TraceIP\": $trace}" >/dev/null
    controle POST /log/clear >/dev/null
  fi
}

rss_kio() { awk '/^VmRSS:/ {print $2}' "/proc/$pid_serveur/status"; }

# mesure CASE SERVER REPETITION ARGS...: one run of the load generator, its JSON line kept
# with what the server said about its timer.
mesure() {
  local cas=$1 serveur=$2 rep=$3
  shift 3
  [ "$serveur" != base ] && controle POST /timers/reset >/dev/null
  local ligne
  ligne=$(taskset -c 1 "$charge" --port "$port_appareil" --label "$cas" "$@")
  local retard=null
  if [ "$serveur" != base ]; then
    retard=$(controle GET /timers | python3 -c 'import json,sys; print(json.load(sys.stdin)["Timer_Deplacement"]["late_max_ms"])')
  fi
  python3 -c 'import json,sys; d=json.loads(sys.argv[1]); d.update(case=sys.argv[2], server=sys.argv[3], rep=int(sys.argv[4]), late_max_ms=json.loads(sys.argv[5])); print(json.dumps(d))' \
    "$ligne" "$cas" "$serveur" "$rep" "$retard" >>"$mesures"
}

P='\x1bP1\r'
P_REPONSE='\x1b10000000000000000a\r'
M='\x1bM10121\r'
M_REPONSE='/105000A\r'
ECHO='ping-velorin-0123456789\r'

# mesure_p64 CASE SERVER REPETITION: P at 64 clients, each waiting for its reply.
mesure_p64() {
  mesure "$1" "$2" "$3" --connections 64 --request "$P" --reply-cr --expect "$P_REPONSE" \
    --warmup "$prechauffe" --duration "$duree"
}

# Parameters of each case: clients, mode, trace, request, Velorin's reply, extra options.
parametres() {
  case $1 in
    plc-*-off|plc-*-on)
      local n=${1#plc-}; n=${n%-*}
      local t=false; [[ $1 == *-on ]] && t=true
      echo "$n automateOMRON $t $P $P_REPONSE" ;;
    echo-64) echo "64 modeECHO false $ECHO $ECHO" ;;
    laser-8) echo "8 moduleLASERS false $M $M_REPONSE" ;;
    churn-*) echo "${1#churn-} automateOMRON false $P $P_REPONSE --churn" ;;
    *) return 1 ;;
  esac
}

un_cas() {
  local cas=$1
  read -r clients mode trace requete reponse option < <(parametres "$cas")
  local serveurs=(base velorin velorin-sans-miroir)
  for rep in $(seq "$repetitions"); do
    # Take turns: the order rotates with each repetition.
    local decalage=$(( (rep - 1) % 3 ))
    for i in 0 1 2; do
      local serveur=${serveurs[$(( (i + decalage) % 3 ))]}
      local attendu=$reponse
      [ "$serveur" = base ] && attendu=$requete
      demarre "$serveur" "$mode" "$trace"
      mesure "$cas" "$serveur" "$rep" --connections "$clients" ${option:-} \
        --request "$requete" --reply-cr --expect "$attendu" \
        --warmup "$prechauffe" --duration "$duree"
      arrete_serveur
    done
    echo "  $cas, repetition $rep done" >&2
  done
}

# 128 clients connect at once while 64 others keep the server busy: none may need a SYN retry.
salve() {
  for rep in $(seq "$repetitions"); do
    for serveur in base velorin; do
      local attendu=$P_REPONSE
      [ "$serveur" = base ] && attendu=$P
      demarre "$serveur" automateOMRON false
      taskset -c 1 "$charge" --port "$port_appareil" --connections 64 --request "$P" --reply-cr \
        --warmup 0 --duration 4 >/dev/null &
      local pid_charge=$!
      sleep 1.5
      mesure salve-128 "$serveur" "$rep" --burst 128 --request "$P" --reply-cr --expect "$attendu" \
        --duration 10
      wait "$pid_charge"
      arrete_serveur
    done
  done
}

# Velorin's resident memory after 2 x 500,000 requests, then 2 x 5,000 connection cycles,
# with "flux IP" ticked so that every request logs three lines.
memoire() {
  demarre velorin automateOMRON true
  local depart
  depart=$(rss_kio)
  local lignes=("\"start_kib\": $depart")
  for moitie in 1 2; do
    taskset -c 1 "$charge" --port "$port_appareil" --connections 64 --request "$P" --reply-cr \
      --expect "$P_REPONSE" --warmup 0 --duration 600 --requests 500000 >/dev/null
    sleep 0.5
    lignes+=("\"requests_half${moitie}_kib\": $(rss_kio)")
  done
  for moitie in 1 2; do
    taskset -c 1 "$charge" --port "$port_appareil" --connections 8 --churn --request "$P" \
      --reply-cr --expect "$P_REPONSE" --warmup 0 --duration 600 --cycles 5000 >/dev/null
    sleep 0.5
    lignes+=("\"cycles_half${moitie}_kib\": $(rss_kio)")
  done
  arrete_serveur
  local IFS=,
  echo "{\"case\": \"memoire\", ${lignes[*]}}" >>"$mesures"
}

# The fault engine at 64 clients: never consulted (bench/velorin_sans_defauts), with no rule, and with
# 100 rules that never match. Two identical runs differ here by up to 20 %, and the first of a
# series tends to be the fastest, so this case runs three times as often as the others, and the
# servers take each place in turn.
defauts() {
  local regles
  regles=$(python3 -c 'import json; print(json.dumps([{"match": {"command": "Q", "channel": 30000}, "action": {"type": "drop"}}] * 100))')
  local ordre=(velorin-sans-defauts velorin velorin-100-regles)
  for rep in $(seq "${REPETITIONS_DEFAUTS:-$((repetitions * 3))}"); do
    local decalage=$(((rep - 1) % 3))
    for serveur in "${ordre[@]:decalage}" "${ordre[@]:0:decalage}"; do
      if [ "$serveur" = velorin-sans-defauts ]; then
        velorin=$velorin_sans_defauts demarre velorin automateOMRON false
      else
        demarre velorin automateOMRON false
      fi
      [ "$serveur" = velorin-100-regles ] && controle POST /faults "$regles" >/dev/null
      mesure_p64 defauts-64 "$serveur" "$rep"
      arrete_serveur
    done
    echo "  defauts-64, repetition $rep done" >&2
  done
}

# The traffic journal at 64 clients: off, and on to a file (turned over at its default bound),
# the servers taking each place in turn.
journal() {
  local ordre=(velorin velorin-journal)
  for rep in $(seq "$repetitions"); do
    local decalage=$(((rep - 1) % 2))
    for serveur in "${ordre[@]:decalage}" "${ordre[@]:0:decalage}"; do
      rm -f "$sortie/trafic.jsonl" "$sortie/trafic.jsonl.1"
      if [ "$serveur" = velorin-journal ]; then
        CLES_EN_PLUS="JOURNAL=$sortie/trafic.jsonl" demarre velorin automateOMRON false
      else
        demarre velorin automateOMRON false
      fi
      mesure_p64 journal-64 "$serveur" "$rep"
      arrete_serveur
    done
    echo "  journal-64, repetition $rep done" >&2
  done
  rm -f "$sortie/trafic.jsonl" "$sortie/trafic.jsonl.1"
}

# The proxy's added round trip at 1 client: the same device asked directly, then through a
# second Velorin relaying to it (both on the servers' core).
proxy() {
  local port_relais
  port_relais=$(port_libre "$port_appareil" "$port_controle")
  for rep in $(seq "$repetitions"); do
    demarre velorin automateOMRON false
    mesure proxy-1 velorin "$rep" --connections 1 --request "$P" --reply-cr \
      --expect "$P_REPONSE" --warmup "$prechauffe" --duration "$duree"
    QT_QPA_PLATFORM=offscreen taskset -c 0 "$velorin" PORTIP="$port_relais" LOG=OFF \
      PROXY="127.0.0.1:$port_appareil" 2>>"$journal_serveurs" &
    local pid_relais=$!
    attend_port "$port_relais"
    local ligne
    ligne=$(taskset -c 1 "$charge" --port "$port_relais" --label proxy-1 --connections 1 \
      --request "$P" --reply-cr --expect "$P_REPONSE" --warmup "$prechauffe" --duration "$duree")
    python3 -c 'import json,sys; d=json.loads(sys.argv[1]); d.update(case="proxy-1", server="velorin-proxy", rep=int(sys.argv[2])); print(json.dumps(d))' \
      "$ligne" "$rep" >>"$mesures"
    kill "$pid_relais" 2>/dev/null || true
    wait "$pid_relais" 2>/dev/null || true
    arrete_serveur
    echo "  proxy-1, repetition $rep done" >&2
  done
}

# "flux IP" ticked at 64 clients, stdout sent to /dev/null beside stdout piped to a reader that
# never reads, with the resident memory before and after each run.
tube() {
  for rep in $(seq "$repetitions"); do
    for serveur in velorin velorin-tube; do
      demarre "$serveur" automateOMRON true
      local depart
      depart=$(rss_kio)
      mesure_p64 tube-64 "$serveur" "$rep"
      echo "{\"case\": \"tube-rss\", \"server\": \"$serveur\", \"start_kib\": $depart, \"end_kib\": $(rss_kio)}" >>"$mesures"
      arrete_serveur
    done
    echo "  tube-64, repetition $rep done" >&2
  done
}

for cas in $cas_choisis; do
  echo "$cas" >&2
  case $cas in
    salve-128) salve ;;
    memoire) memoire ;;
    tube-64) tube ;;
    defauts-64) defauts ;;
    journal-64) journal ;;
    proxy-1) proxy ;;
    horloge) taskset -c 0 python3 bench/horloge.py --binary "$velorin" --repetitions "$repetitions" >>"$mesures" ;;
    *) un_cas "$cas" ;;
  esac
done

python3 bench/tableau.py "$mesures" | tee "$sortie/tableau.md"
