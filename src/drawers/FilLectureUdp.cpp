#include "FilLectureUdp.h"

#include "drawers/DatagrammeFinConvoyage.h"
#include "drawers/FileDatagrammes.h"

#include <QMutexLocker>
#include <QTimer>
#include <QUdpSocket>

#include <unistd.h>

FilLectureUdp::FilLectureUdp(qintptr descripteur, FileDatagrammes& file, QObject* parent)
    : QThread(parent)
    , m_descripteur(descripteur)
    , m_file(file)
{
}

void FilLectureUdp::AdmetSources(const QList<QHostAddress>& sources, bool filtre)
{
    QMutexLocker verrou(&m_verrouSources);
    m_filtre = filtre;
    m_sources = sources;
    m_refusesSignales.clear();
}

void FilLectureUdp::run()
{
    // La socket naît et meurt dans ce fil : ses notifications y sont servies.
    QUdpSocket socket;
    if (!socket.setSocketDescriptor(m_descripteur, QAbstractSocket::BoundState, QIODevice::ReadOnly)) {
        ::close(int(m_descripteur));
        return;
    }
    QByteArray tampon(65536, Qt::Uninitialized);
    const auto vide = [this, &socket, &tampon] { Vide(socket, tampon); };
    connect(&socket, &QUdpSocket::readyRead, &socket, vide);
    // Filet : même si Qt ne signalait plus rien, ce qui attend est lu une période plus tard.
    QTimer filet;
    filet.setInterval(FiletMs);
    connect(&filet, &QTimer::timeout, &socket, vide);
    filet.start();
    vide();
    exec();
}

void FilLectureUdp::Vide(QUdpSocket& socket, QByteArray& tampon)
{
    int lus = 0;
    while (lus < LecturesParReveil && !isInterruptionRequested() && socket.hasPendingDatagrams()) {
        QHostAddress expediteur;
        const qint64 taille = socket.readDatagram(tampon.data(), tampon.size(), &expediteur);
        if (taille < 0)
            break;
        ++lus;
        m_recus.fetch_add(1);
        if (!SourceAdmise(expediteur))
            continue;
        if (m_file.Depose(DatagrammeFinConvoyage::Lit(QByteArray(tampon.constData(), taille))))
            emit aDeposer();
    }
}

bool FilLectureUdp::SourceAdmise(const QHostAddress& expediteur)
{
    QMutexLocker verrou(&m_verrouSources);
    if (!m_filtre)
        return true;
    for (const QHostAddress& source : m_sources) {
        if (source.isEqual(expediteur, QHostAddress::ConvertV4MappedToIPv4))
            return true;
    }
    // Une ligne par nouvel expéditeur, pas une par datagramme : un flot venu d'ailleurs
    // ne remplit pas le journal.
    bool v4 = false;
    const quint32 ipv4 = expediteur.toIPv4Address(&v4);
    const QString nom = v4 ? QHostAddress(ipv4).toString() : expediteur.toString();
    if (m_refusesSignales.size() < ExpediteursSignalesMax && !m_refusesSignales.contains(nom)) {
        m_refusesSignales.insert(nom);
        if (m_file.DeposeRefus(QStringLiteral("UDP: datagrammes de ") + nom
                               + QStringLiteral(" ignores (expediteur non admis)")))
            emit aDeposer();
    }
    return false;
}
