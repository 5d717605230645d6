#pragma once

#include <QDate>
#include <QFile>
#include <QString>

// Fichier journal (option --journal) : ajout en fin de fichier, sans tampon, avec
// un changement de fichier par jour. À la première écriture d'un nouveau jour local,
// FICHIER devient FICHIER.AAAA-MM-JJ (le jour qu'il contient) et un nouveau FICHIER
// commence ; les fichiers tournés de plus de joursConservation jours sont alors
// effacés, et aussi à l'ouverture. Une écriture refusée (disque plein) est signalée
// une fois par l'appelant, puis son retour ; le fichier est rouvert à chaque essai
// tant que l'écriture échoue. Avant chaque écriture, le fichier ouvert est comparé
// à FICHIER (périphérique, inode) : effacé ou déplacé, FICHIER est recréé.
class JournalFichier
{
public:
    // Rouvert : FICHIER avait été effacé ou déplacé pendant la marche ; il est
    // recréé et les octets y sont écrits.
    enum class Etat { Ecrit, EchecNouveau, EchecDejaSignale, Retabli, Rouvert };

    bool Ouvre(const QString& chemin, int joursConservation, const QDate& aujourdhui, QString* erreur);
    bool EstOuvert() const { return !m_chemin.isEmpty(); }
    const QString& Chemin() const { return m_chemin; }
    bool EnEchec() const { return m_enEchec; }
    // Texte de la dernière erreur (écriture ou changement de fichier).
    const QString& DerniereErreur() const { return m_erreur; }

    // Change de fichier si le jour a changé (seulement en début de ligne, pour ne
    // jamais couper une ligne entre deux fichiers), puis écrit les octets.
    Etat Ecrit(const QByteArray& octets, const QDate& jour, bool debutDeLigne);

    // Nom du fichier tourné pour un jour : FICHIER.AAAA-MM-JJ.
    static QString NomTourne(const QString& chemin, const QDate& jour);

private:
    bool OuvreFichier();
    void Tourne(const QDate& nouveauJour);
    void EffaceAnciens(const QDate& aujourdhui);

    QString m_chemin;
    QFile m_fichier;
    QDate m_jour;             // jour des lignes que contient FICHIER
    int m_joursConservation = 31;
    bool m_enEchec = false;
    QString m_erreur;
};
