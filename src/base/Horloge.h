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
    // Laisse passer une fois les événements en attente (clics, sockets, minuteries).
    virtual void Cede() = 0;
    // Bloque le fil sans traiter d'événement.
    virtual void Dort(int millisecondes) = 0;

    // Attente qui garde la fenêtre vivante : au moins un tour d'événements et
    // 10 ms, puis jusqu'à la première lecture strictement au-delà de la durée.
    void timePause(double Sleep_Temps_Seconde);

    // Attente de la boucle de traitement : les événements passent dès qu'ils
    // arrivent. Par défaut comme timePause ; l'horloge réelle attend sans scruter,
    // pour que le service au repos ne réveille pas le processeur toutes les 10 ms.
    virtual void AttendEnCedant(int millisecondes);
};
