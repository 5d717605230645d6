#pragma once

#include "drawers/TableauTiroirs.h"
#include "orders/BaseRegistre.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
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
// une ligne au journal le dit, et il est réessayé au début de la remise suivante.
// Ce que le démarrage fait des lignes inachevées est l'affaire de PolitiqueReprise.
class RegistreRemises : public QObject
{
    Q_OBJECT
public:
    using Liberation = TableauTiroirs::CauseLiberation;

    explicit RegistreRemises(JournalStatut& journal, QObject* parent = nullptr);
    ~RegistreRemises() override;

    // Heure murale en millisecondes depuis l'époque (remplaçable pour les tests) :
    // elle date les lignes, elle ne mesure aucun intervalle (un pas de NTP la décale).
    void MetHorlogeMurale(std::function<qint64()> maintenant);
    qint64 Maintenant() const { return m_maintenant(); }
    // Horloge monotone en millisecondes (remplaçable pour les tests) : l'intervalle
    // entre deux purges.
    void MetHorlogeMonotone(std::function<qint64()> monotone);

    // Racine du service : un registre appartient à une seule racine (notée à sa
    // création). Sans racine donnée, rien n'est vérifié.
    void MetRacine(const QString& racine) { m_racine = racine; }
    // Racine propriétaire quand Ouvre a refusé le registre d'une autre racine, sinon "".
    const QString& AutreRacine() const { return m_base.AutreRacine(); }
    // Arrêt propre : le journal WAL est reporté dans la base, qui repasse au journal
    // classique ; ni -wal ni -shm ne restent, même si le registre était en panne.
    void Ferme();

    // Ouvre (ou crée) le registre et retire les lignes closes de plus de 90 jours
    // (de nouveau une fois par jour tant que le service tourne). Faux
    // si le registre est indisponible (la ligne du journal a été écrite).
    bool Ouvre(const QString& chemin);
    bool Disponible() const { return m_ouvert; }
    // Protégé contre les doubles remises : le registre sert (faux avant Ouvre).
    bool Protege() const { return m_protection == 1; }
    // Vrai si le registre peut servir, après un nouvel essai si une remise a commencé
    // depuis la panne.
    bool Pret();
    // Requêtes envoyées à la base depuis la création (pour le banc de mesure).
    int NombreRequetes() const { return m_requetes; }
    QString Chemin() const { return m_chemin; }

    // Noms de la liste des commandes : retient quand chacun a été vu la première fois.
    void NoteListe(const QStringList& noms);

    // Étapes d'une remise. DebutRemise rend l'identifiant de la ligne (0 si le
    // registre est indisponible) ; les autres ne font rien pour l'identifiant 0.
    qint64 DebutRemise(const QString& nom, const QByteArray& contenu, const QString& gare);
    void RemiseFaite(qint64 id);
    // La passation a échoué : rien n'est parti. La ligne n'est retirée que si le
    // fichier de passation est vide sur le disque (videSurDisque) : sinon une
    // coupure pourrait y ramener la copie, et le démarrage suivant doit la régler.
    void RemiseAbandonnee(qint64 id, bool videSurDisque = true);
    // La copie a été écrite entière mais n'est pas confirmée sur le disque : l'hôte
    // a pu la prendre. La ligne est mise de côté et son tiroir l'attend.
    void MiseDeCoteEnMarche(qint64 id);
    void FichierEfface(qint64 id);
    // Effacement d'une commande remise : noté "effacee" seulement si le disque a
    // confirmé le dossier (dossierSurDisque) ; sinon la ligne reste "remise" et le
    // démarrage suivant la règlera (fichier parti : effacée ; revenu : effacé sans
    // nouvelle remise). Une ligne au journal quand la confirmation manque, une
    // quand elle revient.
    void NoteEffacement(qint64 id, bool dossierSurDisque, const QString& dossier);
    // Un tiroir est libéré : la commande qui y était attendue est close.
    void TiroirLibere(int tiroir, Liberation cause);

    // États d'une ligne : la remise commence, elle est faite, le fichier est effacé
    // (ou parti), ou elle a été mise de côté faute de savoir si l'hôte l'a prise.
    enum class Etat { EnRemise, Remise, MiseDeCote, Effacee };

    // Les remises qu'un arrêt a laissées inachevées (non effacées), les plus
    // anciennes d'abord. Faux si le registre est indisponible.
    struct LigneInachevee
    {
        qint64 id = 0;
        QString fichier;
        Etat etat = Etat::EnRemise;
        QString sha, shaCopie, ordre;
        qint64 taille = 0, debut = 0;
        int tiroir = 0;
    };
    bool LignesInachevees(QList<LigneInachevee>* lignes);
    // La copie entière a été trouvée dans le fichier de passation : remise faite à `quand`.
    void NoteRemiseReconnue(qint64 id, qint64 quand);
    void NoteMiseDeCote(qint64 id);

    // Les remises dont le tiroir n'a pas été libéré, les plus récentes d'abord
    // (quand : heure de la remise, ou de son début si elle n'a pas été notée).
    struct LigneNonLiberee
    {
        qint64 id = 0;
        int tiroir = 0;
        QString fichier, ordre;
        qint64 quand = 0;
    };
    bool LignesNonLiberees(QList<LigneNonLiberee>* lignes);
    // Le tiroir attend de nouveau la commande de cette ligne (sa libération la close).
    void NoteAttenteTiroir(int tiroir, qint64 id);
    // Lignes closes par la libération de tous les tiroirs du démarrage.
    void CloreParLiberationGenerale(const QList<qint64>& ids);

    static QString NomLiberation(Liberation cause); // "datagramme", "temps", "clic", "tous", ""
    static Liberation LiberationDeNom(const QString& nom);
    static QByteArray Empreinte(const QByteArray& octets); // SHA-256 en hexadécimal

signals:
    // La protection contre les doubles remises s'allume ou se coupe (registre
    // disponible ou en panne) ; émis aussi au premier Ouvre, quel qu'en soit le sort.
    void protectionChangee(bool active);

private:
    void MetProtection(bool active);
    // *uneLigne : la requête (une lecture) a rendu au moins une ligne. Sans
    // uneLigne, c'est une écriture : réussie après une panne, elle dit le retour.
    bool Execute(const char* sql, const QList<QVariant>& valeurs, qint64* idInsere = nullptr, bool* uneLigne = nullptr);
    // Avant chaque remise : le fichier est-il toujours celui qui a été ouvert ?
    bool VerifieIdentite();
    void PurgeSiLeJourEstPasse();
    void Panne(const QString& erreur);
    void FermeConnexion();

    JournalStatut& m_journal;
    BaseRegistre m_base;
    std::function<qint64()> m_maintenant;
    std::function<qint64()> m_monotone;
    qint64 m_dernierePurge = 0; // horloge monotone
    bool m_purgeFaite = false;
    QString m_chemin;
    QString m_racine;
    bool m_ouvert = false;
    bool m_enPanne = false;
    bool m_effacementNonConfirme = false;
    int m_protection = -1; // -1 : pas encore ouvert
    int m_requetes = 0;
    bool m_essaiPermis = false; // un nouvel essai d'un registre en panne est permis (début de remise)
    QHash<QString, qint64> m_vues;       // nom -> première fois vu dans la liste
    QHash<qint64, int> m_tiroirsEnRemise; // ligne -> tiroir, le temps de la remise
    QHash<int, qint64> m_attenteTiroirs;  // tiroir -> ligne de la commande attendue
};
