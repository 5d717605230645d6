#include "EcouteDatagrammes.h"

#include "base/JournalStatut.h"
#include "config/LectureNombre.h"
#include "drawers/FilLectureUdp.h"
#include "drawers/TableauTiroirs.h"

#include <QUdpSocket>

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// Copie du descripteur de la socket liée, pour le fil de lecture ; -1 avec la raison
// en cas d'échec.
qintptr CopieDescripteur(qintptr descripteur, QString* raison)
{
#ifdef Q_OS_WIN
    WSAPROTOCOL_INFOW info;
    if (::WSADuplicateSocketW(SOCKET(descripteur), ::GetCurrentProcessId(), &info) == 0) {
        const SOCKET copie = ::WSASocketW(FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, &info, 0,
                                          WSA_FLAG_OVERLAPPED);
        if (copie != INVALID_SOCKET)
            return qintptr(copie);
    }
    *raison = QStringLiteral("erreur Winsock %1").arg(::WSAGetLastError());
    return -1;
#else
    const int copie = ::fcntl(int(descripteur), F_DUPFD_CLOEXEC, 0);
    if (copie < 0)
        *raison = QString::fromLocal8Bit(std::strerror(errno));
    return copie;
#endif
}

} // namespace

EcouteDatagrammes::EcouteDatagrammes(JournalStatut& journal, TableauTiroirs& tiroirs, QObject* parent)
    : QObject(parent)
    , m_journal(journal)
    , m_tiroirs(tiroirs)
{
    m_differe.setSingleShot(true);
    connect(&m_differe, &QTimer::timeout, this, &EcouteDatagrammes::TraiteDepose);
    m_nouvelEssai.setInterval(NouvelEssaiLiaisonMs);
    connect(&m_nouvelEssai, &QTimer::timeout, this, &EcouteDatagrammes::RetenteLiaison);
}

EcouteDatagrammes::~EcouteDatagrammes()
{
    Ferme();
}

void EcouteDatagrammes::Lie(const QString& adresse, const QString& port)
{
    Ferme();

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
    m_hote = hote;
    m_numero = quint16(numero);
    m_cible = cible;
    QString raison;
    if (LieSocket(&raison))
        return;
    m_journal.MessageStatus(QStringLiteral("Erreur UDP: impossible d'ecouter sur ") + cible + QStringLiteral(" (")
                            + raison + QStringLiteral(")"));
    // Port pris par un autre programme au démarrage : sans nouvel essai, les tiroirs
    // ne seraient plus libérés qu'au bout du temps jusqu'au prochain démarrage.
    m_nouvelEssai.start();
}

bool EcouteDatagrammes::LieSocket(QString* raison)
{
    // La liaison se fait ici, pour que son échec soit dit tout de suite. Liaison
    // exclusive : un second programme sur le même port doit échouer au grand jour
    // plutôt que se partager les datagrammes.
    QUdpSocket socket;
    if (!socket.bind(m_hote, m_numero, QAbstractSocket::DontShareAddress)) {
        *raison = socket.errorString();
        return false;
    }
    socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, TamponReceptionOctets);
    // Le fil de lecture reçoit une copie du descripteur (la socket liée reste la même) ;
    // celle d'ici est fermée en sortant.
    const qintptr copie = CopieDescripteur(socket.socketDescriptor(), raison);
    if (copie < 0)
        return false;
    m_nouvelEssai.stop();
    m_port = socket.localPort();
    m_fil = std::make_unique<FilLectureUdp>(copie, m_file);
    m_fil->AdmetSources(m_sources, m_filtre);
    // Un seul événement par passage de la file de vide à non vide.
    connect(m_fil.get(), &FilLectureUdp::aDeposer, this, &EcouteDatagrammes::TraiteDepose, Qt::QueuedConnection);
    m_fil->start();
    return true;
}

void EcouteDatagrammes::RetenteLiaison()
{
    QString raison;
    if (m_fil || !LieSocket(&raison))
        return;
    m_journal.MessageStatus(QStringLiteral("UDP: ecoute etablie sur ") + m_cible + QStringLiteral(" (le port a ete libere)"));
}

void EcouteDatagrammes::Ferme()
{
    m_nouvelEssai.stop();
    if (!m_fil)
        return;
    m_fil->requestInterruption();
    m_fil->quit();
    m_fil->wait();
    m_fil.reset();
    m_differe.stop();
    m_port = 0;
    // Comme la fermeture d'une socket : ce qui n'a pas encore été traité est perdu.
    m_file.Prends();
}

bool EcouteDatagrammes::EstFerme() const
{
    return !m_fil;
}

quint16 EcouteDatagrammes::PortLocal() const
{
    return m_port;
}

qint64 EcouteDatagrammes::DatagrammesRecus() const
{
    return m_fil ? m_fil->DatagrammesRecus() : 0;
}

void EcouteDatagrammes::TraiteDepose()
{
    // OuvreTiroir cède aux événements : un réveil arrivé à ce moment relancerait ce
    // traitement de l'intérieur. Il est noté et repris à la fin, dans l'ordre d'arrivée.
    if (m_traitementEnCours) {
        m_relance = true;
        return;
    }
    // Le fil de lecture ne réveille plus tant que la file n'est pas prise : la
    // minuterie garantit la prise différée.
    if (m_depuisLot.isValid() && m_depuisLot.elapsed() < IntervalleLotsMs) {
        if (!m_differe.isActive())
            m_differe.start(int(IntervalleLotsMs - m_depuisLot.elapsed()));
        return;
    }
    m_depuisLot.start();
    m_traitementEnCours = true;
    m_relance = false;
    // Un lot par tour d'événements : au plus 256 lignes et 9 libérations, puis les
    // passes de traitement et la minuterie reprennent la main.
    TraiteLot(m_file.Prends());
    m_traitementEnCours = false;
    if (m_relance)
        QMetaObject::invokeMethod(this, &EcouteDatagrammes::TraiteDepose, Qt::QueuedConnection);
}

void EcouteDatagrammes::TraiteLot(const FileDatagrammes::Lot& lot)
{
    const auto libere = [this](int tiroir) { m_tiroirs.OuvreTiroir(tiroir, TableauTiroirs::CauseLiberation::Datagramme); };
    for (const FileDatagrammes::Entree& entree : lot.entrees) {
        if (!entree.datagramme) {
            m_journal.MessageStatus(entree.texte);
            continue;
        }
        m_journal.MessageStatus(entree.texte, QStringLiteral("UDP="));
        if (entree.refusControle)
            m_journal.MessageStatus(QStringLiteral("UDP: datagramme refuse (octet de controle dans le numero de tiroir)"));
        if (entree.libere)
            libere(entree.tiroir);
    }
    if (lot.nonJournalises > 0)
        m_journal.MessageStatus(QStringLiteral("%1 datagrammes non journalises (flot trop rapide, liberations appliquees)")
                                    .arg(lot.nonJournalises));
    for (const int tiroir : lot.liberations)
        libere(tiroir);
}

void EcouteDatagrammes::AdmetSources(const QStringList& adresses)
{
    m_filtre = !adresses.isEmpty();
    m_sources.clear();
    for (const QString& texte : adresses) {
        const QHostAddress adresse(texte.trimmed());
        if (adresse.isNull())
            m_journal.MessageStatus(QStringLiteral("Erreur UDP: source incorrecte ") + texte);
        else
            m_sources.append(adresse);
    }
    if (m_fil)
        m_fil->AdmetSources(m_sources, m_filtre);
}
