# Tests de src/service
pelorane_test(test_service_pelorane ${CMAKE_CURRENT_LIST_DIR}/TestServicePelorane.cpp)
pelorane_test(test_cycle_traitement ${CMAKE_CURRENT_LIST_DIR}/TestCycleTraitement.cpp)
pelorane_test(test_cycle_cartes ${CMAKE_CURRENT_LIST_DIR}/TestCycleCartes.cpp LIENS emulateur_cartes)
# Reprise après un arrêt : registre des remises
pelorane_test(test_reprise ${CMAKE_CURRENT_LIST_DIR}/TestReprise.cpp LIENS Qt6::Sql)
