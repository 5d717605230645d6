#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// Résumé des lignes répétées du journal d'état. Deux lignes sont du même genre quand
// l'appelant leur donne le même genre, ou, sans genre donné, quand leurs textes ne
// diffèrent que par leurs chiffres (chaque suite de chiffres compte pour "#").
// Par genre, une fenêtre d'une seconde s'ouvre à la première ligne : ses
// LignesParFenetre premières lignes passent entières, les suivantes sont seulement
// comptées. La fenêtre échue, une ligne dit combien ont été tues, sur quelle durée, et
// la dernière d'entre elles ; la ligne qui suit ouvre une nouvelle fenêtre et passe
// entière. Un flot donne ainsi au plus LignesParFenetre + 1 lignes par seconde et par
// genre ; une rafale courte (les huit tiroirs libérés d'un coup) passe entière.
class ResumeRepetitions
{
public:
    static constexpr int LignesParFenetre = 10;
    static constexpr qint64 FenetreMs = 1000;
    // Genres suivis à la fois ; au-delà, les fenêtres échues sont oubliées, et une
    // ligne d'un genre nouveau qui ne trouve pas de place passe entière sans être suivie.
    static constexpr int GenresMax = 128;

    static QString GenreDuTexte(const QString& texte);

    // Les lignes à écrire, dans l'ordre, pour une ligne arrivée à maintenantMs : vide
    // quand elle est tue ; sinon le résumé éventuel de la fenêtre échue, puis elle.
    QStringList Filtre(const QString& texte, const QString& genre, qint64 maintenantMs);
    // Résumés des fenêtres échues à maintenantMs (pour qu'une rafale finie soit dite
    // même si aucune ligne de son genre ne suit).
    QStringList Echues(qint64 maintenantMs);
    bool ResumeEnAttente() const;

private:
    struct Fenetre
    {
        qint64 debutMs = 0;
        int montrees = 0;
        int tues = 0;
        qint64 premiereTueMs = 0;
        qint64 derniereTueMs = 0;
        QString derniereTue;
    };
    static QString Resume(const Fenetre& fenetre);

    QHash<QString, Fenetre> m_fenetres;
};
