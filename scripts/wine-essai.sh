#!/usr/bin/env bash
# Lance sous Wine un programme de la construction pour Windows ; CTest s'en sert comme émulateur
# (CMAKE_CROSSCOMPILING_EMULATOR) : wine-essai.sh PROGRAMME.exe [ARGUMENTS…]
#
# - Le préfixe Wine (WINEPREFIX) est celui de scripts/windows.sh, dans le dossier de construction.
# - Wine 8 ne transmet pas aux programmes les variables dont le nom commence par QT_ ; il
#   transmet WINEQT_X sous le nom QT_X : chaque QT_X de l'environnement est recopiée ainsi.
# - Les chemins Unix que CTest donne aux tests (PELORANE_BINAIRE) deviennent des chemins Windows.
# - Sans console, Qt Test écrit sur la sortie du débogueur : les tests écrivent leur compte rendu
#   dans un fichier (-o FICHIER,txt), recopié ensuite sur la sortie.
set -uo pipefail

programme="$1"
shift

: "${WINEPREFIX:?WINEPREFIX non défini (scripts/windows.sh le règle)}"
export WINEDEBUG="${WINEDEBUG:--all}"
while IFS='=' read -r nom valeur; do
    case "$nom" in QT_*) export "WINE$nom=$valeur" ;; esac
done < <(env | grep '^QT_' || true)
# Les essais tournent hors écran (QT_QPA_PLATFORM=offscreen) : sous Windows, cette plateforme de Qt
# lit ses polices dans un dossier (lib/fonts de Qt, absent). Sans elles, le rapport PDF n'aurait
# aucun texte. Les polices DejaVu de Debian servent.
export WINEQT_QPA_FONTDIR="${WINEQT_QPA_FONTDIR:-$(winepath -w /usr/share/fonts/truetype/dejavu 2>/dev/null)}"
if [ -n "${PELORANE_BINAIRE:-}" ] && [ "${PELORANE_BINAIRE#/}" != "$PELORANE_BINAIRE" ]; then
    export PELORANE_BINAIRE="$(winepath -w "$PELORANE_BINAIRE" 2>/dev/null)"
fi

# Le lecteur de PDF des tests du rapport : celui de Linux, par son chemin Unix (le test le lance
# par start /unix, sur les chemins Unix de ses fichiers).
export PELORANE_PDFTOTEXT="${PELORANE_PDFTOTEXT:-$(command -v pdftotext)}"

case "$(basename "$programme")" in
    test_*)
        compte_rendu="$(mktemp)"
        wine "$programme" "$@" -o "$(winepath -w "$compte_rendu" 2>/dev/null),txt"
        code=$?
        cat "$compte_rendu"
        rm -f "$compte_rendu"
        exit $code
        ;;
    *)
        exec wine "$programme" "$@"
        ;;
esac
