# Socle : journal d'état et fichier, horloge et ses attentes, boîtes de message
# (interface), chemins montrés, page de code, accès aux fichiers du dossier d'échange,
# écritures poussées sur le disque.
list(APPEND PELORANE_NOYAU
    ${CMAKE_CURRENT_LIST_DIR}/JournalStatut.h ${CMAKE_CURRENT_LIST_DIR}/JournalStatut.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FiltreSortiesAux.h ${CMAKE_CURRENT_LIST_DIR}/FiltreSortiesAux.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ResumeRepetitions.h ${CMAKE_CURRENT_LIST_DIR}/ResumeRepetitions.cpp
    ${CMAKE_CURRENT_LIST_DIR}/JournalFichier.h ${CMAKE_CURRENT_LIST_DIR}/JournalFichier.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Durabilite.h ${CMAKE_CURRENT_LIST_DIR}/Durabilite.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Volumes.h ${CMAKE_CURRENT_LIST_DIR}/Volumes.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CheminAffiche.h ${CMAKE_CURRENT_LIST_DIR}/CheminAffiche.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Horloge.h
    ${CMAKE_CURRENT_LIST_DIR}/HorlogeSysteme.h ${CMAKE_CURRENT_LIST_DIR}/HorlogeSysteme.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Dialogues.h
    ${CMAKE_CURRENT_LIST_DIR}/PageDeCode.h ${CMAKE_CURRENT_LIST_DIR}/PageDeCode.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SystemeFichiers.h ${CMAKE_CURRENT_LIST_DIR}/SystemeFichiers.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DossierExecution.h ${CMAKE_CURRENT_LIST_DIR}/DossierExecution.cpp
)
