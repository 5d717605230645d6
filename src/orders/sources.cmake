# Fichiers de src/orders
list(APPEND PELORANE_NOYAU
    ${CMAKE_CURRENT_LIST_DIR}/FichierCommande.h ${CMAKE_CURRENT_LIST_DIR}/FichierCommande.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ListesEchange.h ${CMAKE_CURRENT_LIST_DIR}/ListesEchange.cpp
    ${CMAKE_CURRENT_LIST_DIR}/VeilleDossier.h ${CMAKE_CURRENT_LIST_DIR}/VeilleDossier.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CommandesPretes.h ${CMAKE_CURRENT_LIST_DIR}/CommandesPretes.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Passation.h ${CMAKE_CURRENT_LIST_DIR}/Passation.cpp
    ${CMAKE_CURRENT_LIST_DIR}/BaseRegistre.h ${CMAKE_CURRENT_LIST_DIR}/BaseRegistre.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RegistreRemises.h ${CMAKE_CURRENT_LIST_DIR}/RegistreRemises.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LecteurHistorique.h ${CMAKE_CURRENT_LIST_DIR}/LecteurHistorique.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HistoriqueRemises.h ${CMAKE_CURRENT_LIST_DIR}/HistoriqueRemises.cpp
)
# Rapport d'activité : lecture seule du registre et chiffres d'une journée.
list(APPEND PELORANE_NOYAU
    ${CMAKE_CURRENT_LIST_DIR}/LectureRegistre.h ${CMAKE_CURRENT_LIST_DIR}/LectureRegistre.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StatistiquesJour.h ${CMAKE_CURRENT_LIST_DIR}/StatistiquesJour.cpp
)
