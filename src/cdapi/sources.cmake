# Fichiers de src/cdapi : dialogue CDAPI avec VBtrevix
list(APPEND PELORANE_NOYAU
    ${CMAKE_CURRENT_LIST_DIR}/CatalogueCdapi.h ${CMAKE_CURRENT_LIST_DIR}/CatalogueCdapi.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TraceCdapi.h ${CMAKE_CURRENT_LIST_DIR}/TraceCdapi.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ResumeTracesCdapi.h ${CMAKE_CURRENT_LIST_DIR}/ResumeTracesCdapi.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ConnexionCdapi.h ${CMAKE_CURRENT_LIST_DIR}/ConnexionCdapi.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LiaisonCdapi.h ${CMAKE_CURRENT_LIST_DIR}/LiaisonCdapi.cpp
)
