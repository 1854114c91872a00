#!/usr/bin/env bash
# Builds the .deb from the build tree into a scratch directory and checks what apt will see.
#   verifie_paquet.sh <build dir> <version>
set -euo pipefail

build=$1
version=$2
sortie=$(mktemp -d)
trap 'rm -rf "$sortie"' EXIT

echecs=0
echec() { echo "FAIL: $*" >&2; echecs=$((echecs + 1)); }

cpack --config "$build/CPackConfig.cmake" -B "$sortie" >"$sortie/cpack.log" 2>&1 \
  || { cat "$sortie/cpack.log" >&2; exit 1; }

paquet=$sortie/velorin_${version}_$(dpkg --print-architecture).deb
[ -f "$paquet" ] || { echec "no $(basename "$paquet"); cpack made: $(ls "$sortie")"; exit 1; }

champ() { dpkg-deb -f "$paquet" "$1"; }
[ "$(champ Package)" = velorin ] || echec "Package is '$(champ Package)'"
[ "$(champ Version)" = "$version" ] || echec "Version is '$(champ Version)'"

# Depends: the Qt libraries found by dpkg-shlibdeps, plus the platform plugins Qt loads at
# run time, without which the program cannot even start headless.
depends=$(champ Depends)
echo "Depends: $depends"
for attendu in libqt6widgets6 libqt6network6 libqt6httpserver6 libc6 qt6-qpa-plugins; do
  grep -Eq "(^|, )$attendu( |,|$)" <<<"$depends" || echec "Depends lacks $attendu"
done

# Contents: system-wide paths, the programs executable.
contenu=$(dpkg-deb -c "$paquet")
for chemin in ./usr/bin/velorin ./usr/bin/velorin-rejoue ./usr/share/applications/velorin.desktop \
  ./usr/share/icons/hicolor/{16x16,32x32,48x48}/apps/velorin.png \
  ./usr/lib/python3/dist-packages/velorin/{__init__.py,greffon.py,py.typed} \
  ./usr/lib/python3/dist-packages/velorin-"$version".dist-info/{METADATA,entry_points.txt}; do
  grep -q " $chemin\$" <<<"$contenu" || echec "package lacks $chemin"
done
for programme in velorin velorin-rejoue; do
  grep -Eq "^-rwxr-xr-x .* \./usr/bin/$programme\$" <<<"$contenu" || echec "usr/bin/$programme not 0755"
done
if grep -E '^d' <<<"$contenu" | grep -Ev '^drwxr-xr-x'; then
  echec "directories above are not 0755"
fi

# What apt would unpack, as a user's tests meet it: the programs and the Python package.
dpkg-deb -x "$paquet" "$sortie/racine"
mkdir "$sortie/essais"
resultat=$(bash "$(dirname "$0")/lance_essais_installes.sh" "$sortie/racine/usr" \
  "$sortie/racine/usr/lib/python3/dist-packages" "$sortie/essais" 2>&1) \
  || echec "a user's tests fail against the package's contents:
$resultat"

[ "$echecs" = 0 ] && echo "paquet: all checks passed"
exit "$echecs"
