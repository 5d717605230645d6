# Cycle de traitement et contrôle du temps des tiroirs
list(APPEND PELORANE_NOYAU
    ${CMAKE_CURRENT_LIST_DIR}/CycleTraitement.h ${CMAKE_CURRENT_LIST_DIR}/CycleTraitement.cpp
)
