pelorane_test(test_journal_statut ${CMAKE_CURRENT_LIST_DIR}/TestJournalStatut.cpp)
pelorane_test(test_demarrage ${CMAKE_CURRENT_LIST_DIR}/TestDemarrage.cpp LIENS pelorane_fenetres emulateur_cartes Qt6::Network)
include(${CMAKE_CURRENT_LIST_DIR}/cycle.cmake)
