#include "ConnexionCdapi.h"

#include "base/JournalStatut.h"
#include "config/Configuration.h"
#include "config/LectureNombre.h"

#include <QTcpSocket>

ConnexionCdapi::ConnexionCdapi(JournalStatut& journal, const Configuration& configuration, QObject* parent)
    : QObject(parent)
    , m_journal(journal)
    , m_configuration(configuration)
    , m_socket(new QTcpSocket(this))
{
    m_socket->setReadBufferSize(BorneLectureOctets);
    connect(m_socket, &QTcpSocket::readyRead, this, &ConnexionCdapi::Lit);
    connect(m_socket, &QTcpSocket::connected, this, &ConnexionCdapi::SurConnexion);
    connect(m_socket, &QTcpSocket::disconnected, this, &ConnexionCdapi::NoteDeconnexion);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &ConnexionCdapi::NoteErreur);
    m_tic.setSingleShot(true);
    m_tic.setTimerType(Qt::PreciseTimer);
    connect(&m_tic, &QTimer::timeout, this, &ConnexionCdapi::SurTic);
    m_reconnexion.setSingleShot(true);
    connect(&m_reconnexion, &QTimer::timeout, this, &ConnexionCdapi::Reconnecte);
    m_tenue.setSingleShot(true);
    m_tenue.setInterval(TenueAvantRemiseMs);
    connect(&m_tenue, &QTimer::timeout, this, [this] { m_delaiS = 1; });
    m_constat.setSingleShot(true);
    m_constat.setInterval(0);
    connect(&m_constat, &QTimer::timeout, this, &ConnexionCdapi::ConstatePerte);
}

ConnexionCdapi::~ConnexionCdapi()
{
    m_socket->disconnect(this);
    m_socket->abort();
}

QString ConnexionCdapi::TexteEtatTCPIP(int etat)
{
    switch (etat) {
    case 0: return QStringLiteral("port ferme");
    case 1: return QStringLiteral("port ouvert");
    case 2: return QStringLiteral("port à l'ecoute");
    case 3: return QStringLiteral("port connection en attente");
    case 4: return QStringLiteral("port hote en cours de resolution");
    case 5: return QStringLiteral("port hote resolu");
    case 6: return QStringLiteral("port en cours de connection");
    case 7: return QStringLiteral("port connecte");
    case 8: return QStringLiteral("port Connexion en cours de fermeture par l'homologue");
    case 9: return QStringLiteral("port Erreur");
    default: return QStringLiteral("state n° ") + QString::number(etat) + QStringLiteral(" Etat inconnu");
    }
}

int ConnexionCdapi::EtatTCPIP() const
{
    switch (m_socket->state()) {
    case QAbstractSocket::UnconnectedState: return m_etatRetenu;
    case QAbstractSocket::HostLookupState: return 4;
    case QAbstractSocket::ConnectingState: return 6;
    case QAbstractSocket::ConnectedState: return 7;
    case QAbstractSocket::BoundState: return 1;
    case QAbstractSocket::ListeningState: return 2;
    case QAbstractSocket::ClosingState: return 8;
    }
    return m_etatRetenu;
}

void ConnexionCdapi::DemandeConnexion()
{
    m_journal.MessageStatus(TexteEtatTCPIP(EtatTCPIP()));
    if (EtatTCPIP() != 0) {
        m_journal.MessageStatus(QStringLiteral("demande close"));
        FermeSocket();
    }
    m_journal.MessageStatus(QStringLiteral("demande connection sur ") + m_configuration.CdapiAdrServeur
                            + QStringLiteral(" port ") + m_configuration.CdapiPortServeur);
    // Un envoi n'attend pas l'échéance de la reconnexion : il connecte tout de suite.
    m_reconnexion.stop();
    m_attente = Attente::PourEnvoi;
    Lance();
}

void ConnexionCdapi::Lance()
{
    m_fermetureDemandee = false;
    m_etatRetenu = 0;
    m_constat.stop();
    m_chrono.start();
    m_passes = 0;
    m_prochainTicMs = 0;
    const qint32 numero = LitNombre(m_configuration.CdapiPortServeur);
    if (numero < 1 || numero > 65535) {
        // Un numéro hors des ports TCP ne peut pas se connecter : c'est une erreur.
        m_etatRetenu = 9;
        m_constat.start();
        return;
    }
    m_socket->connectToHost(m_configuration.CdapiAdrServeur.trimmed(), quint16(numero));
    // Pour un envoi, des points tant que la connexion se fait ; une reconnexion
    // automatique se fait sans bruit, avec la même limite.
    m_tic.start(m_attente == Attente::PourEnvoi ? 0 : int(AttenteConnexionMaxMs));
}

void ConnexionCdapi::SurTic()
{
    if (m_attente == Attente::Aucune)
        return;
    const int etat = EtatTCPIP();
    if (etat != 4 && etat != 6)
        return; // l'issue vient par les signaux de la socket
    if (m_chrono.elapsed() >= AttenteConnexionMaxMs) {
        if (m_attente == Attente::PourEnvoi)
            m_journal.MessageStatus(QStringLiteral("délai de connection dépassé (5 s)"));
        m_fermetureDemandee = true;
        m_socket->abort();
        m_fermetureDemandee = false;
        m_etatRetenu = 9;
        ConstatePerte();
        return;
    }
    // 0,05 s pendant les vingt premiers points, 0,5 s ensuite ; les échéances
    // sont comptées depuis la demande pour que le retard d'un tic ne s'ajoute pas.
    m_journal.MessageStatusSScr(QStringLiteral("."));
    ++m_passes;
    m_prochainTicMs += m_passes <= 20 ? 50 : 500;
    m_tic.start(int(qMax<qint64>(0, m_prochainTicMs - m_chrono.elapsed())));
}

