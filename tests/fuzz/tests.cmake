# Cibles libFuzzer (tests/fuzz/fuzz.sh), construites avec clang seulement.
if(PELORANE_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    set(PELORANE_CIBLES_FUZZ
        fuzz_cdapi FuzzCdapi
        fuzz_trame_cartes FuzzTrameCartes
        fuzz_fichier_commande FuzzFichierCommande
        fuzz_datagramme FuzzDatagramme
        fuzz_lit_nombre FuzzLitNombre)
    while(PELORANE_CIBLES_FUZZ)
        list(POP_FRONT PELORANE_CIBLES_FUZZ cible source)
        add_executable(${cible} ${CMAKE_CURRENT_LIST_DIR}/${source}.cpp ${CMAKE_CURRENT_LIST_DIR}/Exige.h)
        target_compile_options(${cible} PRIVATE -fsanitize=fuzzer,address,undefined)
        target_link_options(${cible} PRIVATE -fsanitize=fuzzer,address,undefined)
        target_link_libraries(${cible} PRIVATE pelorane_commun_tests pelorane_noyau)
    endwhile()
endif()
