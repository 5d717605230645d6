#!/usr/bin/env bash
# Mémoire résidente et processeur du service, fenêtre sur un vrai serveur X (Xvfb,
# avec openbox) ou hors écran, contre le simulateur.
#   tools/banc/memoire_ecran.sh MODE [DUREE_S] [PAS_S] [CHARGE]
# MODE : montree (case de réduction automatique décochée par un clic, fenêtre
#        laissée ouverte), reduite (la fenêtre se réduit d'elle-même après 30 s),
#        horsecran (plate-forme offscreen, la référence).
# CHARGE : demo (une commande toutes les 2,5 s, sans fichier de retour), repos
#          (aucune commande ; le simulateur ne fait que répondre pour les cartes) ou
#          arrete (aucune commande, simulateur suspendu par SIGSTOP une fois le
#          service prêt : les cartes ne répondent plus).
# Écrit une ligne "t_s rss_ko" par pas, puis le bilan : RSS au début et à la fin,
# croissance par minute, part d'un cœur prise par le service sur la durée.
# PELORANE_BINAIRE et PELORANE_SIMULATEUR remplacent les programmes construits.
set -euo pipefail
cd "$(dirname "$0")/../.."
MODE=${1:?mode : montree, reduite ou horsecran}
DUREE=${2:-1800}
PAS=${3:-60}
CHARGE=${4:-demo}
SERVICE_BIN=${PELORANE_BINAIRE:-build/src/pelorane}
SIMU_BIN=${PELORANE_SIMULATEUR:-build/tools/simulateur/pelorane-simulateur}

case "$CHARGE" in
    demo) COMMANDES=(--intervalle 2500 --retours 0) ;;
    repos|arrete) COMMANDES=(--commandes 0) ;;
    *) echo "charge inconnue : $CHARGE" >&2; exit 64 ;;
esac

DOSSIER=$(mktemp -d /tmp/pelorane-memoire.XXXXXX)
RACINE="$DOSSIER/racine"
JOURNAL="$DOSSIER/journal.txt"
export XDG_CONFIG_HOME="$DOSSIER/reglages"
mkdir -p "$RACINE"
PIDS=()
nettoie() {
    for p in "${PIDS[@]}"; do kill -CONT "$p" 2>/dev/null || true; kill -TERM "$p" 2>/dev/null || true; done
    for p in "${PIDS[@]}"; do wait "$p" 2>/dev/null || true; done
}
trap nettoie EXIT

if [ "$MODE" = horsecran ]; then
    export QT_QPA_PLATFORM=offscreen
    unset DISPLAY
else
    for outil in Xvfb openbox xdotool; do
        command -v "$outil" >/dev/null || { echo "$outil absent (paquets xvfb, openbox, xdotool)" >&2; exit 69; }
    done
    unset QT_QPA_PLATFORM WAYLAND_DISPLAY
    # Un écran libre, pris par Xvfb lui-même (-displayfd).
    exec 7<> "$DOSSIER/ecran"
    Xvfb -displayfd 7 -screen 0 1024x768x24 -nolisten tcp >"$DOSSIER/xvfb.log" 2>&1 &
    PIDS+=($!)
    for _ in $(seq 100); do [ -s "$DOSSIER/ecran" ] && break; sleep 0.1; done
    export DISPLAY=":$(head -n1 "$DOSSIER/ecran")"
    openbox --sm-disable >"$DOSSIER/openbox.log" 2>&1 &
    PIDS+=($!)
fi

PORT_TCP=$((40000 + RANDOM % 10000))
"$SIMU_BIN" --racine "$RACINE" "${COMMANDES[@]}" --delai-hote 1200 --delai-convoyeur 2500 --collecte 3000 \
    --port-cdapi "$PORT_TCP" --port-udp $((PORT_TCP + 1)) --duree $((DUREE + 120)) >"$DOSSIER/simulateur.log" 2>&1 &
SIMULATEUR=$!
PIDS+=("$SIMULATEUR")
for _ in $(seq 50); do grep -q '^pret:' "$DOSSIER/simulateur.log" && break; sleep 0.1; done
"$SERVICE_BIN" --racine "$RACINE" --port-serie "$RACINE/cartes-serie" --journal "$JOURNAL" 2>"$DOSSIER/pelorane.err" &
SERVICE=$!
PIDS=("$SERVICE" "${PIDS[@]}")
for _ in $(seq 150); do grep -q -- '- En attente de commande' "$JOURNAL" 2>/dev/null && break; sleep 0.1; done

if [ "$MODE" = montree ]; then
    # Le technicien décoche la réduction automatique : un clic sur la case.
    FENETRE=$(xdotool search --sync --onlyvisible --name '^VBpelorane' | head -n1)
    xdotool mousemove --window "$FENETRE" 500 14 click 1
fi
if [ "$CHARGE" = arrete ]; then
    kill -STOP "$SIMULATEUR"
fi
sleep 40 # réduction automatique faite (reduite), démarrage passé
if [ "$MODE" != horsecran ]; then
    TITRE=$(xdotool search --name '^VBpelorane' getwindowname | head -n1)
    echo "# légende après 40 s : $TITRE"
fi

rss() { awk '/^VmRSS/ {print $2}' "/proc/$SERVICE/status"; }
cpu() { awk '{print $14 + $15}' "/proc/$SERVICE/stat"; }
TICS=$(getconf CLK_TCK)
RSS0=$(rss); CPU0=$(cpu); T0=$(date +%s.%N)
echo "# mode $MODE, charge $CHARGE, service $SERVICE_BIN"
echo "0 $RSS0"
ECOULE=0
while [ "$ECOULE" -lt "$DUREE" ]; do
    sleep "$PAS"
    ECOULE=$((ECOULE + PAS))
    echo "$ECOULE $(rss)"
done
RSS1=$(rss); CPU1=$(cpu); T1=$(date +%s.%N)
awk -v r0="$RSS0" -v r1="$RSS1" -v c0="$CPU0" -v c1="$CPU1" -v t0="$T0" -v t1="$T1" -v tics="$TICS" -v mode="$MODE" \
    -v charge="$CHARGE" 'BEGIN {
    d = t1 - t0
    printf "bilan %s %s : RSS %d -> %d Ko (%+d Ko, %+.1f Ko/min) ; processeur %.2f %% d un coeur sur %.0f s\n",
        mode, charge, r0, r1, r1 - r0, (r1 - r0) / (d / 60), 100 * (c1 - c0) / tics / d, d }'
