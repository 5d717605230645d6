pelorane_test(test_lecture_nombre ${CMAKE_CURRENT_LIST_DIR}/TestLectureNombre.cpp)
