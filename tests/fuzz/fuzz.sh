#!/bin/sh
# Fuzzing des lecteurs d'octets venus du dehors : construction clang à part
# (libFuzzer, ASan, UBSan), puis un court passage par cible. Une ligne de bilan par
# cible (passages, pic de mémoire, résultat) ; la sortie de libFuzzer reste dans
# DOSSIER/fuzz-journaux/. Code de sortie non nul au premier défaut ; l'entrée
# fautive est gardée dans DOSSIER/fuzz-artefacts/.
#   PELORANE_FUZZ_DIR    dossier de construction (défaut : build-fuzz à la racine)
#   PELORANE_FUZZ_DUREE  durée par cible en secondes (défaut : 8)
set -eu

ici=$(cd "$(dirname "$0")" && pwd)
racine=$(cd "$ici/../.." && pwd)
construction=${PELORANE_FUZZ_DIR:-$racine/build-fuzz}
duree=${PELORANE_FUZZ_DUREE:-8}
cibles="fuzz_cdapi fuzz_trame_cartes fuzz_fichier_commande fuzz_datagramme fuzz_lit_nombre"

# Tout le noyau est instrumenté pour que la couverture guide la recherche.
drapeaux="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined"
cmake -S "$racine" -B "$construction" -G Ninja \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS=$drapeaux" \
    -DPELORANE_FUZZ=ON >"$construction.configure.log" 2>&1 || { cat "$construction.configure.log"; exit 1; }
# shellcheck disable=SC2086
cmake --build "$construction" --target $cibles >"$construction.build.log" 2>&1 || { tail -40 "$construction.build.log"; exit 1; }

amorces=$(mktemp -d)
trap 'rm -rf "$amorces"' EXIT
for c in $cibles; do mkdir -p "$amorces/$c"; done

# CDAPI : un message bien formé de quelques types, dans les deux variantes.
a=$amorces/fuzz_cdapi
printf 'R9010112002AR\000' >"$a/R"
printf 'A00000012001003302CIP000100002FCIP000200004G' >"$a/A-A"
printf 'A00000012001003302PRODUIT-B-0001      00002FRESERVE-01PRODUIT-B-0002      00004GRESERVE-02' >"$a/A-B"
printf 'a00000012001003010200CIP000100002' >"$a/a"
printf 'b001CIP00010003002CANAL0000100050000200XXXXXXCANAL0000200050000100YYYYYY' >"$a/b"
printf 'o0010000001204011Terminee ok' >"$a/o"
printf 's00106005PLEIN' >"$a/s"
printf '\006a0000001200100304' >"$a/ack-a"
# Réponses de cartes (sans CR) et corps de trames.
a=$amorces/fuzz_trame_cartes
printf '/A015E' >"$a/G"
printf '/AV1.0F3' >"$a/V"
printf '/A01' >"$a/courte"
printf 'GZ]L' >"$a/corps"
# Fichiers de commande : une commande de comptoir, fins de ligne variées.
a=$amorces/fuzz_fichier_commande
printf 'ordre     00000001\r\nposte     003\r\nvendeur   04\r\ndate      01/02/2024 10:00\r\npriorite  3\r\nP.Recept: 000\r\nprotocol: Comptoir\r\ncip Qt    34009300001         001\r\nC.rendu   Cr\350me\r\n' >"$a/commande"
printf 'P.Recept\nprotocolX\rstatus\r\n\r\npost' >"$a/fins"
# Datagrammes de fin de convoyage.
a=$amorces/fuzz_datagramme
printf -- '-Start     -S3' >"$a/3"
printf -- '  -Start     -S 12abc ' >"$a/12"
printf -- '-Start     -S2.5' >"$a/2.5"
# Lecture numérique.
a=$amorces/fuzz_lit_nombre
printf ' 1 2.5E+3' >"$a/exposant"
printf '&HFFFFFFFF' >"$a/hexa"
printf '&O777' >"$a/octal"
printf -- '-2147483648.5' >"$a/borne"
printf '1D400' >"$a/grand"

journaux=$construction/fuzz-journaux
artefacts=$construction/fuzz-artefacts
mkdir -p "$journaux" "$artefacts"
# Quarantaine d'ASan petite : sans cela la mémoire du processus grimpe à plusieurs
# centaines de Mo sans rien dire des cibles.
export ASAN_OPTIONS="quarantine_size_mb=16:malloc_context_size=8:detect_leaks=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen
echec=0
for c in $cibles; do
    journal=$journaux/$c.log
    rc=0
    (cd "$construction" && "$construction/tests/$c" -max_total_time="$duree" -max_len=4096 -print_final_stats=1 \
        -close_fd_mask=1 -artifact_prefix="$artefacts/$c-" "$amorces/$c") >"$journal" 2>&1 || rc=$?
    passages=$(sed -n 's/^stat::number_of_executed_units: *//p' "$journal" | tail -1)
    pic=$(sed -n 's/^stat::peak_rss_mb: *//p' "$journal" | tail -1)
    if [ "$rc" -eq 0 ]; then
        resultat=ok
    else
        resultat="ECHEC (code $rc, journal $journal)"
        echec=1
    fi
    printf '%-24s %10s passages en %s s, pic %s Mo : %s\n' "$c" "${passages:-?}" "$duree" "${pic:-?}" "$resultat"
    if [ "$rc" -ne 0 ]; then
        grep -E 'ERROR|SUMMARY|Test unit written|==[0-9]+==|#[0-9]+ 0x' "$journal" | head -25 || true
    fi
done
exit $echec
