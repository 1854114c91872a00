#!/usr/bin/env bash
# `make image`: builds Velorin's container image from this source and says each step.
#   IMAGE=localhost/velorin:dev   the name given to the image
#   BASE=debian:12-slim           what the image runs on; BUILDER_BASE=debian:12 builds the .deb
#   JOBS=2                        compilers at once inside the build
# Where BASE or BUILDER_BASE cannot be pulled (no registry reachable), a Debian 12 base is made
# from Debian's packages with debootstrap (bookworm, minbase), imported as
# localhost/velorin-base:bookworm, and used for both; a base already there is used again.
# The engine is the one scripts/moteur-conteneur.sh chooses (Docker that answers, else podman).
set -euo pipefail
racine="$(cd "$(dirname "$0")/.." && pwd)"
cd "$racine"
IMAGE=${IMAGE:-localhost/velorin:dev}
BASE=${BASE:-debian:12-slim}
BUILDER_BASE=${BUILDER_BASE:-debian:12}
JOBS=${JOBS:-2}
BASE_LOCALE=localhost/velorin-base:bookworm
MIROIR=${MIROIR:-http://deb.debian.org/debian}
moteur="$racine/scripts/moteur-conteneur.sh"

dit() { echo "image: $*"; }

existe() { "$moteur" image inspect "$1" >/dev/null 2>&1; }

# The image named, pulled if need be; nothing when no registry has it.
disponible() {
  existe "$1" && return 0
  dit "pulling $1"
  timeout 120 "$moteur" pull "$1" >/dev/null 2>&1
}

base_locale() {
  if existe "$BASE_LOCALE"; then
    dit "using the base made earlier, $BASE_LOCALE"
    return 0
  fi
  if ! command -v debootstrap >/dev/null; then
    [ "$(id -u)" -eq 0 ] || { dit "debootstrap is missing: apt-get install debootstrap"; exit 1; }
    dit "installing debootstrap from Debian's packages"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
      -o DPkg::Lock::Timeout=600 debootstrap >/dev/null
  fi
  local dossier
  dossier=$(mktemp -d /var/tmp/velorin-base.XXXXXX)
  trap 'rm -rf "$dossier"' EXIT
  dit "making a Debian 12 base with debootstrap (bookworm, minbase) from $MIROIR"
  debootstrap --variant=minbase bookworm "$dossier" "$MIROIR" >"$dossier.log" 2>&1 \
    || { tail -20 "$dossier.log" >&2; rm -f "$dossier.log"; exit 1; }
  rm -f "$dossier.log"
  # What debian:12-slim leaves out too: documentation, manual pages and translations (now and
  # for every package installed on it later), apt's lists and downloaded packages.
  printf '%s\n' 'path-exclude /usr/share/doc/*' 'path-include /usr/share/doc/*/copyright' \
    'path-exclude /usr/share/man/*' 'path-exclude /usr/share/locale/*' \
    'path-exclude /usr/share/info/*' >"$dossier/etc/dpkg/dpkg.cfg.d/velorin-sans-doc"
  find "$dossier"/usr/share/doc -mindepth 1 ! -name copyright ! -type d -delete
  rm -rf "$dossier"/usr/share/man/* "$dossier"/usr/share/locale/* "$dossier"/usr/share/info/* \
    "$dossier"/var/cache/apt/archives/*.deb "$dossier"/var/cache/apt/*.bin \
    "$dossier"/var/lib/apt/lists/*
  dit "importing it as $BASE_LOCALE"
  tar -C "$dossier" --numeric-owner -c . | "$moteur" import - "$BASE_LOCALE" >/dev/null
  rm -rf "$dossier"
  trap - EXIT
}

debut=$SECONDS
nom=$("$moteur" --nom)
dit "engine: $nom"
"$moteur" --version >/dev/null
for variable in BASE BUILDER_BASE; do
  if ! disponible "${!variable}"; then
    dit "${!variable} cannot be pulled: $variable is a base made here"
    base_locale
    printf -v "$variable" '%s' "$BASE_LOCALE"
  fi
done
format=()
[ "$nom" = podman ] && format=(--format docker)
dit "building $IMAGE on $BASE (the .deb made on $BUILDER_BASE), $JOBS jobs"
"$moteur" build "${format[@]}" --build-arg "BASE=$BASE" --build-arg "BUILDER_BASE=$BUILDER_BASE" \
  --build-arg "JOBS=$JOBS" -f packaging/container/Containerfile -t "$IMAGE" .
taille=$("$moteur" image inspect --format '{{.Size}}' "$IMAGE")
dit "$IMAGE built in $((SECONDS - debut)) s, $((taille / 1024 / 1024)) MiB"
