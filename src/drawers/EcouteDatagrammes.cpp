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
    // Après un flot, on a vu des datagrammes attendre dans la socket sans lecture en cours
    // ni programmée, et sans plus aucun readyRead (Qt coupe sa notification après un
    // readyRead non suivi de lecture). Rien n'est donc lu dans l'émission de readyRead,
    // où OuvreTiroir cédait aux événements : la lecture part d'un appel différé.
    connect(&m_socket, &QUdpSocket::readyRead, this, &EcouteDatagrammes::ProgrammeLecture);
    // Filet : si Qt ne signalait plus rien alors que des datagrammes attendent, ils sont
    // tout de même lus, au plus une période plus tard.
    m_filet.setInterval(FiletMs);
    connect(&m_filet, &QTimer::timeout, this, &EcouteDatagrammes::ProgrammeLecture);
}

void EcouteDatagrammes::ProgrammeLecture()
{
    if (m_suiteProgrammee || m_socket.state() != QAbstractSocket::BoundState || !m_socket.hasPendingDatagrams())
        return;
    m_suiteProgrammee = true;
    QMetaObject::invokeMethod(this, &EcouteDatagrammes::LitDatagrammesEnAttente, Qt::QueuedConnection);
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
        return;
    }
    m_filet.start();
}

void EcouteDatagrammes::Ferme()
{
    m_filet.stop();
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
    // L'appel différé a commencé : un autre peut être programmé, même si celui-ci
    // s'arrête tout de suite (la boucle en cours reprogramme la suite à sa fin).
    m_suiteProgrammee = false;
    if (m_lectureEnCours)
        return;
    m_lectureEnCours = true;
    // Un nombre borné par tour d'événements : sous un flot de datagrammes, les passes de
    // traitement et la minuterie continuent entre deux lots. Le reste attend dans la
    // socket (rien n'est sauté) et la suite est reprise au tour suivant.
    int lus = 0;
    while (lus < DatagrammesParTour && m_socket.state() == QAbstractSocket::BoundState
           && m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagramme = m_socket.receiveDatagram();
        ++lus;
        if (SourceAdmise(datagramme.senderAddress()))
            Winsock_UDP_DataArrival(datagramme.data());
    }
    m_lectureEnCours = false;
    ProgrammeLecture();
}

void EcouteDatagrammes::Winsock_UDP_DataArrival(const QByteArray& datagramme)
{
    const DatagrammeFinConvoyage lu = DatagrammeFinConvoyage::Lit(datagramme);
    const QByteArray& texte = lu.texte;
    m_journal.MessageStatus(QStringLiteral("UDP= ") + TexteAffichable(texte), QStringLiteral("UDP="));
    if (lu.controleDansTiroir)
        m_journal.MessageStatus(QStringLiteral("UDP: datagramme refuse (octet de controle dans le numero de tiroir)"));
    if (!lu.finConvoyage)
        return;
    m_tiroirs.OuvreTiroir(lu.tiroir, TableauTiroirs::CauseLiberation::Datagramme);
}

void EcouteDatagrammes::AdmetSources(const QStringList& adresses)
{
    m_filtre = !adresses.isEmpty();
    m_sources.clear();
    m_refusesSignales.clear();
    for (const QString& texte : adresses) {
        const QHostAddress adresse(texte.trimmed());
        if (adresse.isNull())
            m_journal.MessageStatus(QStringLiteral("Erreur UDP: source incorrecte ") + texte);
        else
            m_sources.append(adresse);
    }
}

bool EcouteDatagrammes::SourceAdmise(const QHostAddress& expediteur)
{
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
        m_journal.MessageStatus(QStringLiteral("UDP: datagrammes de ") + nom
                                + QStringLiteral(" ignores (expediteur non admis)"));
    }
    return false;
}
