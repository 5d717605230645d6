#pragma once

#include "cdapi/ResumeTracesCdapi.h"

#include <QByteArray>
#include <QElapsedTimer>
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
    // L'anneau d'origine tenait 19 messages ; la file garde cette limite pour les
    // messages, les ACK dus à l'hôte n'y comptent pas.
    static constexpr int MaxMsgEnAttente = 19;
    // Un message refusé ou abandonné est montré par ses premiers caractères.
    static constexpr int CaracteresMontres = 48;

    LiaisonCdapi(JournalStatut& journal, const Configuration& configuration, QObject* parent = nullptr);
    ~LiaisonCdapi() override;

    // Met un message dans la file ; faux (et une ligne au journal) quand 19
    // messages attendent déjà : un message en attente n'est jamais écrasé. Un ACK
    // seul (dû à l'hôte) n'est jamais refusé : les ACK qui se suivent dans la file
    // n'y tiennent qu'une place, avec leur nombre.
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

    // Éléments de la file, celui en vol compris (des ACK qui se suivent font un élément).
    int NombreMsgEnAttente() const { return int(FileMsgCDAPI.size()); }
    // Délai après lequel une liaison refaite est jugée tenue (30 s ; les tests l'abrègent).
    void RegleTenueAvantRemiseMs(int ms);

    // Texte d'un message pour une ligne du journal : octets de contrôle montrés
    // comme dans la trace, coupé à CaracteresMontres avec sa taille.
    static QString TexteMontre(const QByteArray& texte);

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
        bool tracer = true;     // faux : réponse à un message reçu que la trace résume
        bool test = false;      // identification du bouton "Test Liaison CDAPI"
        int acks = 0;           // ACK dus à l'hôte (l'élément n'est alors que cela)
        int connexion = 0;      // connexion sur laquelle ces ACK sont dus
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
    void Repond(const QByteArray& T, const QString& origine, bool tracer);
    bool Ajoute(const MsgCDAPIAEnvoyer& m);
    void AjouteAck();
    int PlacesLibres() const;
    void Refuse(const QByteArray& texte);
    void DitVerdict(const QString& issue);
    QString Hote() const;
    void EcritResumes();

    JournalStatut& m_journal;
    const Configuration& m_configuration;
    ConnexionCdapi* m_connexion;

    // La tête de file est le message en vol ; elle n'en sort qu'à son issue.
    QList<MsgCDAPIAEnvoyer> FileMsgCDAPI;
    Etat m_etat = Etat::Libre;
    bool m_dansAvance = false;
    QTimer m_attenteAck;
    QTimer m_pause;
    QElapsedTimer m_depuisEcriture; // de l'écriture de la tête à son ACK

    // Traces résumées sous un hôte qui inonde ; l'heure est l'horloge monotone du processus.
    ResumeTracesCdapi m_resumes;
    QElapsedTimer m_montre;
    QTimer m_minuterieResumes;
};
