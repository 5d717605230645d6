# Tests du cycle de traitement
pelorane_test(test_cycle_traitement ${CMAKE_CURRENT_LIST_DIR}/TestCycleTraitement.cpp)
pelorane_test(test_cycle_cartes ${CMAKE_CURRENT_LIST_DIR}/TestCycleCartes.cpp LIENS emulateur_cartes)
# Reprise après un arrêt : registre des remises
pelorane_test(test_reprise ${CMAKE_CURRENT_LIST_DIR}/TestReprise.cpp LIENS Qt6::Sql)
pelorane_test(test_reprise_processus ${CMAKE_CURRENT_LIST_DIR}/TestRepriseProcessus.cpp LIENS emulateur_cartes Qt6::Network)
set_property(TEST test_reprise_processus APPEND PROPERTY ENVIRONMENT
    "PELORANE_SIMULATEUR=$<TARGET_FILE:pelorane-simulateur>")
add_dependencies(test_reprise_processus pelorane pelorane-simulateur)
