list(APPEND PELORANE_NOYAU
    ${CMAKE_CURRENT_LIST_DIR}/JournalStatut.h ${CMAKE_CURRENT_LIST_DIR}/JournalStatut.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Horloge.h ${CMAKE_CURRENT_LIST_DIR}/Horloge.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HorlogeSysteme.h ${CMAKE_CURRENT_LIST_DIR}/HorlogeSysteme.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Dialogues.h
)
list(APPEND PELORANE_FENETRES
)
include(${CMAKE_CURRENT_LIST_DIR}/cycle.cmake)
