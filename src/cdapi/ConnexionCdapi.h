#pragma once

#include <QAbstractSocket>
#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

struct Configuration;
class JournalStatut;
class QTcpSocket;

// Socket cliente de la liaison CDAPI : connexion demandée par un envoi (avec ses
// points d'attente et sa limite de 5 s), reconnexion automatique après une
// perte, bornes de ce qui attend dans la socket. Rien n'y attend dans une boucle :
// chaque attente est une minuterie, chaque issue un signal.
class ConnexionCdapi : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 AttenteConnexionMaxMs = 5000;
    // Au-delà, l'hôte ne lit plus : la liaison est coupée.
    static constexpr qint64 BorneEcritureOctets = 64 * 1024;
    // Une arrivée ne dépasse jamais cette taille (la plus longue demande fait 3,6 Ko).
    static constexpr qint64 BorneLectureOctets = 64 * 1024;
    static constexpr int DelaiReconnexionMaxS = 30;
    // Le délai de reconnexion ne revient à 1 s qu'après une liaison tenue ce temps :
    // un hôte qui accepte puis ferme aussitôt n'est pas relancé chaque seconde.
    static constexpr int TenueAvantRemiseMs = 30000;

    ConnexionCdapi(JournalStatut& journal, const Configuration& configuration, QObject* parent = nullptr);
    ~ConnexionCdapi() override;

    static QString TexteEtatTCPIP(int etat);
    // 0 fermé, 4 résolution, 6 connexion en cours, 7 connecté, 8 fermé par
    // l'homologue, 9 erreur (ces deux derniers jusqu'à la prochaine fermeture ou connexion).
    int EtatTCPIP() const;

    // Connexion pour un envoi : écrit l'état, "demande close" s'il y a lieu et la
    // demande de connexion ; l'issue vient par connectee() ou echecConnexion().
    void DemandeConnexion();
    // Écrit sur la socket connectée ; faux (liaison coupée, en une ligne) quand
    // ce qui attend d'être lu par l'hôte dépasse la borne, ou quand la socket a été
    // fermée pendant l'écriture même (l'hôte avait coupé).
    bool Ecrit(const QByteArray& octets);
    void RegleTenueAvantRemiseMs(int ms) { m_tenue.setInterval(ms); }
    // Numéro de la connexion établie en dernier (0 avant la première) : ce qui est dû
    // sur une connexion ne part pas sur la suivante.
    int NumeroConnexion() const { return m_numeroConnexion; }
    // Arrêt du programme : plus de reconnexion.
    void Ferme();

signals:
    void connectee();
    // La connexion demandée par un envoi a échoué (son état est déjà écrit).
    void echecConnexion();
    void arrivee(const QByteArray& octets);
    // La liaison est coupée et un nouvel essai part dans delaiS secondes.
    void reconnexionPlanifiee(int delaiS);

private slots:
    void Lit();
    void NoteErreur(QAbstractSocket::SocketError erreur);
    void NoteDeconnexion();
    void SurConnexion();
    void SurTic();
    void ConstatePerte();
    void Reconnecte();

private:
    enum class Attente { Aucune, PourEnvoi, Automatique };

    void Lance();
    void Echoue(const QString& raison);
    void PlanifieReconnexion(const QString& debutLigne);
    void FermeSocket();

    JournalStatut& m_journal;
    const Configuration& m_configuration;
    QTcpSocket* m_socket;

    // Qt repasse la socket fermée aussitôt : on retient ici l'état 8 ou 9.
    int m_etatRetenu = 0;
    bool m_fermetureDemandee = false;

    Attente m_attente = Attente::Aucune;
    QElapsedTimer m_chrono;   // depuis la demande de connexion
    QTimer m_tic;             // points d'attente et limite de 5 s
    int m_passes = 0;
    qint64 m_prochainTicMs = 0;

    // Reconnexion : voulue dès qu'une connexion a réussi, jusqu'à Ferme().
    bool m_maintenue = false;
    bool m_perdue = false;    // une perte attend d'être rétablie
    int m_delaiS = 1;
    int m_numeroConnexion = 0;
    QTimer m_tenue;           // liaison tenue assez longtemps : le délai revient à 1 s
    QTimer m_reconnexion;
    QTimer m_constat;         // la perte est constatée hors des signaux de la socket
};
