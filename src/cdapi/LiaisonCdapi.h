#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

struct Configuration;
class ConnexionCdapi;
class JournalStatut;

// Liaison CDAPI avec VBtrevix : le service est client TCP. File des messages à
// envoyer, un seul message en vol à la fois et l'attente de son acquittement,
// réception, acquittement des messages reçus et réponses automatiques à A et à R.
// Tout tourne sur le fil de la fenêtre et rien n'y attend : chaque attente
// (connexion, acquittement, pause après un abandon) est un état et une minuterie,
// pour que la boucle de traitement ne dépende jamais de l'hôte.
class LiaisonCdapi : public QObject
{
    Q_OBJECT
public:
    // Issue d'un envoi (signal envoiTermine).
    static constexpr int EnvoiReussi = 0;
    static constexpr int SansAck = 5;
    static constexpr int NonEnvoye = 9;
    static constexpr int AttenteAckMs = 2000;
    static constexpr int PauseApresAbandonMs = 250;
    // L'anneau d'origine tenait 19 messages ; la file garde cette limite.
    static constexpr int MaxMsgEnAttente = 19;

    LiaisonCdapi(JournalStatut& journal, const Configuration& configuration, QObject* parent = nullptr);
    ~LiaisonCdapi() override;

    // Met un message dans la file ; faux (et une ligne au journal) quand 19
    // messages attendent déjà : un message en attente n'est jamais écrasé.
    bool AjouteMsgCDAPI(const QByteArray& texte, const QString& origine, bool attendreAck);
    // Fait partir la file dans l'ordre, sans attendre : si un message est déjà
    // en vol (connexion, ACK, pause), la suite part à son issue.
    void EnvoiMsgCDAPI();
    static QString TexteEtatTCPIP(int etat);
    int EtatTCPIP() const;

    // Réaction à un message reçu : réponse a (puis la réponse nulle) à un A, r à un R.
    void TraiteMsgCDAPI(const QByteArray& T, const QString& origine);
    // Une arrivée de données, telle que lue sur la socket : les ACK sont retirés
    // et terminent l'attente en cours ; un message d'un type connu est acquitté,
    // tracé et traité.
    void RecoitArrivee(const QByteArray& D);

    // Fermeture de la liaison à l'arrêt du programme.
    void FermeLiaison();

    // Messages dans la file, celui en vol compris.
    int NombreMsgEnAttente() const { return int(FileMsgCDAPI.size()); }

public slots:
    // Bouton "Test Liaison CDAPI" : envoie l'identification du poste 901.
    void Bt_TestLiaisonCDAPI_Click();

signals:
    // Issue d'un message de la file : EnvoiReussi (envoyé, et acquitté si
    // demandé), SansAck (pas d'ACK en 2 s) ou NonEnvoye ; la file est alors vidée.
    void envoiTermine(const QByteArray& texte, int resultat);
    // État de la connexion, pour la fenêtre : établie ; ou coupée, avec le délai du
    // prochain essai automatique en secondes (-1 : aucun, le prochain envoi connectera).
    void liaisonEtablie();
    void liaisonCoupee(int prochainEssaiS);

private:
    struct MsgCDAPIAEnvoyer
    {
        QByteArray texte;
        QString origine;
        bool attendreAck = false;
    };
    enum class Etat { Libre, Connexion, AttenteAck, Pause };

    void Avance();
    void CommenceTete();
    void EnvoieTete();
    void TermineTete();
    void Abandonne(int cause);
    void SurConnectee();
    void SurEchecConnexion();
    void FinPause();
    void TraceMessage(const QByteArray& message);
    void TraiteMessageRecu(const QByteArray& T);

    JournalStatut& m_journal;
    const Configuration& m_configuration;
    ConnexionCdapi* m_connexion;

    // La tête de file est le message en vol ; elle n'en sort qu'à son issue.
    QList<MsgCDAPIAEnvoyer> FileMsgCDAPI;
    Etat m_etat = Etat::Libre;
    bool m_dansAvance = false;
    QTimer m_attenteAck;
    QTimer m_pause;
};
