# Paquet Debian (cpack -G DEB depuis la construction normale) : le service et le
# simulateur dans /usr/bin, l'entrée de bureau en français avec l'icône, la notice
# et la page de manuel ; dépendances tirées des bibliothèques (dpkg-shlibdeps).
include(GNUInstallDirs)

install(TARGETS pelorane pelorane-simulateur RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/pelorane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# L'icône de la fenêtre, telle quelle (XPM, que les bureaux lisent dans pixmaps).
install(FILES ${PROJECT_SOURCE_DIR}/src/app/images/icone1.xpm DESTINATION ${CMAKE_INSTALL_DATADIR}/pixmaps
        RENAME pelorane.xpm)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/pelorane)

# Page de manuel : version insérée, compressée comme le veut Debian.
configure_file(${CMAKE_CURRENT_LIST_DIR}/pelorane.1 ${CMAKE_BINARY_DIR}/genere/man/pelorane.1 @ONLY)
find_program(PELORANE_GZIP gzip)
if(PELORANE_GZIP)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/genere/man/pelorane.1.gz
                       COMMAND ${PELORANE_GZIP} -9nf -k ${CMAKE_BINARY_DIR}/genere/man/pelorane.1
                       DEPENDS ${CMAKE_BINARY_DIR}/genere/man/pelorane.1 VERBATIM)
    add_custom_target(page_manuel ALL DEPENDS ${CMAKE_BINARY_DIR}/genere/man/pelorane.1.gz)
    install(FILES ${CMAKE_BINARY_DIR}/genere/man/pelorane.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
    install(FILES ${CMAKE_BINARY_DIR}/genere/man/pelorane.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pelorane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Pelorane")
set(CPACK_PACKAGE_CONTACT "Pelorane <pelorane@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "service des tiroirs de livraison du robot de la pharmacie")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "service des tiroirs de livraison du robot de la pharmacie\n Lance les commandes du dossier d'échange vers les tiroirs, suit les tiroirs par\n les cartes d'extension, dialogue en CDAPI avec le programme hôte.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Greffons chargés à l'exécution, que dpkg-shlibdeps ne voit pas : base SQLite (et
# ODBC pour les bases Access) ; la plate-forme graphique vient avec libqt6gui6.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libqt6sql6-odbc")
set(CPACK_STRIP_FILES ON)
include(CPack)
