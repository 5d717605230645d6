#pragma once

#include <QAbstractSocket>
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <array>

struct Configuration;
class Horloge;
class JournalStatut;
class QTcpSocket;

// Liaison CDAPI avec VBtrevix : le service est client TCP. File des messages à
// envoyer, envoi d'un message et attente de son acquittement, réception,
// acquittement des messages reçus et réponses automatiques à A et à R.
// Tout tourne sur le fil de la fenêtre ; les attentes cèdent aux événements.
class LiaisonCdapi : public QObject
{
    Q_OBJECT
public:
    // Résultats d'un envoi.
    static constexpr int EnvoiReussi = 0;
    static constexpr int SansAck = 5;
    static constexpr int NonEnvoye = 9;
    // Attente de l'acquittement, et limite de l'attente de connexion (sans elle une
    // adresse injoignable bloquerait chaque envoi deux minutes environ).
    static constexpr qint64 AttenteAckMs = 2000;
    static constexpr qint64 AttenteConnexionMaxMs = 5000;

    LiaisonCdapi(JournalStatut& journal, Horloge& horloge, const Configuration& configuration,
                 QObject* parent = nullptr);
    ~LiaisonCdapi() override;

    // Met un message dans la file ; faux (et une ligne au journal) quand 19
    // messages attendent déjà : un message en attente n'est jamais écrasé.
    bool AjouteMsgCDAPI(const QByteArray& texte, const QString& origine, bool attendreAck);
    // Envoie la file dans l'ordre ; sans effet si un envoi est déjà en cours plus haut.
    void EnvoiMsgCDAPI();
    // 0 envoyé (et acquitté si demandé), 5 sans acquittement en 2 s, 9 non envoyé.
    int EnvoiMsgTCPIPclient(const QByteArray& texte, bool attendreAck);
    static QString TexteEtatTCPIP(int etat);
    // 0 fermé, 4 résolution, 6 connexion en cours, 7 connecté, 8 fermé par
    // l'homologue, 9 erreur (ces deux derniers jusqu'à la prochaine fermeture ou connexion).
    int EtatTCPIP() const;

    // Réaction à un message reçu : réponse a (puis la réponse nulle) à un A, r à un R.
    void TraiteMsgCDAPI(const QByteArray& T, const QString& origine);
    // Une arrivée de données, telle que lue sur la socket : les ACK sont retirés
    // et notés ; un message d'un type connu est traité au prochain tour d'événements.
    void RecoitArrivee(const QByteArray& D);

    // Fermeture de la liaison à l'arrêt du programme.
    void FermeLiaison();

    int NombreMsgEnAttente() const;

public slots:
    // Bouton "Test Liaison CDAPI" : envoie l'identification du poste 901.
    void Bt_TestLiaisonCDAPI_Click();

private slots:
    void WSclient_DataArrival();
    void TraiteArriveesEnAttente();
    void NoteDeconnexion();
    void NoteErreur(QAbstractSocket::SocketError erreur);

private:
    struct MsgCDAPIAEnvoyer
    {
        QByteArray texte;
        QString origine;
        bool attendreAck = false;
    };

    static int IndexSuivant(int index);
    void TraceMessage(const QByteArray& message);
    void TraiteMessageRecu(const QByteArray& T);
    void FermeSocket();
    void ConnecteServeur();

    JournalStatut& m_journal;
    Horloge& m_horloge;
    const Configuration& m_configuration;
    QTcpSocket* WSclient;

    // Anneau sur les index 1 à 20 (0 jamais utilisé) ; vide quand les index sont égaux.
    std::array<MsgCDAPIAEnvoyer, 21> FileMsgCDAPI;
    int IndexEcritureMsg = 1;
    int IndexLectureMsg = 1;
    bool AckRecu = false;
    bool EnvoiEnCours = false;

    // Qt repasse la socket fermée aussitôt : on retient ici l'état 8 ou 9.
    int m_etatRetenu = 0;
    bool m_fermetureDemandee = false;

    // Messages reçus pas encore traités : le traitement attend un acquittement
    // et ne doit donc pas tourner dans le signal readyRead.
    QList<QByteArray> m_arrivees;
    QTimer m_minuterieArrivees;
};
