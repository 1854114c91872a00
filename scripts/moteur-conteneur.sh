#!/usr/bin/env bash
# Runs a container engine command the way Velorin's image, tests and bench use it:
#   scripts/moteur-conteneur.sh build|run|create|... ARGUMENTS
#   scripts/moteur-conteneur.sh --nom        prints which engine would be used
# A Docker engine that answers is used as it is. Otherwise podman, installed from Debian's
# packages when missing (as root), with packaging/container/containers.conf (runc, cgroupfs, no
# default limits) and explicit limits on open files and processes, within this machine's own,
# for the commands that start containers. ENGINE=docker|podman chooses.
set -euo pipefail
racine="$(cd "$(dirname "$0")/.." && pwd)"

dit() { echo "moteur-conteneur: $*" >&2; }

installe_podman() {
  local paquets=(podman runc uidmap slirp4netns fuse-overlayfs containernetworking-plugins)
  local manquants=()
  for p in "${paquets[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' \
      || manquants+=("$p")
  done
  [ ${#manquants[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ] || ! command -v apt-get >/dev/null; then
    dit "no engine answers; install podman and runc (or start Docker)"
    exit 1
  fi
  dit "installing ${manquants[*]} from Debian's packages"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=600 \
    "${manquants[@]}" >/dev/null
}

choisit() {
  if [ -n "${ENGINE:-}" ]; then
    echo "$ENGINE"
  elif command -v docker >/dev/null && timeout 20 docker info >/dev/null 2>&1; then
    echo docker
  else
    echo podman
  fi
}

# A limit no higher than the hard one of this shell, nor than `plafond`.
limite() {
  local dure=$1 plafond=$2
  if [ "$dure" = unlimited ] || [ "$dure" -gt "$plafond" ]; then echo "$plafond"; else echo "$dure"; fi
}

moteur=$(choisit)
if [ "${1:-}" = --nom ]; then
  echo "$moteur"
  exit 0
fi
if [ "$moteur" = docker ]; then
  exec docker "$@"
fi
command -v podman >/dev/null && command -v runc >/dev/null || installe_podman
if command -v runc >/dev/null; then
  export CONTAINERS_CONF="${CONTAINERS_CONF:-$racine/packaging/container/containers.conf}"
fi
# Each device's client holds a descriptor; a shard of 1,000 devices wants a few thousand.
fichiers=$(limite "$(ulimit -Hn)" 65536)
processus=$(limite "$(ulimit -Hu)" 4096)
case "${1:-}" in
  run | create | build)
    commande=$1
    shift
    exec podman "$commande" --ulimit "nofile=$fichiers:$fichiers" \
      --ulimit "nproc=$processus:$processus" "$@"
    ;;
  *) exec podman "$@" ;;
esac
