# Tests de src/drawers

# Cartes d'extension simulées sur un pseudo-terminal ; resservent au simulateur. Windows n'a pas de
# pseudo-terminal : sous Wine, la ligne des cartes passe par le bout en bout contre le simulateur.
if(PELORANE_CARTES_SIMULEES)
    add_library(emulateur_cartes STATIC
        ${CMAKE_CURRENT_LIST_DIR}/EmulateurCartes.h ${CMAKE_CURRENT_LIST_DIR}/EmulateurCartes.cpp)
    target_include_directories(emulateur_cartes PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
    target_link_libraries(emulateur_cartes PUBLIC pelorane_noyau)
    pelorane_test(test_ligne_cartes ${CMAKE_CURRENT_LIST_DIR}/TestLigneCartes.cpp LIENS emulateur_cartes)
    pelorane_test(test_tableau_tiroirs ${CMAKE_CURRENT_LIST_DIR}/TestTableauTiroirs.cpp LIENS emulateur_cartes)
endif()

pelorane_test(test_trame_cartes ${CMAKE_CURRENT_LIST_DIR}/TestTrameCartes.cpp)
pelorane_test(test_nom_port_serie ${CMAKE_CURRENT_LIST_DIR}/TestNomPortSerie.cpp)
pelorane_test(test_ecoute_datagrammes ${CMAKE_CURRENT_LIST_DIR}/TestEcouteDatagrammes.cpp)
