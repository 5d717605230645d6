#pragma once

#include "drawers/TableauTiroirs.h"

#include <QDate>
#include <QList>
#include <QString>
#include <array>

// Une ligne du registre des remises telle que le rapport d'activité la lit.
struct RemiseRegistre
{
    QString fichier;
    QString ordre;
    QString etat; // "en_remise", "remise", "effacee", "mise_de_cote"
    int tiroir = 0;
    qint64 vueLe = 0, debutLe = 0, remiseLe = 0, libereeLe = 0; // ms depuis l'époque, 0 : inconnu
    TableauTiroirs::CauseLiberation liberation = TableauTiroirs::CauseLiberation::Aucune;
};

// Chiffres d'une journée pour le rapport d'activité : règles pures, sans accès
// au disque ; les heures et les jours sont ceux de l'heure locale.
//
// Une commande appartient au jour où elle a été remise (à défaut, au jour où
// sa remise a commencé). Médiane : valeur du milieu (moyenne des deux du milieu
// pour un nombre pair) ; 95e centile : rang le plus proche (la plus petite valeur
// dont au moins 95 % des durées ne dépassent pas).
class StatistiquesJour
{
public:
    struct Repartition
    {
        int nombre = 0;
        qint64 medianeMs = 0;
        qint64 centile95Ms = 0;
    };
    // Causes de libération dans l'ordre des piles du rapport.
    static constexpr std::array<TableauTiroirs::CauseLiberation, 4> Causes = {
        TableauTiroirs::CauseLiberation::Datagramme, TableauTiroirs::CauseLiberation::Temps,
        TableauTiroirs::CauseLiberation::Clic, TableauTiroirs::CauseLiberation::Tous
    };
    struct Tiroir
    {
        int numero = 0;
        Repartition remiseLiberation;    // de la remise à la libération du tiroir
        std::array<int, 4> causes{};     // libérations, dans l'ordre de Causes
    };
    struct Attente
    {
        QString ordre;
        QString fichier;
        qint64 remiseLe = 0;
        qint64 dureeMs = 0; // de la première vue à la remise
    };
    static constexpr int NbPlusLongues = 10;

    // Les chiffres du jour ; les lignes des autres jours sont ignorées.
    static StatistiquesJour Calcule(const QDate& jour, const QList<RemiseRegistre>& lignes);
    static Repartition Repartit(QList<qint64> durees);
    // Libellé français d'une cause : "fin de convoyage", "temps dépassé", "clic", "tous les tiroirs".
    static QString NomCause(TableauTiroirs::CauseLiberation cause);

    bool Vide() const { return remises + misesDeCote + interrompues == 0; }

    QDate jour;
    // Le jour commence avant la limite de la purge du registre : ses lignes ont pu
    // être retirées, ses chiffres ne sont pas connus (jamais « aucune commande »).
    bool purge = false;
    int remises = 0;
    int misesDeCote = 0;
    int interrompues = 0;
    std::array<int, 24> remisesParHeure{};
    int heureChargee = -1; // heure aux plus nombreuses remises (la plus tôt à égalité), -1 sans remise
    QList<Tiroir> tiroirs; // tiroirs des remises du jour, par numéro
    Repartition attente;   // de la première vue à la remise, sur le jour
    std::array<Repartition, 24> attenteParHeure{};
    // Au plus NbPlusLongues, la plus longue d'abord ; à égalité, la remise la plus tôt,
    // puis le nom du fichier (l'ordre des lignes lues n'y est pour rien).
    QList<Attente> plusLonguesAttentes;
};
