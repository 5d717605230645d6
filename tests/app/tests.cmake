pelorane_test(test_journal_statut ${CMAKE_CURRENT_LIST_DIR}/TestJournalStatut.cpp)
pelorane_test(test_demarrage ${CMAKE_CURRENT_LIST_DIR}/TestDemarrage.cpp LIENS pelorane_fenetres emulateur_cartes Qt6::Network)
include(${CMAKE_CURRENT_LIST_DIR}/cycle.cmake)
pelorane_test(test_processus ${CMAKE_CURRENT_LIST_DIR}/TestProcessus.cpp LIENS emulateur_cartes Qt6::Network Qt6::Sql)
add_dependencies(test_processus pelorane)
# Le service contre le simulateur (tools/simulateur), deux vrais processus.
pelorane_test(test_bout_en_bout ${CMAKE_CURRENT_LIST_DIR}/TestBoutEnBout.cpp LIENS Qt6::Network)
set_property(TEST test_bout_en_bout APPEND PROPERTY ENVIRONMENT
    "PELORANE_SIMULATEUR=$<TARGET_FILE:pelorane-simulateur>")
set_tests_properties(test_bout_en_bout PROPERTIES TIMEOUT 120)
add_dependencies(test_bout_en_bout pelorane pelorane-simulateur)
pelorane_test(test_chemin_affiche ${CMAKE_CURRENT_LIST_DIR}/TestCheminAffiche.cpp)
pelorane_test(test_attente_cedante ${CMAKE_CURRENT_LIST_DIR}/TestAttenteCedante.cpp LIENS Qt6::Network)
