#!/usr/bin/env bash
# Une pharmacie dans une boîte : le simulateur joue l'hôte du robot, les cartes des
# tiroirs, le convoyeur et les comptoirs ; le service tourne contre lui pour de vrai.
#   ./demo.sh              jusqu'à Ctrl-C
#   ./demo.sh --duree 60   s'arrête au bout de 60 s et écrit le bilan du simulateur
set -euo pipefail
cd "$(dirname "$0")"

DUREE=0
while [ $# -gt 0 ]; do
    case "$1" in
        --duree) DUREE="$2"; shift 2 ;;
        --duree=*) DUREE="${1#*=}"; shift ;;
        -h|--help) sed -n '2,5p' "$0"; exit 0 ;;
        *) echo "option inconnue : $1" >&2; exit 64 ;;
    esac
done

. scripts/paquets.sh
pelorane_installe_paquets

if [ ! -x build/src/pelorane ] || [ ! -x build/tools/simulateur/pelorane-simulateur ] \
   || [ -n "$(find src tools tests CMakeLists.txt -newer build/src/pelorane -print -quit 2>/dev/null)" ]; then
    echo "== Construction"
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build build --target pelorane pelorane-simulateur >/dev/null
fi

DOSSIER=$(mktemp -d /tmp/pelorane-demo.XXXXXX)
RACINE="$DOSSIER/racine"
JOURNAL="$DOSSIER/journal.txt"
export XDG_CONFIG_HOME="$DOSSIER/reglages"
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    export QT_QPA_PLATFORM=offscreen
    echo "(pas d'écran : la fenêtre tourne hors écran)"
fi
mkdir -p "$RACINE"
touch "$JOURNAL"
echo "Installation de démonstration : $DOSSIER"

build/tools/simulateur/pelorane-simulateur --racine "$RACINE" --intervalle "${PELORANE_DEMO_INTERVALLE:-2500}" \
    --delai-hote 1200 --delai-convoyeur 2500 --collecte 3000 --perte-datagramme 4 --demande-a 20 \
    --param TempsMaxAttenteProduit=12 >"$DOSSIER/simulateur.log" 2>&1 &
SIMULATEUR=$!
for _ in $(seq 50); do grep -q '^pret:' "$DOSSIER/simulateur.log" && break; sleep 0.1; done
if ! grep -q '^pret:' "$DOSSIER/simulateur.log"; then
    cat "$DOSSIER/simulateur.log"; kill "$SIMULATEUR" 2>/dev/null; exit 1
fi

build/src/pelorane --racine "$RACINE" --port-serie "$RACINE/cartes-serie" --journal "$JOURNAL" \
    2>"$DOSSIER/pelorane.err" &
SERVICE=$!
tail -n +1 -f "$JOURNAL" &
AFFICHAGE=$!

arrete() {
    trap - INT TERM
    kill -TERM "$SERVICE" 2>/dev/null || true
    wait "$SERVICE" 2>/dev/null || true
    sleep 0.3
    kill "$AFFICHAGE" 2>/dev/null || true
    kill -TERM "$SIMULATEUR" 2>/dev/null || true
    wait "$SIMULATEUR" 2>/dev/null || true
    echo
    sed -n '/=== Bilan/,$p' "$DOSSIER/simulateur.log"
    echo
    echo "Historique des remises (pelorane --historique) :"
    build/src/pelorane --racine "$RACINE" --historique 2>/dev/null || true
    echo
    echo "Rapport d'activité du jour (pelorane --rapport) :"
    build/src/pelorane --racine "$RACINE" --rapport --pdf "$DOSSIER/rapport.pdf" 2>/dev/null || true
    echo "Journal du service : $JOURNAL ; journal du simulateur : $DOSSIER/simulateur.log"
}
trap 'arrete; exit 0' INT TERM

# Comme l'opérateur, on essaie la liaison CDAPI une fois le service prêt.
sleep 4
build/src/pelorane --racine "$RACINE" --action test-liaison-cdapi 2>/dev/null || true

if [ "$DUREE" -gt 0 ]; then
    sleep $((DUREE > 4 ? DUREE - 4 : 0))
    arrete
else
    wait "$SERVICE"
    arrete
fi
