#!/usr/bin/env bash
# Construit Qt 6 pour Windows 64 bits (MinGW-w64) dans un cache hors des dossiers de construction.
#
#   scripts/qt-windows.sh            construit le cache s'il manque, puis écrit son chemin
#   scripts/qt-windows.sh --chemin   écrit seulement le chemin du cache (sans rien construire)
#
# Le cache est nommé par les versions qui le font : celle de Qt (paquet Debian qt6-base, dont les
# outils hôtes de /usr servent à la construction), celle de MinGW-w64 et celle de cette recette.
# Quand il est complet (fichier .complet), le script ne fait rien : la CI le retrouve d'une passe à
# l'autre sur la même machine, et le reconstruit seule sur une machine neuve.
#
# Sources : les paquets sources de Debian seuls, pris par apt-get source au travers d'une
# configuration apt privée (la liste des sources du système n'est pas touchée), avec leurs correctifs.
# Pour qt6-serialport et qt6-charts, quand le dépôt ne sert pas leurs archives, les mêmes versions
# amont de ../shared/third-party/ sont prises, après vérification de leur somme SHA-256.
set -euo pipefail

ici="$(cd "$(dirname "$0")" && pwd)"
depot="$(cd "$ici/.." && pwd)"

QT_AMONT=6.4.2
RECETTE=1                               # à monter quand les options ci-dessous changent
MINGW=x86_64-w64-mingw32
HOTE_CMAKE=/usr/lib/x86_64-linux-gnu/cmake
TIERS="${PELORANE_TIERS:-$(cd "$depot/.." && pwd)/shared/third-party}"
CACHE_RACINE="${PELORANE_CACHE:-/var/cache/pelorane}"
TACHES="${PELORANE_TACHES:-$(nproc)}"

version_paquet() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null || true; }

qt_hote="$(version_paquet qt6-base-dev)"
mingw_version="$(version_paquet g++-mingw-w64-x86-64-posix)"
if [ -z "$qt_hote" ] || [ -z "$mingw_version" ]; then
    echo "qt-windows : il faut qt6-base-dev et g++-mingw-w64-x86-64-posix (scripts/paquets.sh)" >&2
    exit 1
fi
case "$qt_hote" in
    "$QT_AMONT"*) ;;
    *) echo "qt-windows : les outils hôtes sont en Qt $qt_hote, la recette attend $QT_AMONT" >&2; exit 1 ;;
esac
gcc_version="${mingw_version%%-*}"                      # 12.2.0
PREFIXE="$CACHE_RACINE/qt-$qt_hote-mingw$gcc_version-r$RECETTE"

if [ "${1:-}" = "--chemin" ]; then
    echo "$PREFIXE"
    exit 0
fi
if [ -f "$PREFIXE/.complet" ]; then
    echo "$PREFIXE"
    exit 0
fi

mkdir -p "$CACHE_RACINE"
# Deux passes en même temps ne construisent pas le même cache : la seconde attend la première.
exec 9>"$CACHE_RACINE/.qt-windows.verrou"
flock 9
if [ -f "$PREFIXE/.complet" ]; then
    echo "$PREFIXE"
    exit 0
fi

debut=$(date +%s)
travail="$PREFIXE.travail"
journal="$travail/journal.txt"
etape() { echo "qt-windows : $*" >&2; }
# Une construction interrompue (machine arrêtée, tâche de CI coupée) reprend où elle en était :
# les sources prêtes sont gardées, et ninja ne refait que ce qui manque.
if [ -f "$travail/.sources-pretes" ]; then
    etape "reprise de la construction dans $travail"
    src_base="$(cat "$travail/.sources-pretes" | sed -n 1p)"
    src_serie="$(cat "$travail/.sources-pretes" | sed -n 2p)"
    src_graphes="$(cat "$travail/.sources-pretes" | sed -n 3p)"
else
rm -rf "$PREFIXE" "$travail"
mkdir -p "$PREFIXE" "$travail/apt/etc" "$travail/apt/listes/partial" "$travail/apt/cache/archives/partial" \
         "$travail/src"

