list(APPEND PELORANE_NOYAU
    ${CMAKE_CURRENT_LIST_DIR}/JournalStatut.h ${CMAKE_CURRENT_LIST_DIR}/JournalStatut.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CheminAffiche.h ${CMAKE_CURRENT_LIST_DIR}/CheminAffiche.cpp
    ${CMAKE_CURRENT_LIST_DIR}/JournalFichier.h ${CMAKE_CURRENT_LIST_DIR}/JournalFichier.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Horloge.h ${CMAKE_CURRENT_LIST_DIR}/Horloge.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HorlogeSysteme.h ${CMAKE_CURRENT_LIST_DIR}/HorlogeSysteme.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Dialogues.h
    ${CMAKE_CURRENT_LIST_DIR}/ReglageBaseHote.h ${CMAKE_CURRENT_LIST_DIR}/ReglageBaseHote.cpp
    ${CMAKE_CURRENT_LIST_DIR}/InstanceUnique.h ${CMAKE_CURRENT_LIST_DIR}/InstanceUnique.cpp
)
list(APPEND PELORANE_FENETRES
    ${CMAKE_CURRENT_LIST_DIR}/DialoguesQt.h ${CMAKE_CURRENT_LIST_DIR}/DialoguesQt.cpp
    ${CMAKE_CURRENT_LIST_DIR}/BoutonMultiligne.h ${CMAKE_CURRENT_LIST_DIR}/BoutonMultiligne.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CaseACocherMultiligne.h ${CMAKE_CURRENT_LIST_DIR}/CaseACocherMultiligne.cpp
    ${CMAKE_CURRENT_LIST_DIR}/F1Pelorane.h ${CMAKE_CURRENT_LIST_DIR}/F1Pelorane.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TraductionQt.h ${CMAKE_CURRENT_LIST_DIR}/TraductionQt.cpp
)
include(${CMAKE_CURRENT_LIST_DIR}/cycle.cmake)
