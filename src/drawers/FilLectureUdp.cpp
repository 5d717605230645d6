#include "FilLectureUdp.h"

#include "drawers/DatagrammeFinConvoyage.h"
#include "drawers/FileDatagrammes.h"

#include <QMutexLocker>
#include <QTimer>
#include <QSocketNotifier>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

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
#ifdef Q_OS_WIN
    // La copie de la socket ne garde pas le mode non bloquant de l'originale.
    u_long nonBloquant = 1;
    ::ioctlsocket(SOCKET(m_descripteur), FIONBIO, &nonBloquant);
#endif
    // La notification naît et meurt dans ce fil : elle y est servie.
    QSocketNotifier notification(m_descripteur, QSocketNotifier::Read);
    Reception reception;
    const auto vide = [this, &reception] { Vide(reception); };
    connect(&notification, &QSocketNotifier::activated, &notification, vide);
    // Filet : même si rien n'était signalé, ce qui attend est lu une période plus tard.
    QTimer filet;
    filet.setInterval(FiletMs);
    connect(&filet, &QTimer::timeout, &notification, vide);
    filet.start();
    vide();
    exec();
    notification.setEnabled(false);
#ifdef Q_OS_WIN
    ::closesocket(SOCKET(m_descripteur));
#else
    ::close(int(m_descripteur));
#endif
}

void FilLectureUdp::Vide(Reception& r)
{
    // Lecture par paquets de datagrammes (un appel système pour 16) : à 50 000
    // datagrammes/s sur une machine chargée, une lecture à la fois ne suivait pas.
    int lus = 0;
    while (lus < LecturesParReveil && !isInterruptionRequested()) {
        const int n = LitPaquet(r);
        if (n <= 0)
            return; // plus rien (EAGAIN) ou erreur passagère : la notification relancera
        lus += n;
        m_recus.fetch_add(n);
        for (int i = 0; i < n; ++i) {
            if (!SourceAdmise(reinterpret_cast<const sockaddr*>(&r.expediteurs[i])))
                continue;
            const QByteArray datagramme(r.tampons[i].constData(), r.longueurs[i]);
            if (m_file.Depose(DatagrammeFinConvoyage::Lit(datagramme)))
                emit aDeposer();
        }
    }
}

#ifdef Q_OS_WIN
int FilLectureUdp::LitPaquet(Reception& r)
{
    // Pas de lecture par paquets sous Windows : une à une, sans attendre.
    int n = 0;
    for (; n < Reception::Paquet; ++n) {
        int taille = int(sizeof r.expediteurs[n]);
        const int lu = ::recvfrom(SOCKET(m_descripteur), r.tampons[n].data(), int(r.tampons[n].size()), 0,
                                  reinterpret_cast<sockaddr*>(&r.expediteurs[n]), &taille);
        if (lu < 0)
            break;
        r.longueurs[n] = lu;
    }
    return n;
}
#else
int FilLectureUdp::LitPaquet(Reception& r)
{
    for (int i = 0; i < Reception::Paquet; ++i) {
        r.vecteurs[i] = { r.tampons[i].data(), size_t(r.tampons[i].size()) };
        r.messages[i].msg_hdr = {};
        r.messages[i].msg_hdr.msg_name = &r.expediteurs[i];
        r.messages[i].msg_hdr.msg_namelen = sizeof r.expediteurs[i];
        r.messages[i].msg_hdr.msg_iov = &r.vecteurs[i];
        r.messages[i].msg_hdr.msg_iovlen = 1;
    }
    const int n = ::recvmmsg(int(m_descripteur), r.messages, Reception::Paquet, MSG_DONTWAIT, nullptr);
    for (int i = 0; i < n; ++i)
        r.longueurs[i] = qsizetype(r.messages[i].msg_len);
    return qMax(n, 0);
}
#endif

bool FilLectureUdp::SourceAdmise(const sockaddr* adresse)
{
    QMutexLocker verrou(&m_verrouSources);
    if (!m_filtre)
        return true;
    const QHostAddress expediteur(adresse);
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

FilLectureUdp::Reception::Reception()
{
    for (QByteArray& tampon : tampons)
        tampon = QByteArray(OctetsParDatagramme, Qt::Uninitialized);
}
