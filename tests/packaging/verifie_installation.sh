#!/usr/bin/env bash
# Installs the build tree into a scratch root as a distribution would (prefix /usr) and checks
# what a desktop sees there: the programs, the menu entry and its icons.
#   verifie_installation.sh <build dir> <version>
set -euo pipefail

build=$1
version=$2
racine=$(mktemp -d)
velorin_pid=
nettoie() {
  [ -n "$velorin_pid" ] && kill -KILL "$velorin_pid" 2>/dev/null
  rm -rf "$racine"
}
trap nettoie EXIT

echecs=0
echec() { echo "FAIL: $*" >&2; echecs=$((echecs + 1)); }

DESTDIR="$racine" cmake --install "$build" --prefix /usr >/dev/null
usr=$racine/usr

# Nothing outside the usual places, and nothing the package does not mean to ship.
# The Python package: its modules as the sources have them, and pytest's entry point.
paquet_python=lib/python3/dist-packages
sources_python=$(cd "$(dirname "$0")/../../python/velorin" && pwd)
modules=$(cd "$sources_python" && ls ./*.py py.typed | sed "s|^\./||; s|^|$paquet_python/velorin/|")
attendus=$(printf '%s\n' bin/velorin bin/velorin-rejoue share/applications/velorin.desktop \
  share/icons/hicolor/{16x16,32x32,48x48}/apps/velorin.png $modules \
  $paquet_python/velorin-$version.dist-info/{METADATA,entry_points.txt,top_level.txt} | sort)
trouves=$(cd "$racine" && find . -type f | sed 's|^\./usr/||' | sort)
[ "$trouves" = "$attendus" ] || echec "installed files differ from the expected set:
$(diff <(echo "$attendus") <(echo "$trouves") || true)"

# The programs: executable, and finding their libraries where the system keeps them, not
# through a run path of their own (into the build tree, or beside themselves).
for programme in velorin velorin-rejoue; do
  chemin=$usr/bin/$programme
  [ -x "$chemin" ] || { echec "bin/$programme is not executable"; continue; }
  if chemins=$(readelf -d "$chemin" | grep -E 'R(UN)?PATH'); then
    echec "installed $programme keeps a run path: $chemins"
  fi
  # Each tells the project's version, the one the package is named after.
  if dit=$(env -u DISPLAY -u WAYLAND_DISPLAY "$chemin" --version 2>"$racine/stderr"); then
    [ "$dit" = "$programme $version" ] || echec "--version says '$dit', not '$programme $version'"
  else
    echec "$programme --version failed: $(cat "$racine/stderr")"
  fi
done
binaire=$usr/bin/velorin

# The menu entry: valid, and pointing at the program and icon installed beside it.
bureau=$usr/share/applications/velorin.desktop
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$bureau" || echec "desktop-file-validate rejects velorin.desktop"
fi
cle() { sed -n "s/^$1=//p" "$bureau"; }
[ "$(head -n1 "$bureau")" = "[Desktop Entry]" ] || echec "no [Desktop Entry] group first"
[ "$(cle Type)" = Application ] || echec "Type is '$(cle Type)'"
[ "$(cle Name)" = Velorin ] || echec "Name is '$(cle Name)'"
[ -n "$(cle Comment)" ] || echec "no Comment"
[ "$(cle Terminal)" = false ] || echec "Terminal is '$(cle Terminal)'"
commande=$(cle Exec | cut -d' ' -f1)
[ -x "$usr/bin/$commande" ] || echec "Exec '$commande' is not an installed program"
for categorie in Development Network; do
  case ";$(cle Categories);" in
    *";$categorie;"*) ;;
    *) echec "Categories '$(cle Categories)' lack $categorie" ;;
  esac
done

# The icons: true PNGs of their directory's size, with an alpha channel so the chip's
# corners stay transparent on any panel.
nom_icone=$(cle Icon)
for taille in 16 32 48; do
  png=$usr/share/icons/hicolor/${taille}x${taille}/apps/$nom_icone.png
  if [ ! -f "$png" ]; then
    echec "no icon '$nom_icone' at ${taille}x${taille}"
    continue
  fi
  # Signature, then IHDR: width and height (4 bytes each, big-endian), depth, colour type.
  entete=($(od -An -tu1 -N26 -v "$png"))
  [ "${entete[*]:0:8}" = "137 80 78 71 13 10 26 10" ] || { echec "$png is not a PNG"; continue; }
  largeur=$(( (entete[16] << 24) | (entete[17] << 16) | (entete[18] << 8) | entete[19] ))
  hauteur=$(( (entete[20] << 24) | (entete[21] << 16) | (entete[22] << 8) | entete[23] ))
  [ "$largeur"x"$hauteur" = "$taille"x"$taille" ] || echec "$png is ${largeur}x${hauteur}"
  [ "${entete[25]}" = 6 ] || echec "$png has colour type ${entete[25]}, not RGBA"
done

# The Python package imports from there and says the project's version; a user's tests run
# with the installed programs, pytest finding the fixtures through the entry point alone.
for module in "$sources_python"/*.py; do
  cmp -s "$module" "$usr/$paquet_python/velorin/$(basename "$module")" \
    || echec "installed $(basename "$module") differs from the sources"
done
dit=$(PYTHONPATH=$usr/$paquet_python /usr/bin/python3 -c \
  'import importlib.metadata as m, velorin; print(m.version("velorin"), velorin.__version__)' 2>&1) \
  || true
[ "$dit" = "$version $version" ] || echec "the Python package says '$dit', not '$version $version'"
mkdir "$racine/essais"
sortie=$(bash "$(dirname "$0")/lance_essais_installes.sh" "$usr" "$usr/$paquet_python" \
  "$racine/essais" 2>&1) || echec "a user's tests fail against the installed tree:
$sortie"

# The installed program runs on its own: headless, it serves, and SIGTERM ends it with 0.
journal=$racine/velorin.log
for essai in 1 2 3 4 5; do
  port=$((20000 + RANDOM % 40000))
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
    "$binaire" portip=$port log=stdout >"$journal" 2>&1 &
  velorin_pid=$!
  for _ in $(seq 100); do
    grep -q "en attente de communication" "$journal" && break
    kill -0 "$velorin_pid" 2>/dev/null || break
    sleep 0.05
  done
  grep -q "en attente de communication" "$journal" && break
  # Most likely the port was taken: reap it and try another.
  kill -KILL "$velorin_pid" 2>/dev/null || true
  wait "$velorin_pid" 2>/dev/null || true
  velorin_pid=
done
if [ -z "$velorin_pid" ]; then
  echec "installed velorin did not start serving:
$(cat "$journal")"
else
  kill -TERM "$velorin_pid"
  statut=0
  wait "$velorin_pid" || statut=$?
  velorin_pid=
  [ "$statut" = 0 ] || echec "installed velorin ended with status $statut after SIGTERM"
fi

[ "$echecs" = 0 ] && echo "installation: all checks passed"
exit "$echecs"
