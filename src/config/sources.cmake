list(APPEND PELORANE_NOYAU
    ${CMAKE_CURRENT_LIST_DIR}/LectureNombre.h ${CMAKE_CURRENT_LIST_DIR}/LectureNombre.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Configuration.h
    ${CMAKE_CURRENT_LIST_DIR}/MagasinParametres.h ${CMAKE_CURRENT_LIST_DIR}/MagasinParametres.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ClesParametres.h ${CMAKE_CURRENT_LIST_DIR}/ClesParametres.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ReglageBaseHote.h ${CMAKE_CURRENT_LIST_DIR}/ReglageBaseHote.cpp
)
