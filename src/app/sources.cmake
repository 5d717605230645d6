# Fenêtres (Qt Widgets, Print Support) ; main est à part (src/CMakeLists.txt).
list(APPEND PELORANE_FENETRES
    ${CMAKE_CURRENT_LIST_DIR}/DialoguesQt.h ${CMAKE_CURRENT_LIST_DIR}/DialoguesQt.cpp
    ${CMAKE_CURRENT_LIST_DIR}/BoutonMultiligne.h ${CMAKE_CURRENT_LIST_DIR}/BoutonMultiligne.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CaseACocherMultiligne.h ${CMAKE_CURRENT_LIST_DIR}/CaseACocherMultiligne.cpp
    ${CMAKE_CURRENT_LIST_DIR}/F1Pelorane.h ${CMAKE_CURRENT_LIST_DIR}/F1Pelorane.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StyleFenetre.h ${CMAKE_CURRENT_LIST_DIR}/StyleFenetre.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FrmListe.h ${CMAKE_CURRENT_LIST_DIR}/FrmListe.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TraductionQt.h ${CMAKE_CURRENT_LIST_DIR}/TraductionQt.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LigneCommande.h ${CMAKE_CURRENT_LIST_DIR}/LigneCommande.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CommandesConsole.h ${CMAKE_CURRENT_LIST_DIR}/CommandesConsole.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SignauxArret.h ${CMAKE_CURRENT_LIST_DIR}/SignauxArret.cpp
    ${CMAKE_CURRENT_LIST_DIR}/GraphiquesRapport.h ${CMAKE_CURRENT_LIST_DIR}/GraphiquesRapport.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RapportActivite.h ${CMAKE_CURRENT_LIST_DIR}/RapportActivite.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CommandeRapport.h ${CMAKE_CURRENT_LIST_DIR}/CommandeRapport.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FrmRapport.h ${CMAKE_CURRENT_LIST_DIR}/FrmRapport.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ZoneEtat.h ${CMAKE_CURRENT_LIST_DIR}/ZoneEtat.cpp
    ${CMAKE_CURRENT_LIST_DIR}/commandes.qrc
)
