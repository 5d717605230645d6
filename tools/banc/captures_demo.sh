#!/usr/bin/env bash
# Refait les images de docs/ à partir d'une vraie démonstration sous Xvfb (avec
# openbox) : la fenêtre au travail, la fenêtre après l'arrêt du simulateur (cartes
# perdues, liaison CDAPI coupée), et la page du rapport d'activité du jour.
#   tools/banc/captures_demo.sh [DUREE_S] [DOSSIER_IMAGES]
# Paquets : xvfb, openbox, xdotool, imagemagick, poppler-utils.
set -euo pipefail
cd "$(dirname "$0")/../.."
DUREE=${1:-90}
IMAGES=${2:-docs}
SERVICE_BIN=${PELORANE_BINAIRE:-build/src/pelorane}
SIMU_BIN=${PELORANE_SIMULATEUR:-build/tools/simulateur/pelorane-simulateur}
for outil in Xvfb openbox xdotool import pdftoppm; do
    command -v "$outil" >/dev/null || { echo "$outil absent" >&2; exit 69; }
done

DOSSIER=$(mktemp -d /tmp/pelorane-captures.XXXXXX)
RACINE="$DOSSIER/racine"
export XDG_CONFIG_HOME="$DOSSIER/reglages"
mkdir -p "$RACINE"
PIDS=()
nettoie() {
    for p in "${PIDS[@]}"; do kill -TERM "$p" 2>/dev/null || true; done
    for p in "${PIDS[@]}"; do wait "$p" 2>/dev/null || true; done
}
trap nettoie EXIT
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
exec 7<> "$DOSSIER/ecran"
Xvfb -displayfd 7 -screen 0 1024x768x24 -nolisten tcp >"$DOSSIER/xvfb.log" 2>&1 &
PIDS+=($!)
for _ in $(seq 100); do [ -s "$DOSSIER/ecran" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$DOSSIER/ecran")"
openbox --sm-disable >"$DOSSIER/openbox.log" 2>&1 &
PIDS+=($!)

# Les réglages de ./demo.sh, sur des ports à elle (une démonstration peut tourner à côté).
PORT_TCP=$((40000 + RANDOM % 10000))
"$SIMU_BIN" --racine "$RACINE" --intervalle 2500 --delai-hote 1200 --delai-convoyeur 2500 --collecte 3000 \
    --perte-datagramme 4 --demande-a 20 --param TempsMaxAttenteProduit=12 --port-cdapi "$PORT_TCP" \
    --port-udp $((PORT_TCP + 1)) >"$DOSSIER/simulateur.log" 2>&1 &
SIMULATEUR=$!
PIDS+=("$SIMULATEUR")
for _ in $(seq 50); do grep -q '^pret:' "$DOSSIER/simulateur.log" && break; sleep 0.1; done
"$SERVICE_BIN" --racine "$RACINE" --port-serie "$RACINE/cartes-serie" --journal "$DOSSIER/journal.txt" \
    2>"$DOSSIER/pelorane.err" &
SERVICE=$!
PIDS=("$SERVICE" "${PIDS[@]}")
# La fenêtre, montrée même si elle s'est déjà réduite, puis la réduction
# automatique décochée d'un clic (la légende dit alors la version).
FENETRE=
for _ in $(seq 300); do
    FENETRE=$(xdotool search --name '^VB[Pp]elorane' 2>/dev/null | head -n1 || true)
    [ -n "$FENETRE" ] && grep -q -- '- En attente de commande' "$DOSSIER/journal.txt" 2>/dev/null && break
    sleep 0.2
done
[ -n "$FENETRE" ] || { echo "fenêtre introuvable" >&2; exit 1; }
"$SERVICE_BIN" --racine "$RACINE" --action montrer 2>/dev/null || true
sleep 1
xdotool mousemove --window "$FENETRE" 500 14 click 1
sleep 1
case "$(xdotool getwindowname "$FENETRE")" in
    "VBpelorane v"*) ;;
    *) echo "réduction automatique non décochée : $(xdotool getwindowname "$FENETRE")" >&2; exit 1 ;;
esac
sleep 2
"$SERVICE_BIN" --racine "$RACINE" --action test-liaison-cdapi 2>/dev/null || true
sleep "$DUREE"
# Au cas où la fenêtre se serait tout de même réduite : l'opérateur la ramène.
"$SERVICE_BIN" --racine "$RACINE" --action montrer 2>/dev/null || true
sleep 1
import -window "$FENETRE" "$IMAGES/fenetre-demo.png"

# Le simulateur s'arrête : le port des cartes disparaît, l'hôte CDAPI ferme.
kill -TERM "$SIMULATEUR" 2>/dev/null || true
wait "$SIMULATEUR" 2>/dev/null || true
sleep 8
"$SERVICE_BIN" --racine "$RACINE" --action montrer 2>/dev/null || true
sleep 1
import -window "$FENETRE" "$IMAGES/fenetre-panne.png"

"$SERVICE_BIN" --racine "$RACINE" --rapport --pdf "$DOSSIER/rapport.pdf"
pdftoppm -png -r 80 -f 1 -l 1 -singlefile "$DOSSIER/rapport.pdf" "$IMAGES/rapport-demo"
echo "images : $IMAGES/fenetre-demo.png $IMAGES/fenetre-panne.png $IMAGES/rapport-demo.png ; démonstration : $DOSSIER"
