# Installateur Windows (cpack -G NSIS depuis la construction croisée MinGW-w64) :
#   bin\pelorane.exe, les DLL de Qt et de MinGW dont il a besoin, les greffons de Qt chargés à
#   l'exécution (plate-forme windows, style, bases SQLite et ODBC), la notice et le texte des
#   licences ; une entrée du menu Démarrer et un programme de désinstallation.
# windeployqt n'existe pas pour une construction croisée : la liste des DLL et des greffons est
# écrite ici. Dans l'arbre de
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
    platforms/qoffscreen.dll
    styles/qwindowsvistastyle.dll
    sqldrivers/qsqlite.dll
    sqldrivers/qsqlodbc.dll)

# Les DLL de Qt des modules liés et celles de MinGW, nommées ici : la résolution de CMake
# (GET_RUNTIME_DEPENDENCIES) met les noms en minuscules et ne retrouve pas Qt6Core.dll sur un
# système de fichiers sensible à la casse.
install(TARGETS pelorane RUNTIME DESTINATION bin COMPONENT service)
set(_dll_qt)
foreach(_module IN LISTS PELORANE_MODULES_QT)
    if(NOT _module STREQUAL "Test")
        list(APPEND _dll_qt "${PELORANE_QT_WINDOWS}/bin/Qt6${_module}.dll")
    endif()
endforeach()
install(FILES ${_dll_qt} "${_dossier_gcc}/libstdc++-6.dll" "${_dossier_gcc}/libgcc_s_seh-1.dll"
        "${_dossier_pthread}/libwinpthread-1.dll" DESTINATION bin COMPONENT service)
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
set(CPACK_NSIS_PACKAGE_NAME "Pelorane")
set(CPACK_NSIS_DISPLAY_NAME "Pelorane")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
# Page de licence : Qt Charts est sous GPL-3, et l'installateur le porte (voir licence-windows.txt).
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_LIST_DIR}/licence-windows.txt)
# Installateur 64 bits et Unicode (textes français) : un installateur 32 bits ne se lance pas
# dans un Wine sans wine32, et Windows 64 bits n'en a pas besoin.
# (CPack 3.25 ne recopie pas CPACK_NSIS_DEFINES dans le script : la ligne passe par le code de
# l'icône, placé hors de toute section comme NSIS le demande.)
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_INSTALLER_MUI_ICON_CODE "Target amd64-unicode")
# Entrée du menu Démarrer : bin\pelorane.exe, sous le nom Pelorane.
set(CPACK_PACKAGE_EXECUTABLES pelorane Pelorane)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY bin)
set(CPACK_NSIS_INSTALLED_ICON_NAME bin\\\\pelorane.exe)
set(CPACK_STRIP_FILES ON)
include(CPack)
