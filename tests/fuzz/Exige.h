#pragma once

#include <cstdlib>

// Propriété d'une cible de fuzzing : une violation arrête le processus et libFuzzer
// garde l'entrée fautive.
inline void Exige(bool condition)
{
    if (!condition)
        std::abort();
}
