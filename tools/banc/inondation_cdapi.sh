#!/usr/bin/env bash
# Mesure de bout en bout : le service contre le simulateur, dont l'hôte CDAPI
# inonde la liaison de demandes "A" pendant que les commandes attendent. Écrit le
# plus long écart entre deux remises ("supp fich:") pendant l'inondation et ce que
# le journal a pris par minute.
#   tools/banc/inondation_cdapi.sh [muet|sourd|grand|sage] [DUREE_S]
# muet : 20 demandes par seconde, jamais d'ACK ; sourd : 20 grandes demandes
# (99 lignes, CDAPI-B) par seconde, l'hôte ne lit jamais sa socket ; grand : 10
# grandes demandes identiques par seconde, l'hôte acquitte tout ; varie : de même,
# chaque demande portant un numéro de commande nouveau.
set -euo pipefail
cd "$(dirname "$0")/../.."
MODE=${1:-muet}
DUREE=${2:-60}
SERVICE_BIN=${PELORANE_BINAIRE:-build/src/pelorane}
SIMU_BIN=build/tools/simulateur/pelorane-simulateur

case "$MODE" in
    muet) HOTE=(--hote-muet --demande-a-ms 50) ;;
    sourd) HOTE=(--hote-sourd --demande-a-ms 50 --lignes-a 99 --norme CDAPI-B) ;;
    grand) HOTE=(--demande-a-ms 100 --lignes-a 99 --norme CDAPI-B) ;;
    varie) HOTE=(--demande-a-ms 100 --lignes-a 99 --norme CDAPI-B --demandes-variees) ;;
    sage) HOTE=() ;;
    *) echo "mode inconnu : $MODE" >&2; exit 64 ;;
esac

DOSSIER=$(mktemp -d /tmp/pelorane-inondation.XXXXXX)
RACINE="$DOSSIER/racine"
JOURNAL="$DOSSIER/journal.txt"
export XDG_CONFIG_HOME="$DOSSIER/reglages" QT_QPA_PLATFORM=offscreen
mkdir -p "$RACINE"
PORT_TCP=$((40000 + RANDOM % 10000))
PORT_UDP=$((PORT_TCP + 1))

"$SIMU_BIN" --racine "$RACINE" --intervalle 200 --retours 0 --delai-hote 100 --delai-convoyeur 200 \
    --collecte 200 --port-cdapi "$PORT_TCP" --port-udp "$PORT_UDP" --duree $((DUREE + 30)) "${HOTE[@]}" \
    >"$DOSSIER/simulateur.log" 2>&1 &
SIMULATEUR=$!
for _ in $(seq 50); do grep -q '^pret:' "$DOSSIER/simulateur.log" && break; sleep 0.1; done
"$SERVICE_BIN" --racine "$RACINE" --port-serie "$RACINE/cartes-serie" --journal "$JOURNAL" 2>"$DOSSIER/pelorane.err" &
SERVICE=$!
for _ in $(seq 150); do grep -q -- '- En attente de commande' "$JOURNAL" 2>/dev/null && break; sleep 0.1; done
sleep 2
DEBUT=$(date '+%Y-%m-%d %H:%M:%S.%3N')
"$SERVICE_BIN" --racine "$RACINE" --action test-liaison-cdapi 2>/dev/null || true
sleep "$DUREE"
FIN=$(date '+%Y-%m-%d %H:%M:%S.%3N')
kill -TERM "$SERVICE" 2>/dev/null || true
wait "$SERVICE" 2>/dev/null || true
kill -TERM "$SIMULATEUR" 2>/dev/null || true
wait "$SIMULATEUR" 2>/dev/null || true

python3 - "$JOURNAL" "$DEBUT" "$FIN" "$DOSSIER/simulateur.log" <<'PY'
import sys, datetime
journal, debut, fin, simu = sys.argv[1:5]
fmt = '%Y-%m-%d %H:%M:%S.%f'
d, f = datetime.datetime.strptime(debut, fmt), datetime.datetime.strptime(fin, fmt)
remises = []
taille = 0
pendant = 0
for ligne in open(journal, encoding='utf-8', errors='replace'):
    taille += len(ligne.encode())
    try:
        t = datetime.datetime.strptime(ligne[:23], fmt)
    except ValueError:
        continue
    if d <= t <= f:
        pendant += len(ligne.encode())
        if 'supp fich: ' in ligne:
            remises.append(t)
instants = [d] + remises + [f]
ecarts = [(b - a).total_seconds() for a, b in zip(instants, instants[1:])]
bilan = [l.strip() for l in open(simu, encoding='utf-8', errors='replace') if ':' in l and not l.startswith('[')]
print(f"remises pendant {(f - d).total_seconds():.0f} s : {len(remises)}")
print(f"plus long écart entre deux remises : {max(ecarts):.2f} s")
print(f"journal du service : {taille} octets")
print(f"journal pendant l'inondation : {pendant * 60 / (f - d).total_seconds():.0f} octets par minute")
for l in bilan:
    if l.startswith(('demandes A', 'reponses a', 'commandes vers un tiroir occupe', 'commandes prises deux')):
        print(l)
PY
echo "dossier : $DOSSIER"
