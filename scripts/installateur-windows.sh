#!/usr/bin/env bash
# L'installateur Windows sous Wine : cpack -G NSIS, installation sans question (/S), le programme
# installé répond à --version, l'entrée du menu Démarrer existe, la désinstallation (/S) retire tout.
#   scripts/installateur-windows.sh DOSSIER_CONSTRUCTION_WINDOWS   (WINEPREFIX réglé, sans WINEPATH)
set -uo pipefail
cd "$(dirname "$0")/.."

construction="$1"
: "${WINEPREFIX:?}"
# Le programme installé ne doit trouver ses DLL que dans son dossier.
unset WINEPATH
version=$(sed -n 's/^project(Pelorane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
installateur="$construction/pelorane-$version-win64.exe"

rm -f "$installateur"
(cd "$construction" && cpack -G NSIS) >"$construction.cpack.log" 2>&1 || { tail -30 "$construction.cpack.log"; exit 1; }
[ -f "$installateur" ] || { echo "installateur absent : $installateur"; exit 1; }
echo "$(basename "$installateur") : $(du -k "$installateur" | cut -f1) Kio"

echec=0
faux() { echo "  faux : $*"; echec=1; }

programmes="$(winepath -u 'C:\Program Files' 2>/dev/null)"
dossier="$programmes/Pelorane"
# Une installation d'un passage précédent s'en va d'abord par son propre désinstallateur.
if [ -f "$dossier/Uninstall.exe" ]; then
    wine "$dossier/Uninstall.exe" /S
    wineserver -w
    for _ in $(seq 50); do [ -e "$dossier/bin/pelorane.exe" ] || break; sleep 0.2; done
fi
wine "$installateur" /S
wineserver -w
for f in bin/pelorane.exe bin/Qt6Core.dll bin/Qt6Widgets.dll bin/Qt6SerialPort.dll bin/Qt6Sql.dll \
         bin/Qt6PrintSupport.dll bin/libstdc++-6.dll bin/libgcc_s_seh-1.dll bin/libwinpthread-1.dll \
         bin/platforms/qwindows.dll bin/platforms/qoffscreen.dll bin/sqldrivers/qsqlite.dll bin/sqldrivers/qsqlodbc.dll \
         doc/licence-windows.txt doc/README.md Uninstall.exe; do
    [ -f "$dossier/$f" ] || faux "$f manque dans $dossier"
done
menu="$(winepath -u 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Pelorane' 2>/dev/null)"
[ -f "$menu/Pelorane.lnk" ] || faux "entrée du menu Démarrer absente ($menu/Pelorane.lnk)"

sortie="$(wine "$dossier/bin/pelorane.exe" --version 2>&1 | tr -d '\r')"
[ "$sortie" = "pelorane $version" ] || faux "--version du programme installé : « $sortie »"
echo "programme installé : $sortie"

wine "$dossier/Uninstall.exe" /S
wineserver -w
# Le désinstallateur se recopie ailleurs et finit après son retour : on lui laisse le temps.
for _ in $(seq 50); do [ -e "$dossier/bin/pelorane.exe" ] || break; sleep 0.2; done
[ -e "$dossier/bin/pelorane.exe" ] && faux "pelorane.exe encore là après la désinstallation"
[ -e "$menu/Pelorane.lnk" ] && faux "entrée du menu Démarrer encore là après la désinstallation"
[ $echec -eq 0 ] && echo "installé, lancé (--version) et désinstallé sous Wine"
exit $echec
