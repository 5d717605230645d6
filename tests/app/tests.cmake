pelorane_test(test_journal_statut ${CMAKE_CURRENT_LIST_DIR}/TestJournalStatut.cpp)
include(${CMAKE_CURRENT_LIST_DIR}/cycle.cmake)
