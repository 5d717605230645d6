#include "InstanceUnique.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

InstanceUnique::InstanceUnique(const QString& racine, QObject* parent)
    : QObject(parent)
{
    const QString racineAbsolue = QDir::cleanPath(QFileInfo(racine).absoluteFilePath());
    const QByteArray empreinte =
        QCryptographicHash::hash(racineAbsolue.toUtf8(), QCryptographicHash::Sha1).toHex().left(12);
    QString utilisateur = qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME"));
    utilisateur.remove(QLatin1Char('/'));
    m_nomCanal = QStringLiteral("pelorane-%1-%2").arg(utilisateur, QString::fromLatin1(empreinte));
    const QString dossierVerrou = QDir::tempPath();
    m_verrou = std::make_unique<QLockFile>(dossierVerrou + QLatin1Char('/') + m_nomCanal + QStringLiteral(".lock"));
    m_verrou->setStaleLockTime(0);
    connect(&m_serveur, &QLocalServer::newConnection, this, [this] { LitDemandes(); });
}

InstanceUnique::~InstanceUnique()
{
    m_serveur.close();
    if (m_verrouTenu)
        m_verrou->unlock();
}

bool InstanceUnique::InstancePrecedente()
{
    if (m_verrouTenu)
        return false;
    m_verrouTenu = m_verrou->tryLock(0);
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
            const bool ecrit = socket.waitForBytesWritten(1000) || socket.bytesToWrite() == 0;
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