void ConnexionCdapi::SurConnexion()
{
    // Tampon d'envoi du système fixe (sinon il grandit jusqu'à plusieurs Mo) :
    // ce qui attend un hôte qui ne lit pas reste de l'ordre de la borne.
    m_socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, int(BorneEcritureOctets));
    m_tic.stop();
    m_reconnexion.stop();
    m_attente = Attente::Aucune;
    m_etatRetenu = 0;
    m_maintenue = true;
    ++m_numeroConnexion;
    m_tenue.start();
    if (m_perdue) {
        m_perdue = false;
        m_journal.MessageStatus(QStringLiteral("liaison CDAPI rétablie"));
    }
    emit connectee();
}

void ConnexionCdapi::NoteErreur(QAbstractSocket::SocketError erreur)
{
    if (m_fermetureDemandee)
        return;
    m_etatRetenu = erreur == QAbstractSocket::RemoteHostClosedError ? 8 : 9;
    m_constat.start();
}

void ConnexionCdapi::NoteDeconnexion()
{
    if (m_fermetureDemandee)
        return;
    if (m_etatRetenu == 0)
        m_etatRetenu = 8;
    m_constat.start();
}

// Appelée une fois les signaux de la socket passés (leur ordre varie selon la
// cause) : une seule ligne par perte, une seule issue par demande.
void ConnexionCdapi::ConstatePerte()
{
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        return;
    m_tenue.stop();
    const QString etat = TexteEtatTCPIP(EtatTCPIP());
    const Attente attente = m_attente;
    m_attente = Attente::Aucune;
    m_tic.stop();
    if (attente == Attente::PourEnvoi) {
        m_journal.MessageStatus(etat);
        emit echecConnexion();
        if (m_maintenue && !m_reconnexion.isActive())
            PlanifieReconnexion(QStringLiteral("nouvelle connexion CDAPI impossible (") + etat + QLatin1Char(')'));
    } else if (attente == Attente::Automatique) {
        PlanifieReconnexion(QStringLiteral("nouvelle connexion CDAPI impossible (") + etat + QLatin1Char(')'));
    } else if (m_maintenue && !m_reconnexion.isActive()) {
        PlanifieReconnexion(QStringLiteral("liaison CDAPI perdue (") + etat + QLatin1Char(')'));
    }
}

void ConnexionCdapi::PlanifieReconnexion(const QString& debutLigne)
{
    m_tenue.stop();
    m_perdue = true;
    m_journal.MessageStatus(debutLigne + QStringLiteral(", nouvel essai dans ") + QString::number(m_delaiS)
                            + QStringLiteral(" s"));
    m_reconnexion.start(m_delaiS * 1000);
    emit reconnexionPlanifiee(m_delaiS);
    m_delaiS = qMin(m_delaiS * 2, DelaiReconnexionMaxS);
}

void ConnexionCdapi::Reconnecte()
{
    if (!m_maintenue || m_attente != Attente::Aucune)
        return;
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        FermeSocket();
    m_attente = Attente::Automatique;
    Lance();
}

bool ConnexionCdapi::Ecrit(const QByteArray& octets)
{
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        return false;
    m_socket->write(octets);
    m_socket->flush();
    // Qt ferme la socket dans flush() quand l'écriture échoue (l'hôte a coupé d'un
    // RST) : rien n'est parti. La perte est dite une fois, par les signaux de la socket.
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        return false;
    const qint64 enAttente = m_socket->bytesToWrite();
    if (enAttente <= BorneEcritureOctets)
        return true;
    // L'hôte ne lit plus : garder ses octets ferait grossir la mémoire sans fin.
    FermeSocket();
    m_etatRetenu = 9;
    PlanifieReconnexion(QStringLiteral("liaison CDAPI coupée : l'hôte ne lit plus (") + QString::number(enAttente)
                        + QStringLiteral(" octets en attente d'envoi, borne ") + QString::number(BorneEcritureOctets)
                        + QLatin1Char(')'));
    return false;
}

void ConnexionCdapi::Lit()
{
    // Une arrivée est bornée ; le reste, s'il y en a, est lu au tour suivant.
    const QByteArray octets = m_socket->read(BorneLectureOctets);
    if (m_socket->bytesAvailable() > 0)
        QTimer::singleShot(0, this, &ConnexionCdapi::Lit);
    if (!octets.isEmpty())
        emit arrivee(octets);
}

void ConnexionCdapi::FermeSocket()
{
    m_tenue.stop();
    m_fermetureDemandee = true;
    m_socket->abort();
    m_etatRetenu = 0;
}

void ConnexionCdapi::Ferme()
{
    m_maintenue = false;
    m_perdue = false;
    m_reconnexion.stop();
    m_tenue.stop();
    m_tic.stop();
    m_constat.stop();
    m_attente = Attente::Aucune;
    if (EtatTCPIP() == 0)
        return;
    m_journal.MessageStatus(QStringLiteral("fermeture de la liaison TCPIP client"));
    m_fermetureDemandee = true;
    m_socket->close();
    m_etatRetenu = 0;
}
