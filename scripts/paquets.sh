# Paquets Debian dont le projet a besoin ; installe ceux qui manquent (à sourcer).
# qt6-charts-dev ne tire pas libqt6opengl6-dev, dont la configuration CMake de Qt Charts a besoin.
# bindfs : un vrai système de fichiers FUSE pour l'essai du registre sur un partage.
# Passage Windows : g++-mingw-w64-x86-64-posix, wine et wine64 (les tests), nsis (l'installateur),
# tcl (tclsh fait l'amalgame de SQLite), dpkg-dev (apt-get source déballe et corrige les sources),
# fonts-dejavu-core (les polices de la plateforme hors écran de Qt sous Windows), debootstrap (le
# Wine de Debian 13 du bout en bout, scripts/wine-debian13.sh).
PELORANE_PAQUETS=(qt6-base-dev qt6-serialport-dev qt6-charts-dev libqt6opengl6-dev libqt6sql6-sqlite libqt6sql6-odbc libsqliteodbc unixodbc
                  cmake ninja-build g++ poppler-utils sqlite3
                  qt6-translations-l10n dpkg-dev file lintian desktop-file-utils g++-mingw-w64-x86-64-posix
                  strace libfaketime bindfs xvfb openbox xdotool x11-utils)
# Passage Windows seulement (aussi seul : ./test.sh --windows).
PELORANE_PAQUETS_WINDOWS=(wine wine64 nsis tcl xz-utils patch python3 fonts-dejavu-core debootstrap)

pelorane_installe_paquets() {
    local manquants=() p
    for p in "${PELORANE_PAQUETS[@]}" "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            manquants+=("$p")
        fi
    done
    [ ${#manquants[@]} -eq 0 ] && return 0
    echo "Installation des paquets manquants : ${manquants[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${manquants[@]}" >/dev/null
}
