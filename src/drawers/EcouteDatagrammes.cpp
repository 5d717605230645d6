#include "EcouteDatagrammes.h"

#include "base/JournalStatut.h"
#include "config/LectureNombre.h"
#include "drawers/DatagrammeFinConvoyage.h"
#include "drawers/TableauTiroirs.h"
#include "drawers/TrameCartes.h"

#include <QNetworkDatagram>

namespace {

const QByteArray& PrefixeFinConvoyage = DatagrammeFinConvoyage::Prefixe;

} // namespace

EcouteDatagrammes::EcouteDatagrammes(JournalStatut& journal, TableauTiroirs& tiroirs, QObject* parent)
    : QObject(parent)
    , m_journal(journal)
    , m_tiroirs(tiroirs)
{
    m_socket.setObjectName(QStringLiteral("Winsock_UDP"));
    connect(&m_socket, &QUdpSocket::readyRead, this, &EcouteDatagrammes::LitDatagrammesEnAttente);
}

void EcouteDatagrammes::Lie(const QString& adresse, const QString& port)
{
    if (m_socket.state() != QAbstractSocket::UnconnectedState)
        m_socket.close();

    const QString adresseLue = adresse.trimmed();
    QHostAddress hote(adresseLue);
    if (hote.isNull() && adresseLue.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        hote = QHostAddress(QHostAddress::LocalHost);
    // Sans adresse locale, la socket écoute sur toutes les adresses de la machine,
    // plutôt que de ne rien écouter du tout.
    if (adresseLue.isEmpty())
        hote = QHostAddress(QHostAddress::AnyIPv4);
    const qint32 numero = LitNombre(port);
    const QString cible = adresse + QStringLiteral(":") + port;
    if (hote.isNull()) {
        m_journal.MessageStatus(QStringLiteral("Erreur UDP: adresse locale incorrecte ") + cible);
        return;
    }
    if (numero < 1 || numero > 65535) {
        m_journal.MessageStatus(QStringLiteral("Erreur UDP: port local incorrect ") + cible);
        return;
    }
    // Liaison exclusive : un second programme sur le même port doit échouer au grand
    // jour plutôt que se partager les datagrammes.
    if (!m_socket.bind(hote, quint16(numero), QAbstractSocket::DontShareAddress)) {
        m_journal.MessageStatus(QStringLiteral("Erreur UDP: impossible d'ecouter sur ") + cible
                                + QStringLiteral(" (") + m_socket.errorString() + QStringLiteral(")"));
        m_socket.close();
    }
}

void EcouteDatagrammes::Ferme()
{
    if (m_socket.state() != QAbstractSocket::UnconnectedState)
        m_socket.close();
}

bool EcouteDatagrammes::EstFerme() const
{
    return m_socket.state() == QAbstractSocket::UnconnectedState;
}

quint16 EcouteDatagrammes::PortLocal() const
{
    return EstFerme() ? 0 : m_socket.localPort();
}

void EcouteDatagrammes::LitDatagrammesEnAttente()
{
    // OuvreTiroir cède aux événements : un datagramme arrivé à ce moment relancerait
    // cette boucle de l'intérieur. La boucle extérieure le lira, dans l'ordre d'arrivée.
    if (m_lectureEnCours)
        return;
    m_suiteProgrammee = false;
    m_lectureEnCours = true;
    // Un nombre borné par tour d'événements : sous un flot de datagrammes, les passes de
    // traitement et la minuterie continuent entre deux lots. Le reste attend dans la
    // socket (rien n'est sauté) et la suite est reprise au tour suivant.
    int lus = 0;
    while (lus < DatagrammesParTour && m_socket.state() == QAbstractSocket::BoundState
           && m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagramme = m_socket.receiveDatagram();
        ++lus;
        Winsock_UDP_DataArrival(datagramme.data());
    }
    m_lectureEnCours = false;
    if (!m_suiteProgrammee && m_socket.state() == QAbstractSocket::BoundState && m_socket.hasPendingDatagrams()) {
        m_suiteProgrammee = true;
        QMetaObject::invokeMethod(this, &EcouteDatagrammes::LitDatagrammesEnAttente, Qt::QueuedConnection);
    }
}

void EcouteDatagrammes::Winsock_UDP_DataArrival(const QByteArray& datagramme)
{
    const DatagrammeFinConvoyage lu = DatagrammeFinConvoyage::Lit(datagramme);
    const QByteArray& texte = lu.texte;
    m_journal.MessageStatus(QStringLiteral("UDP= ") + TexteAffichable(texte));
    if (!lu.finConvoyage)
        return;
    m_tiroirs.OuvreTiroir(lu.tiroir, TableauTiroirs::CauseLiberation::Datagramme);
}
