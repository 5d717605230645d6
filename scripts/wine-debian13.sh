#!/usr/bin/env bash
# Le Wine de Debian 13 (paquets wine et wine64 de trixie) dans un chroot mis en cache, pour
# l'essai de bout en bout sous Wine : celui de Debian 12 (Wine 8.0) fait attendre WaitCommEvent
# dans le fil qui l'appelle et ne prévient pas le port de complétion du fichier, si bien que
# QSerialPort n'y lit jamais un octet d'un port série. Seuls des paquets Debian y entrent.
#
#   scripts/wine-debian13.sh            construit le chroot s'il manque, puis écrit son chemin
#   scripts/wine-debian13.sh --chemin   écrit seulement le chemin
#
# Le chroot est refait quand RECETTE change. PELORANE_CACHE déplace le cache (comme pour Qt).
set -euo pipefail

RECETTE=1
CACHE_RACINE="${PELORANE_CACHE:-/var/cache/pelorane}"
RACINE="$CACHE_RACINE/debian13-wine-r$RECETTE"

if [ "${1:-}" = "--chemin" ] || [ -f "$RACINE/.complet" ]; then
    echo "$RACINE"
    exit 0
fi

mkdir -p "$CACHE_RACINE"
exec 9>"$CACHE_RACINE/.debian13-wine.verrou"
flock 9
if [ -f "$RACINE/.complet" ]; then
    echo "$RACINE"
    exit 0
fi
command -v debootstrap >/dev/null || { echo "wine-debian13 : debootstrap manque (scripts/paquets.sh)" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || { echo "wine-debian13 : il faut être root (debootstrap, chroot)" >&2; exit 1; }

debut=$(date +%s)
# Jamais d'effacement à travers un montage laissé par un essai interrompu (le dépôt, /dev…).
if grep -q " $RACINE/" /proc/mounts; then
    echo "wine-debian13 : des dossiers sont encore montés dans $RACINE ; démontez-les d'abord" >&2
    exit 1
fi
rm -rf "$RACINE"
journal="$CACHE_RACINE/debian13-wine.journal.txt"
echo "wine-debian13 : debootstrap trixie dans $RACINE" >&2
debootstrap --variant=minbase trixie "$RACINE" http://deb.debian.org/debian >"$journal" 2>&1 \
    || { tail -20 "$journal" >&2; exit 1; }
echo "wine-debian13 : wine et wine64" >&2
chroot "$RACINE" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends wine wine64 \
    >>"$journal" 2>&1 || { tail -20 "$journal" >&2; exit 1; }
chroot "$RACINE" apt-get clean >>"$journal" 2>&1
# .complet n'apparaît qu'entier : un échec ici laisse le chroot à refaire.
{
    echo "wine $(chroot "$RACINE" dpkg-query -W -f='${Version}' wine64)"
    echo "construit en $(( $(date +%s) - debut )) s le $(date -u +%FT%TZ)"
} >"$RACINE/.complet.tmp"
mv "$RACINE/.complet.tmp" "$RACINE/.complet"
echo "wine-debian13 : $(tail -n1 "$RACINE/.complet")" >&2
echo "$RACINE"
