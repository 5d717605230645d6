# Le service : séquence de démarrage, cycle de traitement, reprise au démarrage, copie unique.
list(APPEND PELORANE_NOYAU
    ${CMAKE_CURRENT_LIST_DIR}/ServicePelorane.h ${CMAKE_CURRENT_LIST_DIR}/ServicePelorane.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CycleTraitement.h ${CMAKE_CURRENT_LIST_DIR}/CycleTraitement.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PolitiqueReprise.h ${CMAKE_CURRENT_LIST_DIR}/PolitiqueReprise.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CopieNonConfirmee.h ${CMAKE_CURRENT_LIST_DIR}/CopieNonConfirmee.cpp
    ${CMAKE_CURRENT_LIST_DIR}/InstanceUnique.h ${CMAKE_CURRENT_LIST_DIR}/InstanceUnique.cpp
)
