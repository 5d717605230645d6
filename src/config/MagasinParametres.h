#pragma once

#include <QString>

class JournalStatut;

// Table de paramètres du programme hôte (paramINITtrevix). Ouverte au démarrage
// pour la lecture des clés, refermée avant que le service ne travaille.
// La connexion est retrouvée par son nom à chaque usage (jamais gardée en membre).
class MagasinParametres
{
public:
    static const QString NomTable;

    explicit MagasinParametres(JournalStatut& journal);
    ~MagasinParametres();
    MagasinParametres(const MagasinParametres&) = delete;
    MagasinParametres& operator=(const MagasinParametres&) = delete;

    // Fichier .mdb / .accdb : ODBC (pilote Access, ou celui de PELORANE_PILOTE_ODBC) ;
    // tout autre fichier : SQLite. Faux et le texte de l'erreur si la base ne s'ouvre
    // pas, reste verrouillée par un autre programme au-delà de l'attente (texte du
    // pilote) ou si la table manque.
    bool Ouvre(const QString& BaseFic, QString* erreur);
    void Ferme();

    // Attente d'une base verrouillée par un autre programme (10 s par défaut).
    void ChangeAttenteVerrou(int millisecondes) { m_attenteVerrouMs = millisecondes; }

    // Valeur de la clé (comparée sans égard à la casse) ; une clé absente est ajoutée
    // avec sa valeur par défaut et la valeur par défaut est rendue ; un Null se lit vide.
    QString LitParametre(const QString& table, const QString& cle, const QString& defaut,
                         const QString& categorie, const QString& commentaire);

private:
    enum class Resultat { Ouverte, Verrouillee, Erreur };
    Resultat EssaieOuvrir(const QString& BaseFic, int attenteVerrouMs, QString* erreur);

    JournalStatut& m_journal;
    QString m_nomConnexion;
    int m_attenteVerrouMs = 10000;
};
