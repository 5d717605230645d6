#pragma once

#include <QString>

// Mesures sur le service et le simulateur lancés en vrais processus.
struct ResultatsProcessus
{
    double latenceMedianeMs = 0;
    double latenceP95Ms = 0;
    // Même mesure pour une commande écrite sur place (ouverte, écrite, fermée).
    double latenceSurPlaceMedianeMs = 0;
    double latenceSurPlaceP95Ms = 0;
    double commandesParMinute = 0;
    double processeurReposPourcent = 0;
    long memoireServiceDebutKio = 0;
    long memoireServiceFinKio = 0;
    QString conditions; // réglages des mesures, à citer avec les chiffres
    QString erreur;     // vide quand tout a pu être mesuré
};

ResultatsProcessus MesureProcessus(const QString& pelorane, const QString& simulateur, const QString& dossier);
