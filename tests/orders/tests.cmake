# Tests de src/orders
pelorane_test(test_fichier_commande ${CMAKE_CURRENT_LIST_DIR}/TestFichierCommande.cpp)
pelorane_test(test_passation ${CMAKE_CURRENT_LIST_DIR}/TestPassation.cpp)
pelorane_test(test_listes_echange ${CMAKE_CURRENT_LIST_DIR}/TestListesEchange.cpp)
pelorane_test(test_statistiques_jour ${CMAKE_CURRENT_LIST_DIR}/TestStatistiquesJour.cpp)
pelorane_test(test_ecrivains_echange ${CMAKE_CURRENT_LIST_DIR}/TestEcrivainsEchange.cpp)
