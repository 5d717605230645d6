#!/usr/bin/env bash
# Installe ce qui manque, construit et lance tous les tests (CTest), puis refait
# le tout avec AddressSanitizer et UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")"

. scripts/paquets.sh
pelorane_installe_paquets

export QT_QPA_PLATFORM=offscreen
JOBS=$(nproc 2>/dev/null || echo 2)
echec=0

passe() {
    local dossier=$1; shift
    echo "== Construction ($dossier)"
    cmake -S . -B "$dossier" -G Ninja "$@" >"$dossier.configure.log" 2>&1 || { cat "$dossier.configure.log"; return 1; }
    cmake --build "$dossier" -j "$JOBS" >"$dossier.build.log" 2>&1 || { tail -50 "$dossier.build.log"; return 1; }
    echo "== Tests ($dossier)"
    (cd "$dossier" && ctest --output-on-failure -j "$JOBS" --timeout 300) >"$dossier.ctest.log" 2>&1
    local rc=$?
    # Lignes de résumé de CTest, et le détail des échecs.
    if [ $rc -ne 0 ]; then
        grep -E -A30 'Failed|\*\*\*' "$dossier.ctest.log" | head -150 || true
    fi
    grep -E '^[0-9]+% tests passed|tests failed out of|^Total Test time' "$dossier.ctest.log" || true
    return $rc
}

mkdir -p build
passe build -DCMAKE_BUILD_TYPE=RelWithDebInfo || echec=1

export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
passe build-asan -DCMAKE_BUILD_TYPE=Debug \
    "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined -fno-omit-frame-pointer" \
    "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined" || echec=1
unset ASAN_OPTIONS UBSAN_OPTIONS

# Court passage de chaque cible de fuzzing (une ligne de bilan par cible), quand clang est là.
if command -v clang++ >/dev/null 2>&1 && [ -x tests/fuzz/fuzz.sh ]; then
    echo "== Fuzzing (CDAPI, cartes, commandes, datagrammes, lecture numérique)"
    tests/fuzz/fuzz.sh || echec=1
fi

if [ $echec -ne 0 ]; then
    echo "ECHEC"
    exit 1
fi
echo "Tous les tests sont passés."
