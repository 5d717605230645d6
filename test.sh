#!/usr/bin/env bash
# Installe ce qui manque, construit et lance tous les tests (CTest), puis refait
# le tout avec AddressSanitizer et UndefinedBehaviorSanitizer, puis le passage Windows
# (Qt pour MinGW-w64, tests sous Wine, installateur), qui se lance aussi seul :
# ./test.sh --windows.
set -euo pipefail
cd "$(dirname "$0")"

. scripts/paquets.sh
if [ "${1:-}" = "--windows" ]; then
    pelorane_installe_paquets "${PELORANE_PAQUETS_WINDOWS[@]}"
    exec scripts/windows.sh
fi
pelorane_installe_paquets "${PELORANE_PAQUETS_WINDOWS[@]}"

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

# Paquets Debian de la construction normale (le service, le simulateur à part) :
# liste de leurs fichiers, lintian et desktop-file-validate, puis chaque programme
# lancé depuis l'arbre dépaqueté.
paquet() {
    echo "== Paquets Debian"
    (cd build && rm -f ./*.deb && cpack -G DEB) >build.cpack.log 2>&1 || { tail -20 build.cpack.log; return 1; }
    local version
    version=$(sed -n 's/^project(Pelorane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
    local -A attendus
    attendus[pelorane]="./usr/bin/pelorane
./usr/share/applications/pelorane.desktop
./usr/share/doc/pelorane/README.md
./usr/share/doc/pelorane/changelog.gz
./usr/share/doc/pelorane/copyright
./usr/share/man/man1/pelorane.1.gz
./usr/share/pixmaps/pelorane.xpm"
    attendus[pelorane-simulateur]="./usr/bin/pelorane-simulateur
./usr/share/doc/pelorane-simulateur/changelog.gz
./usr/share/doc/pelorane-simulateur/copyright
./usr/share/man/man1/pelorane-simulateur.1.gz"
    local nom deb arbre fichiers sortie
    for nom in pelorane pelorane-simulateur; do
        deb="build/${nom}_${version}_amd64.deb"
        [ -f "$deb" ] || { echo "paquet absent : $deb"; return 1; }
        fichiers=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort)
        if [ "$fichiers" != "${attendus[$nom]}" ]; then
            echo "fichiers du paquet $nom inattendus :"; diff <(echo "${attendus[$nom]}") <(echo "$fichiers"); return 1
        fi
        arbre=$(mktemp -d)
        dpkg-deb -x "$deb" "$arbre"
        sortie=$("$arbre/usr/bin/$nom" --version 2>/dev/null) || true
        if [ "$nom" = pelorane ] && ! desktop-file-validate "$arbre/usr/share/applications/pelorane.desktop"; then
            rm -rf "$arbre"; return 1
        fi
        rm -rf "$arbre"
        [ "$sortie" = "$nom $version" ] || { echo "$nom --version depuis le paquet : « $sortie »"; return 1; }
        echo "$(basename "$deb") : $(echo "$fichiers" | wc -l) fichiers, version $version"
    done
    # Ni erreur ni avertissement ; les remarques (I:) restent permises.
    if command -v lintian >/dev/null; then
        lintian --fail-on error,warning build/pelorane_"$version"_amd64.deb \
            build/pelorane-simulateur_"$version"_amd64.deb 2>/dev/null || { echo "lintian en échec"; return 1; }
        echo "lintian : ni erreur ni avertissement"
    fi
}

# Chaque source de src/ passé au compilateur croisé MinGW-w64 (analyse seule, avec
# les en-têtes Qt de Linux) : les branches Q_OS_WIN sont au moins lues et typées.
# Ce n'est pas une construction pour Windows.
mingw() {
    echo "== Analyse MinGW-w64 (Q_OS_WIN)"
    local cxx=x86_64-w64-mingw32-g++-posix qt=/usr/include/x86_64-linux-gnu/qt6
    command -v "$cxx" >/dev/null || { echo "$cxx absent"; return 1; }
    local inc=(-I"$qt" -Isrc -Ibuild/genere)
    for m in QtCore QtGui QtWidgets QtNetwork QtSerialPort QtSql QtPrintSupport QtCharts; do inc+=(-I"$qt/$m"); done
    # -Wno-attributes : les en-têtes Linux de Qt ne portent pas les dllimport de Windows.
    if ! find src -name '*.cpp' | sort | xargs -P "$JOBS" -n 1 "$cxx" -std=c++17 -fsyntax-only -Wno-attributes \
            "${inc[@]}" >build.mingw.log 2>&1; then
        grep -m 20 -E 'error' build.mingw.log; return 1
    fi
    echo "$(find src -name '*.cpp' | wc -l) sources analysés"
}

mkdir -p build
passe build -DCMAKE_BUILD_TYPE=RelWithDebInfo || echec=1
paquet || echec=1
mingw || echec=1

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

# Le passage Windows en dernier : un échec sous Linux se voit avant. Qt pour Windows se
# construit la première fois (une vingtaine de minutes sur deux cœurs), puis sert de cache.
unset QT_QPA_PLATFORM
scripts/windows.sh || echec=1

if [ $echec -ne 0 ]; then
    echo "ECHEC"
    exit 1
fi
echo "Tous les tests sont passés."
