#include "HoteCdapi.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

HoteCdapi::HoteCdapi(QObject* parent)
    : QObject(parent)
    , m_serveur(new QTcpServer(this))
{
    connect(m_serveur, &QTcpServer::newConnection, this, &HoteCdapi::NouvelleConnexion);
}

bool HoteCdapi::Ecoute(quint16 port)
{
    return m_serveur->listen(QHostAddress::LocalHost, port);
}

void HoteCdapi::ArreteEcoute()
{
    m_serveur->close();
}

void HoteCdapi::RegleSourd(bool sourd)
{
    m_sourd = sourd;
    if (sourd && m_serveur->isListening()) {
        // Hérité par les sockets acceptées : leur fenêtre se ferme vite.
        const int taille = 4096;
#ifdef Q_OS_WIN
        ::setsockopt(SOCKET(m_serveur->socketDescriptor()), SOL_SOCKET, SO_RCVBUF,
                     reinterpret_cast<const char*>(&taille), sizeof taille);
#else
        ::setsockopt(int(m_serveur->socketDescriptor()), SOL_SOCKET, SO_RCVBUF, &taille, sizeof taille);
#endif
    }
    if (m_client)
        m_client->setReadBufferSize(sourd ? 1 : 0);
    if (!sourd)
        Lit();
}

quint16 HoteCdapi::Port() const
{
    return m_serveur->serverPort();
}

bool HoteCdapi::Connecte() const
{
    return m_client && m_client->state() == QAbstractSocket::ConnectedState;
}

QByteArray HoteCdapi::Recu() const
{
    QByteArray tout;
    for (const Arrivee& a : m_arrivees)
        tout += a.octets;
    return tout;
}

bool HoteCdapi::Envoie(const QByteArray& octets)
{
    if (!Connecte())
        return false;
    m_client->write(octets);
    m_client->flush();
    return true;
}

void HoteCdapi::FermeConnexion()
{
    if (m_client)
        m_client->disconnectFromHost();
}

void HoteCdapi::CoupeConnexion()
{
    if (!m_client)
        return;
    // Fermeture brutale (RST) : l'hôte disparaît sans fin de connexion ordonnée.
    const linger sansAttente{ 1, 0 };
#ifdef Q_OS_WIN
    ::setsockopt(SOCKET(m_client->socketDescriptor()), SOL_SOCKET, SO_LINGER,
                 reinterpret_cast<const char*>(&sansAttente), sizeof sansAttente);
#else
    ::setsockopt(int(m_client->socketDescriptor()), SOL_SOCKET, SO_LINGER, &sansAttente, sizeof sansAttente);
#endif
    m_client->abort();
}

void HoteCdapi::NouvelleConnexion()
{
    while (QTcpSocket* s = m_serveur->nextPendingConnection()) {
        // Une seule connexion vivante, comme côté VBtrevix : la nouvelle remplace l'ancienne.
        if (m_client) {
            m_client->disconnect(this);
            m_client->abort();
            m_client->deleteLater();
        }
        m_client = s;
        ++m_connexions;
        connect(s, &QTcpSocket::readyRead, this, &HoteCdapi::Lit);
        connect(s, &QTcpSocket::disconnected, this, &HoteCdapi::deconnexion);
        if (m_sourd)
            s->setReadBufferSize(1);
        emit connexion();
        if (m_fermetureImmediate) {
            s->disconnectFromHost();
            continue;
        }
        if (s->bytesAvailable() > 0)
            Lit();
    }
}

void HoteCdapi::Lit()
{
    QTcpSocket* s = m_client;
    if (!s || m_sourd)
        return;
    QByteArray octets;
    while (s->bytesAvailable() > 0)
        octets += s->readAll();
    if (octets.isEmpty())
        return;
    QElapsedTimer horloge;
    horloge.start();
    m_arrivees.append({ octets, horloge.msecsSinceReference() });
    if (m_repondAck && octets.count(char(6)) < octets.size()) {
        s->write(QByteArray(1, char(6)));
        s->flush();
    }
    emit arrivee(octets);
}

QByteArray HoteCdapi::DemandeEjection(const QString& norme, int nbLignes, int commande)
{
    const bool enB = norme == QLatin1String("CDAPI-B");
    QByteArray m = "A" + QByteArray::number(commande).rightJustified(8, '0') + "001" "003" "3";
    m += QByteArray::number(nbLignes).rightJustified(2, '0');
    for (int i = 1; i <= nbLignes; ++i) {
        const QByteArray rang = QByteArray::number(i).rightJustified(4, '0');
        const QByteArray quantite = QByteArray::number(2 * i).rightJustified(5, '0');
        if (enB) {
            m += ("PRODUIT-B-" + rang).leftJustified(20, ' ');
            m += quantite + "F";
            m += "RESERVE-" + QByteArray::number(i).rightJustified(2, '0');
        } else {
            m += "CIP" + rang + quantite + "F";
        }
    }
    return m;
}
