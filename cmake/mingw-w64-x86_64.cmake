# Chaîne de compilation croisée vers Windows 64 bits (MinGW-w64 de Debian).
# Les compilateurs « -posix » : leur modèle de fils (winpthreads) donne std::thread et std::mutex,
# dont Qt a besoin ; les « -win32 » ne les ont pas.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PELORANE_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PELORANE_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PELORANE_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${PELORANE_MINGW}-windres)

# Racines où chercher bibliothèques, en-têtes et paquets CMake : le système MinGW, et le Qt
# construit pour Windows quand ce fichier est recopié dans son dossier (scripts/qt-windows.sh).
set(CMAKE_FIND_ROOT_PATH /usr/${PELORANE_MINGW} ${CMAKE_CURRENT_LIST_DIR})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
