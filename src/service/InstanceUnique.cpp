#include "InstanceUnique.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QThread>

namespace {
InstanceUnique* s_enMarche = nullptr; // la copie qui tient le verrou
} // namespace

InstanceUnique::InstanceUnique(const QString& racine, QObject* parent)
    : QObject(parent)
    , m_racine(QDir::cleanPath(QFileInfo(racine).absoluteFilePath()))
{
    // La clé du canal est le dossier, pas le texte qui y mène : lancé par un lien
    // (ou, sous Windows, avec une autre casse), le service trouve la même copie.
    QString cle = QFileInfo(m_racine).canonicalFilePath();
    if (cle.isEmpty())
        cle = m_racine; // racine pas encore créée
#ifdef Q_OS_WIN
    cle = cle.toLower();
#endif
    const QByteArray empreinte = QCryptographicHash::hash(cle.toUtf8(), QCryptographicHash::Sha1).toHex().left(12);
#ifdef Q_OS_WIN
    m_nomCanal = QStringLiteral("pelorane-") + QString::fromLatin1(empreinte);
#else
    // Une prise Unix tient en 107 octets : une racine trop longue prend /tmp (fixe,
    // jamais TMPDIR, pour que deux copies la trouvent toujours au même endroit).
    const QString dansRacine = m_racine + QStringLiteral("/pelorane.canal");
    m_nomCanal = QFile::encodeName(dansRacine).size() < 100
        ? dansRacine
        : QStringLiteral("/tmp/pelorane-") + QString::fromLatin1(empreinte) + QStringLiteral(".canal");
#endif
    m_verrou = std::make_unique<QLockFile>(CheminVerrou());
    m_verrou->setStaleLockTime(0);
    connect(&m_serveur, &QLocalServer::newConnection, this, [this] { LitDemandes(); });
}

InstanceUnique::~InstanceUnique()
{
    m_serveur.close();
    if (m_verrouTenu)
        m_verrou->unlock();
    if (s_enMarche == this)
        s_enMarche = nullptr;
}

void InstanceUnique::LibereALaSortie()
{
    if (!s_enMarche)
        return;
    s_enMarche->m_serveur.close(); // retire la prise
    if (s_enMarche->m_verrouTenu)
        s_enMarche->m_verrou->unlock();
    s_enMarche->m_verrouTenu = false;
    if (s_enMarche->m_racineCreee)
        QDir().rmdir(s_enMarche->m_racine); // seulement vide : rien d'autre n'y est perdu
    s_enMarche = nullptr;
}

QString InstanceUnique::CheminVerrou() const
{
    return m_racine + QStringLiteral("/pelorane.verrou");
}

InstanceUnique::Detenteur InstanceUnique::DetenteurDuVerrou() const
{
    Detenteur d;
    d.connu = m_verrou->getLockInfo(&d.pid, &d.hote, &d.programme);
    return d;
}

bool InstanceUnique::InstancePrecedente()
{
    if (m_verrouTenu)
        return false;
    // Qui tenait le verrou avant l'essai : s'il est pris quand même, c'est qu'il
    // avait été laissé par un processus arrêté de cette machine (QLockFile le
    // reprend ; jamais celui d'une autre machine).
    const Detenteur avant = DetenteurDuVerrou();
    m_verrouTenu = m_verrou->tryLock(0);
    if (m_verrouTenu && avant.connu)
        m_repris = avant;
    // Verrou impossible à créer (racine pas encore née) : ce n'est pas une copie en marche.
    if (!m_verrouTenu && m_verrou->error() != QLockFile::LockFailedError && !QFileInfo(m_racine).exists()
        && QDir().mkpath(m_racine)) {
        m_racineCreee = true;
        m_verrouTenu = m_verrou->tryLock(0);
    }
    if (m_verrouTenu)
        s_enMarche = this;
    return !m_verrouTenu;
}

bool InstanceUnique::ActiveInstancePrecedente(const QString& demande)
{
    // La copie en marche peut être en train de démarrer : on lui laisse un peu de
    // temps pour ouvrir son canal.
    QElapsedTimer duree;
    duree.start();
    while (duree.elapsed() < 3000) {
        QLocalSocket socket;
        socket.connectToServer(m_nomCanal);
        if (socket.waitForConnected(500)) {
            socket.write(demande.toUtf8() + '\n');
            // Sous Windows, l'écriture sur le canal nommé (sans tampon) attend que la copie en
            // marche lise : occupée un moment (impression d'un rapport…), elle a le reste des 3 s.
            const int reste = int(qMax<qint64>(1000, 3000 - duree.elapsed()));
            const bool ecrit = socket.waitForBytesWritten(reste) || socket.bytesToWrite() == 0;
            socket.disconnectFromServer();
            return ecrit;
        }
        QThread::msleep(100);
    }
    return false;
}

bool InstanceUnique::Ecoute()
{
    QLocalServer::removeServer(m_nomCanal);
    m_serveur.setSocketOptions(QLocalServer::UserAccessOption);
    return m_serveur.listen(m_nomCanal);
}

void InstanceUnique::LitDemandes()
{
    while (QLocalSocket* socket = m_serveur.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto lit = [this, socket] {
            while (socket->canReadLine()) {
                const QString demande = QString::fromUtf8(socket->readLine()).trimmed();
                if (demande == QLatin1String("activer"))
                    emit activationDemandee();
                else if (demande.startsWith(QLatin1String("action ")))
                    emit actionDemandee(demande.mid(7));
            }
        };
        connect(socket, &QLocalSocket::readyRead, this, lit);
        lit();
    }
}