# --- Sources par apt-get source, configuration privée -------------------------------------
cat >"$travail/apt/etc/debian-src.sources" <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
apt_prive=(-o "Dir::Etc::SourceList=/dev/null" -o "Dir::Etc::SourceParts=$travail/apt/etc"
           -o "Dir::State::Lists=$travail/apt/listes" -o "Dir::Cache=$travail/apt/cache")
# apt descend sur l'utilisateur _apt pour télécharger ; il n'écrirait pas dans ce dossier.
[ "$(id -u)" -eq 0 ] && apt_prive+=(-o "APT::Sandbox::User=root")

etape "index des sources Debian"
apt-get "${apt_prive[@]}" -qq update >>"$journal" 2>&1

cd "$travail/src"
etape "sources de qt6-base $qt_hote et de sqlite3"
apt-get "${apt_prive[@]}" -qq source "qt6-base=$qt_hote" >>"$journal" 2>&1
apt-get "${apt_prive[@]}" -qq source sqlite3 >>"$journal" 2>&1

# Source d'un module : le paquet Debian, sinon l'archive amont vérifiée (et les correctifs Debian
# quand leur archive a pu être prise).
source_module() {
    local paquet="$1" amont="$2" dossier
    if apt-get "${apt_prive[@]}" -qq source "$paquet=$QT_AMONT*" >>"$journal" 2>&1; then
        dossier="$(find . -maxdepth 1 -type d -name "$paquet-$QT_AMONT*" | head -n1)"
        echo "$travail/src/$dossier"
        return 0
    fi
    local archive="$amont-everywhere-src-$QT_AMONT.tar.xz"
    etape "$paquet : le dépôt ne sert pas l'archive, repli sur $TIERS/$archive" 
    (cd "$TIERS" && grep " $archive\$" SHA256SUMS | sha256sum -c --quiet -) >&2 || {
        echo "qt-windows : somme SHA-256 fausse ou absente pour $archive" >&2; return 1; }
    tar xf "$TIERS/$archive"
    dossier="$travail/src/$amont-everywhere-src-$QT_AMONT"
    local correctifs
    correctifs="$(ls ${paquet}_*.debian.tar.xz 2>/dev/null | head -n1 || true)"
    if [ -n "$correctifs" ]; then
        tar xf "$correctifs" -C "$dossier"
        if [ -f "$dossier/debian/patches/series" ]; then
            local c
            grep -v '^\s*#' "$dossier/debian/patches/series" | while read -r c; do
                [ -n "$c" ] && patch -d "$dossier" -p1 -s <"$dossier/debian/patches/$c"
            done
        fi
    fi
    echo "$dossier"
}
etape "sources de qt6-serialport et qt6-charts"
src_serie="$(source_module qt6-serialport qtserialport)"
src_graphes="$(source_module qt6-charts qtcharts)"
src_base="$travail/src/$(find . -maxdepth 1 -type d -name 'qt6-base-*' | head -n1)"

# --- SQLite en un seul fichier, à la place de celui que Debian a retiré de qtbase ------------
etape "amalgame SQLite (tclsh)"
src_sqlite="$travail/src/$(find . -maxdepth 1 -type d -name 'sqlite3-*' | head -n1)"
mkdir -p "$travail/sqlite"
(cd "$travail/sqlite" && "$src_sqlite/configure" --disable-tcl >>"$journal" 2>&1 \
    && make -j"$TACHES" sqlite3.c >>"$journal" 2>&1)
mkdir -p "$src_base/src/3rdparty/sqlite"
cp "$travail/sqlite/sqlite3.c" "$travail/sqlite/sqlite3.h" "$src_base/src/3rdparty/sqlite/"
[ -f "$travail/sqlite/sqlite3ext.h" ] && cp "$travail/sqlite/sqlite3ext.h" "$src_base/src/3rdparty/sqlite/"
printf '%s\n' "$src_base" "$src_serie" "$src_graphes" >"$travail/.sources-pretes"
fi

