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

// Débit de 60 commandes déposées d'un coup, 6 tiroirs sur 3 cartes, avec les options de
// panne du simulateur (--carte-fautive, --sommes-fausses, --retard-cartes…).
struct DebitCartes
{
    double commandesParMinute = 0;
    int versCartePanne = 0;   // commandes lancées vers les tiroirs 1 et 2 (carte Z45)
    int versTiroirOccupe = -1; // selon le bilan du simulateur
    QString erreur;
};
DebitCartes MesureDebitCartes(const QString& pelorane, const QString& simulateur, const QString& dossier,
                              const QStringList& panne);
