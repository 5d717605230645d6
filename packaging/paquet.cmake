# Paquets Debian (cpack -G DEB depuis la construction normale), un par composant :
#   pelorane             le service dans /usr/bin, l'entrée de bureau en français avec
#                        l'icône, la notice, la page de manuel ;
#   pelorane-simulateur  le simulateur et sa page de manuel, à part : pointé sur la
#                        racine d'une vraie installation, il déposerait de fausses
#                        commandes dans le vrai dossier d'échange.
# Chacun porte dans /usr/share/doc/PAQUET son changelog et son fichier copyright ;
# dépendances tirées des bibliothèques (dpkg-shlibdeps).
include(GNUInstallDirs)

set(PELORANE_MAINTENEUR "Les développeurs de Pelorane <developpeurs@pelorane.example>")
find_program(PELORANE_GZIP gzip REQUIRED)

# Date de la version : celle de la dernière entrée du changelog (une seule source),
# écrite AAAA-MM-JJ au pied des pages de manuel.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/changelog PELORANE_LIGNES_SIGNATURE REGEX "^ -- " ENCODING UTF-8)
list(GET PELORANE_LIGNES_SIGNATURE 0 PELORANE_SIGNATURE)
if(NOT PELORANE_SIGNATURE MATCHES ", ([0-9][0-9]?) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
    message(FATAL_ERROR "packaging/changelog : date illisible dans « ${PELORANE_SIGNATURE} »")
endif()
set(PELORANE_JOUR ${CMAKE_MATCH_1})
set(PELORANE_ANNEE ${CMAKE_MATCH_3})
set(PELORANE_MOIS_NOMS Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND PELORANE_MOIS_NOMS ${CMAKE_MATCH_2} PELORANE_MOIS)
math(EXPR PELORANE_MOIS "${PELORANE_MOIS} + 1")
if(PELORANE_MOIS LESS 10)
    set(PELORANE_MOIS 0${PELORANE_MOIS})
endif()
string(LENGTH "${PELORANE_JOUR}" PELORANE_LONGUEUR_JOUR)
if(PELORANE_LONGUEUR_JOUR EQUAL 1)
    set(PELORANE_JOUR 0${PELORANE_JOUR})
endif()
set(PELORANE_DATE_VERSION ${PELORANE_ANNEE}-${PELORANE_MOIS}-${PELORANE_JOUR})

# Page de manuel : version et date insérées, compressée comme le veut Debian.
function(pelorane_page_manuel nom composant)
    configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/${nom}.1 ${CMAKE_BINARY_DIR}/genere/man/${nom}.1 @ONLY)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/genere/man/${nom}.1.gz
                       COMMAND ${PELORANE_GZIP} -9nf -k ${CMAKE_BINARY_DIR}/genere/man/${nom}.1
                       DEPENDS ${CMAKE_BINARY_DIR}/genere/man/${nom}.1 VERBATIM)
    add_custom_target(page_manuel_${composant} ALL DEPENDS ${CMAKE_BINARY_DIR}/genere/man/${nom}.1.gz)
    install(FILES ${CMAKE_BINARY_DIR}/genere/man/${nom}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
            COMPONENT ${composant})
endfunction()

# changelog.gz (paquet natif : version sans révision Debian) et copyright du paquet.
function(pelorane_doc_paquet paquet composant)
    set(PAQUET ${paquet})
    set(dossier ${CMAKE_BINARY_DIR}/genere/doc/${paquet})
    configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/changelog ${dossier}/changelog @ONLY)
    add_custom_command(OUTPUT ${dossier}/changelog.gz
                       COMMAND ${PELORANE_GZIP} -9nf -k ${dossier}/changelog
                       DEPENDS ${dossier}/changelog VERBATIM)
    add_custom_target(changelog_${composant} ALL DEPENDS ${dossier}/changelog.gz)
    install(FILES ${dossier}/changelog.gz ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/copyright
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${paquet} COMPONENT ${composant})
endfunction()

install(TARGETS pelorane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT service)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/pelorane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
        COMPONENT service)
# L'icône de la fenêtre, telle quelle (XPM, que les bureaux lisent dans pixmaps).
install(FILES ${PROJECT_SOURCE_DIR}/src/app/images/icone1.xpm DESTINATION ${CMAKE_INSTALL_DATADIR}/pixmaps
        RENAME pelorane.xpm COMPONENT service)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/pelorane COMPONENT service)
pelorane_page_manuel(pelorane service)
pelorane_doc_paquet(pelorane service)

install(TARGETS pelorane-simulateur RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT simulateur)
pelorane_page_manuel(pelorane-simulateur simulateur)
pelorane_doc_paquet(pelorane-simulateur simulateur)

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL service simulateur)
set(CPACK_PACKAGE_NAME pelorane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Pelorane")
set(CPACK_PACKAGE_CONTACT "${PELORANE_MAINTENEUR}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)

# Synopsis (première ligne) puis description longue, lignes de moins de 80 caractères.
set(CPACK_DEBIAN_SERVICE_PACKAGE_NAME pelorane)
string(CONCAT CPACK_COMPONENT_SERVICE_DESCRIPTION
    "service des tiroirs de livraison du robot de la pharmacie\n"
    "Lance les commandes du dossier d'échange vers les tiroirs de livraison,\n"
    "suit les tiroirs par les cartes d'extension de la ligne série et dialogue\n"
    "en CDAPI avec le programme hôte du robot. Un registre SQLite garde chaque\n"
    "remise ; pelorane --rapport en tire un rapport d'activité en PDF.")
# Greffons chargés à l'exécution, que dpkg-shlibdeps ne voit pas : base SQLite (et
# ODBC pour les bases Access) ; la plate-forme graphique vient avec libqt6gui6.
set(CPACK_DEBIAN_SERVICE_PACKAGE_DEPENDS "libqt6sql6-sqlite")
set(CPACK_DEBIAN_SERVICE_PACKAGE_SUGGESTS "libqt6sql6-odbc, pelorane-simulateur")

set(CPACK_DEBIAN_SIMULATEUR_PACKAGE_NAME pelorane-simulateur)
set(CPACK_DEBIAN_SIMULATEUR_PACKAGE_SECTION devel)
string(CONCAT CPACK_COMPONENT_SIMULATEUR_DESCRIPTION
    "simulateur du robot de la pharmacie, pour essayer pelorane\n"
    "Joue tout ce qui entoure le service pelorane : le programme hôte (fichier\n"
    "de passation, CDAPI), les cartes des tiroirs sur un pseudo-terminal, le\n"
    "convoyeur et les comptoirs. Pour la démonstration et les essais seulement :\n"
    "il dépose de fausses commandes dans le dossier d'échange de sa racine.")
set(CPACK_DEBIAN_SIMULATEUR_PACKAGE_DEPENDS "libqt6sql6-sqlite")
include(CPack)
