# Fichiers de src/drawers
list(APPEND PELORANE_NOYAU
    ${CMAKE_CURRENT_LIST_DIR}/TrameCartes.h ${CMAKE_CURRENT_LIST_DIR}/TrameCartes.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ReglageLigne.h ${CMAKE_CURRENT_LIST_DIR}/ReglageLigne.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SuiviCartes.h ${CMAKE_CURRENT_LIST_DIR}/SuiviCartes.cpp
    ${CMAKE_CURRENT_LIST_DIR}/NomPortSerie.h ${CMAKE_CURRENT_LIST_DIR}/NomPortSerie.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LigneCartes.h ${CMAKE_CURRENT_LIST_DIR}/LigneCartes.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TableauTiroirs.h ${CMAKE_CURRENT_LIST_DIR}/TableauTiroirs.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DatagrammeFinConvoyage.h ${CMAKE_CURRENT_LIST_DIR}/DatagrammeFinConvoyage.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FileDatagrammes.h ${CMAKE_CURRENT_LIST_DIR}/FileDatagrammes.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FilLectureUdp.h ${CMAKE_CURRENT_LIST_DIR}/FilLectureUdp.cpp
    ${CMAKE_CURRENT_LIST_DIR}/EcouteDatagrammes.h ${CMAKE_CURRENT_LIST_DIR}/EcouteDatagrammes.cpp
)
