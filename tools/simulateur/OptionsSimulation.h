#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

// Réglages d'une simulation du côté robot ; les durées sont en millisecondes.
struct OptionsSimulation
{
    QString racine;                 // même racine que le service (--racine)
    int dureeS = 0;                 // 0 : jusqu'à SIGTERM / SIGINT
    int commandes = -1;             // nombre de commandes à déposer ; -1 : sans limite
    int intervalleCommandeMs = 4000; // une commande toutes les … ms
    int retourToutesLes = 5;        // un fichier de retour toutes les N commandes (0 : jamais)
    int delaiHoteMs = 1500;         // l'hôte prend la commande du fichier de passation après …
    int delaiConvoyeurMs = 3000;    // les boîtes arrivent au tiroir … après la prise
    int collecteMs = 4000;          // l'entrée du tiroir lit "1" tant que les boîtes y restent
    int perteDatagramme = 0;        // un datagramme sur N n'est pas envoyé (0 : aucun perdu)
    int nbTiroirs = 4;
    quint16 portCdapi = 43323;
    quint16 portUdp = 43325;
    QString normeCdapi = QStringLiteral("CDAPI-B");
    int demandeAToutesLesS = 0;     // une demande d'éjection "A" toutes les N s (0 : jamais)
    int demandeAToutesLesMs = 0;    // idem en ms, pour inonder la liaison (prime sur la précédente)
    int lignesDemandeA = 2;         // lignes de chaque demande "A" (1 à 99)
    bool demandesADifferentes = false; // chaque demande "A" porte un numéro de commande nouveau
    bool hoteMuet = false;          // l'hôte n'acquitte rien
    bool hoteSourd = false;         // l'hôte ne lit jamais sa socket CDAPI
    int identificationToutesLesS = 0; // une identification "R" toutes les N s (0 : jamais)
    int retardCartesMs = 0;         // les cartes répondent … après chaque trame (0 : tout de suite)
    QStringList cartesEnRetard;     // cartes concernées par le retard (vide : toutes)
    QStringList cartesFautives;     // "NOM:GENRE", GENRE muette, somme, nul ou bavarde
    int pourcentSommesFausses = 0;  // part des réponses de chaque carte avec une somme fausse
    QMap<QString, QString> parametres; // clés ajoutées à la base quand elles manquent
};
