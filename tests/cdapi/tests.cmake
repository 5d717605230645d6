# Tests de src/cdapi
pelorane_test(test_catalogue_cdapi ${CMAKE_CURRENT_LIST_DIR}/TestCatalogueCdapi.cpp)
pelorane_test(test_trace_cdapi ${CMAKE_CURRENT_LIST_DIR}/TestTraceCdapi.cpp)
