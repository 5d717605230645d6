# Installateur Windows (cpack -G NSIS depuis la construction croisée MinGW-w64) :
#   bin\pelorane.exe, les DLL de Qt et de MinGW dont il a besoin, les greffons de Qt chargés à
#   l'exécution (plate-forme windows, style, bases SQLite et ODBC), la notice et le texte des
#   licences ; une entrée du menu Démarrer et un programme de désinstallation.
# windeployqt n'existe pas pour une construction croisée : la liste des DLL vient de la table
# d'importation de pelorane.exe (objdump), celle des greffons est écrite ici. Dans l'arbre de
# construction, les programmes trouvent ces DLL par WINEPATH (scripts/windows.sh).

# Dossiers où chercher les DLL : Qt construit pour Windows, puis les bibliothèques de MinGW.
get_filename_component(PELORANE_QT_WINDOWS "${Qt6Core_DIR}/../../.." ABSOLUTE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
                OUTPUT_VARIABLE _dll_stdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libwinpthread-1.dll
                OUTPUT_VARIABLE _dll_pthread OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(_dossier_gcc "${_dll_stdcxx}" DIRECTORY)
get_filename_component(_dossier_pthread "${_dll_pthread}" DIRECTORY)
set(PELORANE_DOSSIERS_DLL "${PELORANE_QT_WINDOWS}/bin" "${_dossier_gcc}" "${_dossier_pthread}"
    CACHE INTERNAL "DLL de Qt et de MinGW pour Windows")

# Greffons de Qt que le programme charge lui-même.
set(PELORANE_GREFFONS
    platforms/qwindows.dll
    styles/qwindowsvistastyle.dll
    sqldrivers/qsqlite.dll
    sqldrivers/qsqlodbc.dll)

set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM windows+pe)
set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL objdump)
find_program(PELORANE_OBJDUMP NAMES x86_64-w64-mingw32-objdump REQUIRED)
set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND ${PELORANE_OBJDUMP})

install(TARGETS pelorane RUNTIME_DEPENDENCY_SET dependances_pelorane RUNTIME DESTINATION bin COMPONENT service)
# Les DLL de Qt (Qt6*.dll) et de MinGW (lib*.dll) ; celles du système restent à Windows.
install(RUNTIME_DEPENDENCY_SET dependances_pelorane DESTINATION bin COMPONENT service
        PRE_INCLUDE_REGEXES "^[Qq]t6.*\\.dll$" "^lib.*\\.dll$"
        PRE_EXCLUDE_REGEXES ".*"
        DIRECTORIES ${PELORANE_DOSSIERS_DLL})
foreach(_greffon IN LISTS PELORANE_GREFFONS)
    get_filename_component(_sorte "${_greffon}" DIRECTORY)
    install(FILES "${PELORANE_QT_WINDOWS}/plugins/${_greffon}" DESTINATION bin/${_sorte} COMPONENT service)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${CMAKE_CURRENT_LIST_DIR}/copyright
        ${CMAKE_CURRENT_LIST_DIR}/licence-windows.txt DESTINATION doc COMPONENT service)

set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_NAME pelorane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Pelorane")
set(CPACK_PACKAGE_CONTACT "Les développeurs de Pelorane <developpeurs@pelorane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Service des tiroirs de livraison du robot de la pharmacie")
set(CPACK_PACKAGE_FILE_NAME "pelorane-${PROJECT_VERSION}-win64")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Pelorane")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Pelorane")
set(CPACK_COMPONENTS_ALL service)
set(CPACK_NSIS_PACKAGE_NAME "Pelorane ${PROJECT_VERSION}")
set(CPACK_NSIS_DISPLAY_NAME "Pelorane")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
# Page de licence : Qt Charts est sous GPL-3, et l'installateur le porte (voir licence-windows.txt).
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_LIST_DIR}/licence-windows.txt)
# Installateur Unicode : textes français de la page de licence et des raccourcis.
set(CPACK_NSIS_DEFINES "Unicode true")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# Entrée du menu Démarrer : bin\pelorane.exe, sous le nom Pelorane.
set(CPACK_PACKAGE_EXECUTABLES pelorane Pelorane)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY bin)
set(CPACK_NSIS_INSTALLED_ICON_NAME bin\\\\pelorane.exe)
set(CPACK_STRIP_FILES ON)
include(CPack)
