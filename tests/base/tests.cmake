# Tests de src/base
pelorane_test(test_journal_statut ${CMAKE_CURRENT_LIST_DIR}/TestJournalStatut.cpp)
pelorane_test(test_chemin_affiche ${CMAKE_CURRENT_LIST_DIR}/TestCheminAffiche.cpp)
