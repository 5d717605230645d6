# Tests de src/cdapi

# Hôte CDAPI de banc (rôle de VBtrevix), repris par le simulateur : sans QTest.
add_library(hote_cdapi STATIC
    ${CMAKE_CURRENT_LIST_DIR}/HoteCdapi.h ${CMAKE_CURRENT_LIST_DIR}/HoteCdapi.cpp)
target_include_directories(hote_cdapi PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(hote_cdapi PUBLIC pelorane_noyau Qt6::Network)
if(WIN32)
    target_link_libraries(hote_cdapi PUBLIC ws2_32) # setsockopt
endif()

pelorane_test(test_catalogue_cdapi ${CMAKE_CURRENT_LIST_DIR}/TestCatalogueCdapi.cpp)
pelorane_test(test_trace_cdapi ${CMAKE_CURRENT_LIST_DIR}/TestTraceCdapi.cpp)
pelorane_test(test_liaison_cdapi ${CMAKE_CURRENT_LIST_DIR}/TestLiaisonCdapi.cpp LIENS hote_cdapi)

pelorane_test(test_resume_traces_cdapi ${CMAKE_CURRENT_LIST_DIR}/TestResumeTracesCdapi.cpp)