# --- qtbase -----------------------------------------------------------------------------------
# La chaîne de compilation est recopiée dans le cache : les fichiers CMake de Qt la citent par son
# chemin, qui doit survivre au dossier de travail qui a lancé la construction.
cp "$depot/cmake/mingw-w64-x86_64.cmake" "$PREFIXE/mingw-w64-x86_64.cmake"

if [ ! -f "$travail/qtbase/build.ninja" ]; then
etape "configuration de qtbase"
# Tous les modules en une fois : en ajouter un plus tard reconstruit tout.
# tabletevent : l'archive Debian n'a plus wintab. INPUT_opengl=no : FEATURE_opengl=OFF seul laisse
# l'OpenGL dynamique. direct2d reste : sans lui, Print Support ne se lie pas en 6.4.2.
cmake -G Ninja -S "$src_base" -B "$travail/qtbase" \
    -DCMAKE_TOOLCHAIN_FILE="$PREFIXE/mingw-w64-x86_64.cmake" \
    -DCMAKE_INSTALL_PREFIX="$PREFIXE" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="$HOTE_CMAKE" \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_doubleconversion=OFF \
    -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF -DFEATURE_system_freetype=OFF \
    -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_sqlite=OFF -DFEATURE_zstd=OFF \
    -DFEATURE_openssl=OFF -DINPUT_openssl=no -DFEATURE_icu=OFF -DFEATURE_dbus=OFF \
    -DFEATURE_sql=ON -DFEATURE_sql_sqlite=ON -DFEATURE_sql_odbc=ON \
    -DFEATURE_sql_psql=OFF -DFEATURE_sql_mysql=OFF -DFEATURE_sql_ibase=OFF -DFEATURE_sql_oci=OFF \
    -DFEATURE_sql_db2=OFF \
    -DFEATURE_gui=ON -DFEATURE_widgets=ON -DFEATURE_printsupport=ON -DFEATURE_testlib=ON \
    -DFEATURE_network=ON -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_vulkan=OFF \
    -DFEATURE_tabletevent=OFF -DINPUT_opengl=no -DFEATURE_androiddeployqt=OFF \
    >>"$journal" 2>&1 || { tail -n 40 "$journal" >&2; rm -rf "$travail/qtbase"; exit 1; }
fi
etape "construction de qtbase ($TACHES tâches)"
cmake --build "$travail/qtbase" --parallel "$TACHES" >>"$journal" 2>&1 || { tail -n 40 "$journal" >&2; exit 1; }
cmake --install "$travail/qtbase" >>"$journal" 2>&1

# --- modules ----------------------------------------------------------------------------------
for module in "$src_serie" "$src_graphes"; do
    nom="$(basename "$module")"
    etape "construction de $nom"
    cmake -G Ninja -S "$module" -B "$travail/$nom" \
        -DCMAKE_TOOLCHAIN_FILE="$PREFIXE/lib/cmake/Qt6/qt.toolchain.cmake" \
        -DCMAKE_INSTALL_PREFIX="$PREFIXE" -DCMAKE_BUILD_TYPE=Release \
        -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
        >>"$journal" 2>&1 || { tail -n 40 "$journal" >&2; exit 1; }
    cmake --build "$travail/$nom" --parallel "$TACHES" >>"$journal" 2>&1 || { tail -n 40 "$journal" >&2; exit 1; }
    cmake --install "$travail/$nom" >>"$journal" 2>&1
done

for f in bin/Qt6Core.dll bin/Qt6Widgets.dll bin/Qt6SerialPort.dll bin/Qt6Charts.dll \
         plugins/platforms/qwindows.dll plugins/sqldrivers/qsqlite.dll plugins/sqldrivers/qsqlodbc.dll; do
    [ -f "$PREFIXE/$f" ] || { echo "qt-windows : $f manque après la construction" >&2; exit 1; }
done

cp "$journal" "$PREFIXE/construction.txt"
{
    echo "qt6-base $qt_hote ; MinGW-w64 $mingw_version ; recette $RECETTE"
    echo "construit en $(( $(date +%s) - debut )) s le $(date -u +%FT%TZ)"
} >"$PREFIXE/.complet"
rm -rf "$travail"
etape "$(tail -n1 "$PREFIXE/.complet")"
echo "$PREFIXE"
