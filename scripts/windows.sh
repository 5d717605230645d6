#!/usr/bin/env bash
# Le passage Windows de test.sh (aussi seul : ./test.sh --windows), depuis la racine du dépôt :
#   1. Qt pour MinGW-w64 (scripts/qt-windows.sh, cache hors des constructions) ;
#   2. pelorane.exe et les tests qui n'ont pas besoin du côté Linux du simulateur (build-windows) ;
#   3. chaque test sous Wine (préfixe à lui dans build-windows/wine) ;
#   4. pelorane.exe sous Wine contre le simulateur de Linux (scripts/bout-en-bout-windows.sh ; sous
#      Wine 8.0, celui de Debian 13 dans un chroot, scripts/wine-debian13.sh) ;
#   5. l'installateur NSIS : installé sans question (/S), pelorane --version, désinstallé.
# Finit par une ligne « N passed, M failed » (un par test CTest et par vérification) ; code 1
# si un seul échoue.
set -uo pipefail
cd "$(dirname "$0")/.."

JOBS=$(nproc 2>/dev/null || echo 2)
dossier=build-windows
reussis=0
echoues=0
compte() { # compte NOM CODE
    if [ "$2" -eq 0 ]; then reussis=$((reussis + 1)); else echoues=$((echoues + 1)); echo "ÉCHEC : $1"; fi
}
bilan() {
    echo "$reussis passed, $echoues failed"
    [ "$echoues" -eq 0 ]
    exit $?
}
debut=$(date +%s)

echo "== Qt pour Windows (MinGW-w64)"
if ! qt="$(scripts/qt-windows.sh)"; then
    compte "construction de Qt pour Windows" 1
    bilan
fi
echo "Qt : $qt ($(sed -n 2p "$qt/.complet"))"

echo "== Construction ($dossier)"
export WINEPREFIX="$PWD/$dossier/wine"
export WINEDEBUG=-all
# Ni Mono ni Gecko : Wine ne propose pas de les télécharger à la création du préfixe.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
# Les DLL de Qt et de MinGW, trouvées par les programmes de l'arbre de construction.
gcc_dll="$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")"
pthread_dll="$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libwinpthread-1.dll)")"
lanceur=()
command -v ccache >/dev/null && lanceur=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
if ! cmake -S . -B "$dossier" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$PWD/scripts/wine-essai.sh" "${lanceur[@]}" \
        >"$dossier.configure.log" 2>&1; then
    tail -30 "$dossier.configure.log"; compte "configuration" 1; bilan
fi
if ! cmake --build "$dossier" -j "$JOBS" >"$dossier.build.log" 2>&1; then
    grep -E -B2 -A6 'error|Error' "$dossier.build.log" | head -60; compte "construction" 1; bilan
fi
echo "construit en $(( $(date +%s) - debut )) s depuis le début du passage"

echo "== Préfixe Wine ($WINEPREFIX)"
winepath_qt="$(winepath -w "$qt/bin" 2>/dev/null)"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1
    wineserver -w
fi
export WINEPATH="$winepath_qt;$(winepath -w "$gcc_dll");$(winepath -w "$pthread_dll")"

echo "== Tests sous Wine"
# Un test à la fois par cœur ; ceux qui touchent la base de registre se suivent (RESOURCE_LOCK).
(cd "$dossier" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$JOBS" --timeout 300) \
    >"$dossier.ctest.log" 2>&1
grep -E '^ *[0-9]+/[0-9]+ Test +#' "$dossier.ctest.log" | sed 's/^ *//'
while read -r ligne; do
    nom="$(echo "$ligne" | awk '{print $4}')"
    case "$ligne" in *" Passed "*) compte "$nom" 0 ;; *) compte "$nom" 1 ;; esac
done < <(grep -E '^ *[0-9]+/[0-9]+ Test +#' "$dossier.ctest.log")
if grep -q 'Failed\|\*\*\*' "$dossier.ctest.log"; then
    grep -E '^FAIL!|^   Loc:|^QWARN|^SKIP' "$dossier.ctest.log" | head -60
fi
grep -E '^SKIP' "$dossier.ctest.log" | sort -u | sed 's/^/  /' || true

echo "== Bout en bout sous Wine (60 s contre le simulateur)"
# Sous Wine 8.0 (Debian 12), les ports série ne rendent rien à QSerialPort : l'essai prend alors
# le Wine de Debian 13 (scripts/bout-en-bout-windows.sh le dit et le prépare).
scripts/bout-en-bout-windows.sh "$dossier"
compte "bout en bout sous Wine" $?

echo "== Installateur NSIS"
scripts/installateur-windows.sh "$dossier"
compte "installateur sous Wine" $?

echo "passage Windows : $(( $(date +%s) - debut )) s"
bilan
