#pragma once

#include "drawers/TableauTiroirs.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>

class JournalStatut;

// Registre durable des remises (SQLite) : ce qui doit survivre à un arrêt brutal,
// une coupure de courant ou un redémarrage. Chaque commande remise y a sa ligne :
// nom, taille et SHA-256 du fichier, "ordre", tiroir, et les heures où elle a été
// vue, remise, effacée, puis où son tiroir a été libéré (et pourquoi).
//
// Chaque étape de la remise est validée sur disque avant la suivante (WAL,
// synchronous FULL) : après un arrêt, le démarrage sait si une commande est déjà
// partie et ne la relance pas. Un registre en panne n'arrête jamais les commandes :
// une ligne au journal le dit, et il est réessayé au plus une fois par minute.
class RegistreRemises
{
public:
    using Liberation = TableauTiroirs::CauseLiberation;

    explicit RegistreRemises(JournalStatut& journal);
    ~RegistreRemises();
    RegistreRemises(const RegistreRemises&) = delete;
    RegistreRemises& operator=(const RegistreRemises&) = delete;

    // Heure murale en millisecondes depuis l'époque (remplaçable pour les tests).
    void MetHorlogeMurale(std::function<qint64()> maintenant);
    // Effacement d'un fichier au règlement du démarrage (remplaçable pour les tests).
    void MetSuppression(std::function<bool(const QString&)> supprime);

    // Ouvre (ou crée) le registre et retire les lignes de plus de 90 jours. Faux
    // si le registre est indisponible (la ligne du journal a été écrite).
    bool Ouvre(const QString& chemin);
    bool Disponible() const { return m_ouvert; }
    // Requêtes envoyées à la base depuis la création (pour le banc de mesure).
    int NombreRequetes() const { return m_requetes; }
    QString Chemin() const { return m_chemin; }

    // Noms de la liste des commandes : retient quand chacun a été vu la première fois.
    void NoteListe(const QStringList& noms);

    // Étapes d'une remise. DebutRemise rend l'identifiant de la ligne (0 si le
    // registre est indisponible) ; les autres ne font rien pour l'identifiant 0.
    qint64 DebutRemise(const QString& nom, const QByteArray& contenu, const QString& gare);
    void RemiseFaite(qint64 id);
    void RemiseAbandonnee(qint64 id); // la passation a échoué : rien n'est parti
    void FichierEfface(qint64 id);
    // Un tiroir est libéré : la commande qui y était attendue est close.
    void TiroirLibere(int tiroir, Liberation cause);

    // Règlement, au démarrage, des remises qu'un arrêt a laissées inachevées.
    struct Reglement
    {
        QStringList ecartees; // chemins complets à ne plus jamais lancer automatiquement
        QString avis;         // texte pour Txt_DerniereCde ("" s'il n'y a rien à dire)
    };
    Reglement RegleInachevees(const QString& dossierEchange, const QString& fichierPassation);

    // Tiroirs dont la commande, remise avant l'arrêt, attend encore ses boîtes.
    struct TiroirEnVol
    {
        int tiroir = 0;
        QString fichier;
        QString ordre;
        qint64 ecouleMs = 0; // depuis la remise
    };
    // Les remises de moins de tempsMaxMs non libérées ; les plus anciennes sont
    // closes comme libérées par la libération de tous les tiroirs du démarrage.
    QList<TiroirEnVol> TiroirsEnVol(int nbTiroirs, qint64 tempsMaxMs);

    // Historique, pour pelorane --historique : ouverture en lecture seule.
    struct LigneHistorique
    {
        QString fichier;
        QString ordre;
        int tiroir = 0;
        QString etat;
        qint64 vueLe = 0, remiseLe = 0, effaceeLe = 0, libereeLe = 0; // 0 : inconnu
        Liberation liberation = Liberation::Aucune;
    };
    static bool LitHistorique(const QString& chemin, qint64 depuisMs, QList<LigneHistorique>* lignes,
                              QString* erreur);

    static QString NomLiberation(Liberation cause); // "datagramme", "temps", "clic", "tous", ""
    static Liberation LiberationDeNom(const QString& nom);
    // Valeur du mot-clé "ordre" (colonnes 11 à 20, espaces retirés), "" sans ligne "ordre".
    static QString OrdreDe(const QByteArray& contenu);
    static QByteArray Empreinte(const QByteArray& octets); // SHA-256 en hexadécimal

private:
    bool Execute(const char* sql, const QList<QVariant>& valeurs, qint64* idInsere = nullptr);
    bool Pret(); // vrai si le registre peut servir, après un nouvel essai au plus par minute
    void Panne(const QString& erreur);
    void FermeConnexion();
    qint64 Maintenant() const { return m_maintenant(); }

    JournalStatut& m_journal;
    std::function<qint64()> m_maintenant;
    std::function<bool(const QString&)> m_supprime;
    QString m_chemin;
    QString m_connexion;
    bool m_ouvert = false;
    bool m_enPanne = false;
    int m_requetes = 0;
    qint64 m_dernierEssai = 0;
    QHash<QString, qint64> m_vues;       // nom -> première fois vu dans la liste
    QHash<qint64, int> m_tiroirsEnRemise; // ligne -> tiroir, le temps de la remise
    QHash<int, qint64> m_attenteTiroirs;  // tiroir -> ligne de la commande attendue
};
