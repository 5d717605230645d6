#!/usr/bin/env bash
# pelorane.exe sous Wine contre le simulateur du côté robot, qui tourne sous Linux, pendant 60 s :
#   - les cartes sur COM1, que la clé HKLM\Software\Wine\Ports du préfixe mène au pseudo-terminal du
#     simulateur ;
#   - le CDAPI et les datagrammes par la boucle locale ;
#   - la racine sur un lecteur de Wine (P:), le réglage BaseFicDefaut dans la base de registre.
# Des commandes sortent, aucune n'est prise deux fois ni envoyée vers un tiroir occupé, et
# pelorane.exe --historique compte les mêmes remises que le bilan du simulateur.
#   scripts/bout-en-bout-windows.sh DOSSIER_CONSTRUCTION_WINDOWS   (WINEPREFIX, WINEPATH réglés)
set -uo pipefail
cd "$(dirname "$0")/.."

construction="$1"
duree="${PELORANE_DUREE_BOUT_EN_BOUT:-60}"
service="$PWD/$construction/src/pelorane.exe"
: "${WINEPREFIX:?}"

# Quel Wine : celui du système, sauf Wine 8.0 (Debian 12), dont les ports série ne rendent rien à
# QSerialPort (WaitCommEvent n'y prévient pas le port de complétion) ; alors celui de Debian 13,
# dans son chroot (scripts/wine-debian13.sh), avec son propre préfixe. Dans le chroot, les mêmes
# chemins qu'au dehors : /proc, /dev, /tmp, le dépôt, et le parent de chaque dossier de WINEPATH
# (Qt entier, ses modules d'extension compris ; les DLL de MinGW).
lance_wine=(wine)
arrete_wine=(wineserver)
if wine --version 2>/dev/null | grep -q '^wine-8\.0'; then
    chroot_wine="$(scripts/wine-debian13.sh)" || { echo "le Wine de Debian 13 n'a pas pu être installé"; exit 1; }
    montes=()
    demonte() {
        local i
        for ((i = ${#montes[@]} - 1; i >= 0; i--)); do umount -l "${montes[i]}" 2>/dev/null; done
    }
    trap demonte EXIT
    dossiers=(/proc /dev /dev/pts /tmp "$PWD")
    IFS=';' read -r -a chemins_wine <<<"${WINEPATH:-}"
    for c in "${chemins_wine[@]}"; do
        case "$c" in [Zz]:\\*) c="${c:2}"; dossiers+=("$(dirname "${c//\\//}")") ;; esac
    done
    for d in "${dossiers[@]}"; do
        [ -d "$d" ] || continue
        mkdir -p "$chroot_wine$d"
        mountpoint -q "$chroot_wine$d" && continue
        mount --bind "$d" "$chroot_wine$d" || { echo "montage de $d dans $chroot_wine impossible"; exit 1; }
        montes+=("$chroot_wine$d")
    done
    lance_wine=(chroot "$chroot_wine" wine)
    arrete_wine=(chroot "$chroot_wine" wineserver)
    export WINEPREFIX="$PWD/$construction/wine-debian13"
fi
echo "Wine : $("${lance_wine[@]}" --version 2>/dev/null)"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "${lance_wine[@]}" wineboot -i >/dev/null 2>&1
    "${arrete_wine[@]}" -w
fi

# Un pseudo-terminal n'a pas les lignes de modem d'un port COM, que l'attente d'événements série de
# Wine lit : tests/wine/lignes_modem_pty.c les lui prête, dans les processus du service seulement.
modem="$PWD/$construction/lignes_modem_pty.so"
gcc -shared -fPIC -O2 -o "$modem" tests/wine/lignes_modem_pty.c -ldl || { echo "lignes_modem_pty.so : échec"; exit 1; }

# Le simulateur est un programme Linux : celui de la construction normale.
simulateur="$PWD/build/tools/simulateur/pelorane-simulateur"
if [ ! -x "$simulateur" ]; then
    echo "construction du simulateur (build)"
    { cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        && cmake --build build --target pelorane-simulateur -j "$(nproc)"; } >build.simulateur.log 2>&1 \
        || { tail -20 build.simulateur.log; exit 1; }
fi

essai="$PWD/$construction/bout-en-bout"
rm -rf "$essai"
mkdir -p "$essai/racine" "$essai/reglages"
racine="$essai/racine"
# Ports libres, pour ne gêner aucun autre essai de la machine.
read -r port_cdapi port_udp < <(python3 -c '
import socket
t = socket.socket(); t.bind(("127.0.0.1", 0))
u = socket.socket(type=socket.SOCK_DGRAM); u.bind(("127.0.0.1", 0))
print(t.getsockname()[1], u.getsockname()[1])')

# Les commandes cessent vers 40 s : toutes ont le temps d'être remises et libérées avant la fin.
commandes=$(( (duree * 2 / 3) * 1000 / 1500 ))
XDG_CONFIG_HOME="$essai/reglages" QT_QPA_PLATFORM=offscreen "$simulateur" --racine "$racine/" --duree "$duree" \
    --commandes "$commandes" --intervalle 1500 --delai-hote 300 --delai-convoyeur 700 --collecte 500 --perte-datagramme 3 \
    --demande-a 5 --demande-r 10 --port-cdapi "$port_cdapi" --port-udp "$port_udp" \
    --param TempsMaxAttenteProduit=3 >"$essai/simulateur.txt" 2>&1 &
pid_simulateur=$!
for _ in $(seq 100); do
    grep -q '^pret: ' "$essai/simulateur.txt" 2>/dev/null && break
    sleep 0.1
done
grep -q '^pret: ' "$essai/simulateur.txt" || { echo "le simulateur ne démarre pas"; cat "$essai/simulateur.txt"; exit 1; }

# COM1 du préfixe : le pseudo-terminal du simulateur. Un lien dosdevices/com1 posé à la main ne
# tient pas : au démarrage du préfixe, mountmgr refait les liens des ports série depuis la clé
# HKLM\Software\Wine\Ports (sinon vers /dev/ttyS0, où les trames se perdent). La clé est donc
# posée, puis le préfixe redémarré pour que mountmgr la lise.
pty="$(readlink -f "$racine/cartes-serie")"
"${lance_wine[@]}" reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$pty" /f >/dev/null 2>&1
"${arrete_wine[@]}" -k; "${arrete_wine[@]}" -w
# P: : la racine.
ln -sfn "$racine" "$WINEPREFIX/dosdevices/p:"
# Le réglage du programme hôte, là où il l'écrit sous Windows.
"${lance_wine[@]}" reg add 'HKCU\Software\VB and VBA Program Settings\VBtrevix\GENERAL' /v BaseFicDefaut /t REG_SZ \
    /d 'P:\parametres-hote.db' /f >/dev/null 2>&1

com1="$(readlink "$WINEPREFIX/dosdevices/com1")"
LD_PRELOAD="$modem" WINEQT_QPA_PLATFORM=offscreen "${lance_wine[@]}" "$service" --racine 'P:\' --journal 'P:\journal.txt' \
    >"$essai/service.sortie" 2>&1 &
pid_service=$!

wait $pid_simulateur
code_simulateur=$?
# Le service s'arrête comme l'arrêterait Windows à la fermeture de session (fin du processus) ;
# le registre des remises est sur le disque avant chaque remise.
"${lance_wine[@]}" taskkill /f /im pelorane.exe >/dev/null 2>&1
wait $pid_service 2>/dev/null

WINEQT_QPA_PLATFORM=offscreen "${lance_wine[@]}" "$service" --racine 'P:\' --historique --csv \
    >"$essai/historique.csv" 2>"$essai/historique.erreur"
code_historique=$?
"${lance_wine[@]}" reg delete 'HKCU\Software\VB and VBA Program Settings\VBtrevix' /f >/dev/null 2>&1
"${lance_wine[@]}" reg delete 'HKLM\Software\Wine\Ports' /v COM1 /f >/dev/null 2>&1
"${arrete_wine[@]}" -w
rm -f "$WINEPREFIX/dosdevices/p:"

valeur() { sed -n "s/^$1: \\([0-9]*\\)\$/\\1/p" "$essai/simulateur.txt" | tail -n1; }
deposees=$(valeur 'commandes deposees')
prises=$(valeur "commandes prises par l'hote")
livrees=$(valeur 'commandes livrees')
deux_fois=$(valeur 'commandes prises deux fois')
occupe=$(valeur 'commandes vers un tiroir occupe')
inconnu=$(valeur 'commandes vers un tiroir inconnu')
# Registre : une ligne par commande (sans l'en-tête) ; remise_le (5e champ) rempli une fois remise.
lignes=$(tail -n +2 "$essai/historique.csv" | tr -d '\r' | grep -c . || true)
remises=$(tail -n +2 "$essai/historique.csv" | tr -d '\r' | awk -F';' '$5 != ""' | grep -c . || true)
doubles=$(tail -n +2 "$essai/historique.csv" | cut -d';' -f1 | sort | uniq -d | grep -c . || true)
envois=$(grep -c 'envoi le fichier ' "$racine/journal.txt" 2>/dev/null)
envois=${envois:-0}

echo "simulateur : $deposees déposées, $prises prises par l'hôte, $livrees livrées, $deux_fois prises deux fois," \
     "$occupe vers un tiroir occupé, $inconnu vers un tiroir inconnu (code $code_simulateur)"
echo "service : $envois envois au journal ; --historique : $lignes lignes, $remises remises, $doubles fichiers en double" \
     "(code $code_historique)"

echec=0
verifie() { # verifie DESCRIPTION CONDITION…
    local quoi="$1"; shift
    if ! "$@"; then echo "  faux : $quoi"; echec=1; fi
}
verifie "COM1 mène au pseudo-terminal du simulateur $pty (et non à $com1)" test "$com1" = "$pty"
verifie "le simulateur finit normalement" test "$code_simulateur" -eq 0
verifie "les $commandes commandes déposées sont prises par l'hôte et livrées" \
    test "${deposees:-x}/${prises:-x}/${livrees:-x}" = "$commandes/$commandes/$commandes"
verifie "le service écrit un envoi par commande" test "$envois" = "$commandes"
verifie "aucune commande prise deux fois" test "${deux_fois:-x}" = 0
verifie "aucune commande vers un tiroir occupé" test "${occupe:-x}" = 0
verifie "aucune commande vers un tiroir inconnu" test "${inconnu:-x}" = 0
verifie "--historique lit le registre" test "$code_historique" -eq 0
verifie "--historique compte autant de remises que l'hôte en a prises" test "$lignes/$remises" = "${prises:-x}/${prises:-x}"
verifie "--historique : aucune commande remise deux fois" test "$doubles" = 0
if [ $echec -ne 0 ]; then
    echo "--- simulateur"; tail -25 "$essai/simulateur.txt"
    echo "--- service"; tail -25 "$racine/journal.txt" 2>/dev/null; cat "$essai/service.sortie"
    echo "--- historique"; cat "$essai/historique.csv" "$essai/historique.erreur"
fi
exit $echec
