pelorane_test(test_lecture_nombre ${CMAKE_CURRENT_LIST_DIR}/TestLectureNombre.cpp)
pelorane_test(test_magasin_parametres ${CMAKE_CURRENT_LIST_DIR}/TestMagasinParametres.cpp LIENS Qt6::Sql)
