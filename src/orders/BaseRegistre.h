#pragma once

#include <QPair>
#include <QSqlDatabase>
#include <QString>

class JournalStatut;

// La base SQLite du registre des remises : ouverture (WAL, synchronous FULL), table,
// fichier abîmé mis de côté sous un nom daté, racine propriétaire, identité du
// fichier ouvert. Ce qu'on fait d'un échec est l'affaire de RegistreRemises.
class BaseRegistre
{
public:
    explicit BaseRegistre(JournalStatut& journal);
    ~BaseRegistre();
    BaseRegistre(const BaseRegistre&) = delete;
    BaseRegistre& operator=(const BaseRegistre&) = delete;

    // Ouvre (ou crée) la base ; faux avec *erreur. Un fichier abîmé est renommé
    // (une ligne au journal) et une base neuve créée. Une racine non vide est notée
    // à la création, puis vérifiée : celle d'un autre service donne AutreRacine().
    bool Ouvre(const QString& chemin, const QString& racine, qint64 maintenantMural, QString* erreur);
    // Ferme la connexion : SQLite reporte le journal WAL et efface le fichier -wal.
    void Ferme();
    // Arrêt propre du service : la base repasse au journal classique (DELETE) avant
    // d'être fermée, pour qu'une lecture faite service arrêté (--historique,
    // --rapport, en lecture seule) ne crée ni -wal ni -shm qu'elle ne saurait
    // effacer. Fermée par une panne, elle est rouverte le temps de cette bascule.
    void FermeALArret();
    bool Ouverte() const { return m_ouverte; }
    QSqlDatabase Base() const;
    // Racine propriétaire quand Ouvre a refusé la base, sinon "".
    const QString& AutreRacine() const { return m_autreRacine; }
    // Faux si le fichier ouvert n'est plus au chemin (effacé, remplacé).
    bool ToujoursAuChemin() const;

    // Nom du système de fichiers réseau où est la base ("" sur un disque local) :
    // le journal WAL y est remplacé par le journal classique.
    const QString& Reseau() const { return m_reseau; }

private:
    bool CreeTable(QString* erreur, bool* abimee);
    bool MetDeCote(const QString& erreur, qint64 maintenantMural);
    bool VerifieRacine(const QString& racine, QString* erreur);

    JournalStatut& m_journal;
    QString m_connexion;
    QString m_chemin;
    QString m_autreRacine;
    bool m_ouverte = false;
    QString m_reseau;
    bool m_reseauSignale = false;
    QPair<quint64, quint64> m_identite; // périphérique, inode du fichier ouvert
};
