#!/bin/sh
# Fuzzing de la trace et de la réception CDAPI : construction clang à part
# (libFuzzer, ASan, UBSan), puis un passage de durée fixe. Code de sortie non nul
# au premier plantage ; l'entrée fautive est laissée dans le dossier de construction.
#   PELORANE_FUZZ_DIR    dossier de construction (défaut : build-fuzz à la racine)
#   PELORANE_FUZZ_DUREE  durée en secondes (défaut : 20)
set -eu

ici=$(cd "$(dirname "$0")" && pwd)
racine=$(cd "$ici/../.." && pwd)
construction=${PELORANE_FUZZ_DIR:-$racine/build-fuzz}
duree=${PELORANE_FUZZ_DUREE:-20}

# Tout le noyau est instrumenté pour que la couverture guide la recherche.
drapeaux="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined"
cmake -S "$racine" -B "$construction" -G Ninja \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS=$drapeaux" \
    -DPELORANE_FUZZ=ON >/dev/null
cmake --build "$construction" --target fuzz_cdapi

# Amorces : un message bien formé de quelques types, dans les deux variantes.
corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
printf 'R9010112002AR\000' >"$corpus/R"
printf 'A00000012001003302CIP000100002FCIP000200004G' >"$corpus/A-A"
printf 'A00000012001003302PRODUIT-B-0001      00002FRESERVE-01PRODUIT-B-0002      00004GRESERVE-02' >"$corpus/A-B"
printf 'a00000012001003010200CIP000100002' >"$corpus/a"
printf 'b001CIP00010003002CANAL0000100050000200XXXXXXCANAL0000200050000100YYYYYY' >"$corpus/b"
printf 'o0010000001204011Terminee ok' >"$corpus/o"
printf 's00106005PLEIN' >"$corpus/s"
printf '\006a0000001200100304' >"$corpus/ack-a"

cd "$construction"
QT_QPA_PLATFORM=offscreen \
    "$construction/tests/fuzz_cdapi" -max_total_time="$duree" -print_final_stats=1 "$corpus"
