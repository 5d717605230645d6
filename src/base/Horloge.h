#pragma once

#include <QtGlobal>

// Horloge et attentes du service. Tout ce qui lit le temps, laisse passer les
// événements ou bloque passe par ici, pour que les tests avancent le temps à la main.
class Horloge
{
public:
    virtual ~Horloge() = default;

    // Millisecondes depuis le démarrage du système, sur 64 bits : ne repasse
    // jamais par zéro et ne vaut jamais 0 (0 veut dire « pas d'horodatage »).
    virtual qint64 get_exact_milli_second() = 0;
    // Laisse passer une fois les événements en attente : seulement aux deux cessions
    // du démarrage, pour que la fenêtre se peigne. Rien d'autre n'attend : la ligne des
    // cartes, la liaison CDAPI et les passes sont menées par les événements.
    virtual void Cede() = 0;
};
