# Tests de src/app : fenêtre Liste, et le vrai programme en processus
pelorane_test(test_frm_liste ${CMAKE_CURRENT_LIST_DIR}/TestFrmListe.cpp LIENS pelorane_fenetres)
if(PELORANE_CARTES_SIMULEES)
    pelorane_test(test_demarrage ${CMAKE_CURRENT_LIST_DIR}/TestDemarrage.cpp LIENS pelorane_fenetres emulateur_cartes Qt6::Network)
    pelorane_test(test_processus ${CMAKE_CURRENT_LIST_DIR}/TestProcessus.cpp LIENS emulateur_cartes Qt6::Network Qt6::Sql)
else()
    pelorane_test(test_processus ${CMAKE_CURRENT_LIST_DIR}/TestProcessus.cpp LIENS pelorane_noyau Qt6::Network Qt6::Sql)
endif()
add_dependencies(test_processus pelorane)
set_tests_properties(test_processus PROPERTIES RESOURCE_LOCK reglage_hote)
# Le service contre le simulateur (tools/simulateur), deux vrais processus ; sous Windows, le bout
# en bout est celui du service sous Wine contre le simulateur de Linux (scripts/windows.sh).
if(PELORANE_CARTES_SIMULEES)
    pelorane_test(test_bout_en_bout ${CMAKE_CURRENT_LIST_DIR}/TestBoutEnBout.cpp LIENS Qt6::Network)
    set_property(TEST test_bout_en_bout APPEND PROPERTY ENVIRONMENT
        "PELORANE_SIMULATEUR=$<TARGET_FILE:pelorane-simulateur>")
    set_tests_properties(test_bout_en_bout PROPERTIES TIMEOUT 120)
    add_dependencies(test_bout_en_bout pelorane pelorane-simulateur)
    pelorane_test(test_reprise_processus ${CMAKE_CURRENT_LIST_DIR}/TestRepriseProcessus.cpp LIENS emulateur_cartes Qt6::Network Qt6::Sql)
    set_property(TEST test_reprise_processus APPEND PROPERTY ENVIRONMENT
        "PELORANE_SIMULATEUR=$<TARGET_FILE:pelorane-simulateur>")
    add_dependencies(test_reprise_processus pelorane pelorane-simulateur)
endif()
# Rapport d'activité : le programme (--rapport) et la fenêtre du rapport. Sans Qt Charts, le
# programme dit seulement que le rapport n'est pas dans la construction.
if(PELORANE_GRAPHIQUES)
    pelorane_test(test_rapport ${CMAKE_CURRENT_LIST_DIR}/TestRapport.cpp LIENS pelorane_fenetres)
    add_dependencies(test_rapport pelorane)
else()
    add_test(NAME rapport_absent COMMAND pelorane --rapport --pdf rapport.pdf)
    set_tests_properties(rapport_absent PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
        PASS_REGULAR_EXPRESSION "^le rapport d'activité n'est pas dans cette construction de Pelorane \\(sans Qt Charts\\)\n$")
endif()
# Lancé comme par l'entrée du menu, sur Xvfb avec openbox (passé sans ces outils).
pelorane_test(test_bureau ${CMAKE_CURRENT_LIST_DIR}/TestBureau.cpp)
set_property(TEST test_bureau APPEND PROPERTY ENVIRONMENT
    "PELORANE_BUREAU=${CMAKE_SOURCE_DIR}/packaging/pelorane.desktop")
# Seul pendant qu'il tourne : sous la charge des autres essais, la recherche des fenêtres
# de Xvfb et l'envoi des touches par xdotool deviennent incertains.
set_tests_properties(test_bureau PROPERTIES TIMEOUT 240 RUN_SERIAL TRUE)
add_dependencies(test_bureau pelorane)
