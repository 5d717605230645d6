# Tests de src/service
pelorane_test(test_service_pelorane ${CMAKE_CURRENT_LIST_DIR}/TestServicePelorane.cpp)
set_tests_properties(test_service_pelorane PROPERTIES RESOURCE_LOCK reglage_hote)
pelorane_test(test_cycle_traitement ${CMAKE_CURRENT_LIST_DIR}/TestCycleTraitement.cpp)
if(PELORANE_CARTES_SIMULEES)
    pelorane_test(test_cycle_cartes ${CMAKE_CURRENT_LIST_DIR}/TestCycleCartes.cpp LIENS emulateur_cartes)
endif()
# Reprise après un arrêt : registre des remises
pelorane_test(test_reprise ${CMAKE_CURRENT_LIST_DIR}/TestReprise.cpp LIENS Qt6::Sql)
