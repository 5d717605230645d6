#include "EmulateurCartes.h"

#include "drawers/TrameCartes.h"

#include <QDeadlineTimer>
#include <QMutexLocker>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

EmulateurCartes::EmulateurCartes()
{
    m_chrono.start();
    m_fil.setObjectName(QStringLiteral("emulateur_cartes"));
    m_contexte = new QObject;
    m_contexte->moveToThread(&m_fil);
    m_fil.start();
}

EmulateurCartes::~EmulateurCartes()
{
    FermeMaitre();
    m_fil.quit();
    m_fil.wait();
    delete m_contexte;
}

bool EmulateurCartes::Ouvre(QString* erreur)
{
    FermeMaitre();
    auto echec = [erreur](const char* etape) {
        if (erreur)
            *erreur = QString::fromLatin1(etape) + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
        return false;
    };
    const int maitre = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (maitre < 0)
        return echec("posix_openpt");
    if (::grantpt(maitre) != 0 || ::unlockpt(maitre) != 0) {
        ::close(maitre);
        return echec("grantpt/unlockpt");
    }
    // Non bloquant : une inondation ne doit jamais bloquer le fil qui répond aux trames.
    ::fcntl(maitre, F_SETFL, ::fcntl(maitre, F_GETFL) | O_NONBLOCK);
    const char* nom = ::ptsname(maitre);
    if (!nom) {
        ::close(maitre);
        return echec("ptsname");
    }
    const QString chemin = QString::fromLocal8Bit(nom);
    const int esclave = ::open(nom, O_RDWR | O_NOCTTY);
    if (esclave < 0) {
        ::close(maitre);
        return echec("open esclave");
    }
    // Mode brut avant que le service n'ouvre : ni écho ni traduction du CR.
    termios reglage{};
    if (::tcgetattr(esclave, &reglage) == 0) {
        ::cfmakeraw(&reglage);
        ::tcsetattr(esclave, TCSANOW, &reglage);
    }
    {
        QMutexLocker verrou(&m_verrou);
        m_maitre = maitre;
        m_esclave = esclave;
        m_cheminEsclave = chemin;
        m_tampon.clear();
    }
    QMetaObject::invokeMethod(m_contexte, [this] { ActiveNotificateur(); }, Qt::BlockingQueuedConnection);
    return true;
}

QString EmulateurCartes::CheminEsclave() const
{
    QMutexLocker verrou(&m_verrou);
    return m_cheminEsclave;
}

void EmulateurCartes::FermeMaitre()
{
    QMetaObject::invokeMethod(m_contexte, [this] {
        CoupeNotificateur();
        delete m_minuterieInondation;
        m_minuterieInondation = nullptr;
    }, Qt::BlockingQueuedConnection);
    QMutexLocker verrou(&m_verrou);
    if (m_maitre >= 0)
        ::close(m_maitre);
    if (m_esclave >= 0)
        ::close(m_esclave);
    m_maitre = -1;
    m_esclave = -1;
}

void EmulateurCartes::ActiveNotificateur()
{
    m_notificateur = new QSocketNotifier(m_maitre, QSocketNotifier::Read);
    QObject::connect(m_notificateur, &QSocketNotifier::activated, m_contexte, [this] { LitMaitre(); });
}

void EmulateurCartes::CoupeNotificateur()
{
    delete m_notificateur;
    m_notificateur = nullptr;
}

void EmulateurCartes::DeclareCarte(const QByteArray& adresse)
{
    QMutexLocker verrou(&m_verrou);
    Carte& carte = m_cartes[adresse];
    if (carte.reponses.isEmpty()) {
        carte.reponses.insert('V', QByteArrayLiteral("V1.0"));
        carte.reponses.insert('G', QByteArrayLiteral("11"));
        carte.reponses.insert('X', QByteArrayLiteral("OK"));
    }
}

void EmulateurCartes::MetReponse(const QByteArray& adresse, char commande, const QByteArray& charge)
{
    DeclareCarte(adresse);
    QMutexLocker verrou(&m_verrou);
    m_cartes[adresse].reponses.insert(commande, charge);
}

void EmulateurCartes::MetComportement(const QByteArray& adresse, Comportement comportement)
{
    DeclareCarte(adresse);
    QMutexLocker verrou(&m_verrou);
    m_cartes[adresse].comportement = comportement;
}

void EmulateurCartes::MetSecondeReponse(const QByteArray& adresse, const QByteArray& charge)
{
    DeclareCarte(adresse);
    QMutexLocker verrou(&m_verrou);
    m_cartes[adresse].seconde = charge;
}

void EmulateurCartes::IgnoreProchaines(const QByteArray& adresse, char commande, int nombre)
{
    DeclareCarte(adresse);
    QMutexLocker verrou(&m_verrou);
    m_cartes[adresse].silences.insert(commande, nombre);
}

void EmulateurCartes::MetTauxSommesFausses(const QByteArray& adresse, int pourcent)
{
    DeclareCarte(adresse);
    QMutexLocker verrou(&m_verrou);
    m_cartes[adresse].pourcentSommesFausses = qBound(0, pourcent, 100);
}

void EmulateurCartes::EnvoieBrut(const QByteArray& octets)
{
    QMutexLocker verrou(&m_verrou);
    Ecrit(octets);
}

void EmulateurCartes::MetRetard(const QByteArray& adresse, int ms)
{
    DeclareCarte(adresse);
    QMutexLocker verrou(&m_verrou);
    m_cartes[adresse].retardMs = qMax(0, ms);
}

void EmulateurCartes::Inonde(int octetsParSeconde, int dureeMs, const QByteArray& motif)
{
    QMetaObject::invokeMethod(m_contexte, [=] {
        {
            QMutexLocker verrou(&m_verrou);
            m_motifInondation = motif.isEmpty() ? QByteArray(1, '?') : motif;
            m_octetsParSeconde = qMax(1, octetsParSeconde);
            m_debutInondation = m_chrono.elapsed();
            m_finInondation = m_debutInondation + qMax(0, dureeMs);
            m_inondationPrevue = 0;
        }
        if (!m_minuterieInondation) {
            m_minuterieInondation = new QTimer;
            m_minuterieInondation->setTimerType(Qt::PreciseTimer);
            QObject::connect(m_minuterieInondation, &QTimer::timeout, m_contexte, [this] { PoursuitInondation(); });
        }
        m_minuterieInondation->start(5);
    }, Qt::BlockingQueuedConnection);
}

bool EmulateurCartes::InondationEnCours() const
{
    QMutexLocker verrou(&m_verrou);
    return m_finInondation > m_chrono.elapsed();
}

qint64 EmulateurCartes::OctetsInondation() const
{
    QMutexLocker verrou(&m_verrou);
    return m_inondationEcrite;
}

void EmulateurCartes::PoursuitInondation()
{
    QMutexLocker verrou(&m_verrou);
    const qint64 maintenant = qMin(m_chrono.elapsed(), m_finInondation);
    const qint64 dus = (maintenant - m_debutInondation) * m_octetsParSeconde / 1000;
    QByteArray morceau;
    for (qint64 i = m_inondationPrevue; i < dus; ++i)
        morceau += m_motifInondation.at(int(i % m_motifInondation.size()));
    m_inondationPrevue = dus;
    if (!morceau.isEmpty() && m_maitre >= 0) {
        const ssize_t n = ::write(m_maitre, morceau.constData(), size_t(morceau.size()));
        m_inondationEcrite += qMax<ssize_t>(0, n);
        m_inondationPerdue += morceau.size() - qMax<ssize_t>(0, n);
    }
    if (m_chrono.elapsed() >= m_finInondation && m_minuterieInondation)
        m_minuterieInondation->stop();
}

QList<EmulateurCartes::Trame> EmulateurCartes::Trames() const
{
    QMutexLocker verrou(&m_verrou);
    return m_trames;
}

void EmulateurCartes::OublieTrames()
{
    QMutexLocker verrou(&m_verrou);
    m_trames.clear();
}

bool EmulateurCartes::AttendTrames(int nombre, int delaiMs) const
{
    QDeadlineTimer echeance(delaiMs);
    QMutexLocker verrou(&m_verrou);
    while (m_trames.size() < nombre) {
        if (!m_trameArrivee.wait(&m_verrou, echeance))
            return m_trames.size() >= nombre;
    }
    return true;
}

qint64 EmulateurCartes::Maintenant() const
{
    return m_chrono.elapsed();
}

void EmulateurCartes::Ecrit(const QByteArray& octets)
{
    // Appelé verrou tenu.
    qsizetype ecrits = 0;
    while (m_maitre >= 0 && ecrits < octets.size()) {
        const ssize_t n = ::write(m_maitre, octets.constData() + ecrits, size_t(octets.size() - ecrits));
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            // Pseudo-terminal plein (le service ne lit pas) : on attend un peu, puis on
            // abandonne, comme une carte dont l'UART déborde.
            pollfd attente{ m_maitre, POLLOUT, 0 };
            if (n < 0 && errno == EAGAIN && ::poll(&attente, 1, 200) > 0)
                continue;
            break;
        }
        ecrits += n;
    }
}

void EmulateurCartes::LitMaitre()
{
    char morceau[512];
    ssize_t n = 0;
    {
        QMutexLocker verrou(&m_verrou);
        if (m_maitre < 0)
            return;
        n = ::read(m_maitre, morceau, sizeof morceau);
    }
    if (n <= 0) {
        // Plus de côté esclave : on cesse d'écouter plutôt que tourner en rond.
        if (n == 0 || (errno != EINTR && errno != EAGAIN))
            CoupeNotificateur();
        return;
    }
    QList<QByteArray> completes;
    {
        QMutexLocker verrou(&m_verrou);
        m_tampon.append(morceau, n);
        qsizetype cr = 0;
        while ((cr = m_tampon.indexOf(CaractereCr)) >= 0) {
            completes.append(m_tampon.left(cr + 1));
            m_tampon.remove(0, cr + 1);
        }
    }
    for (const QByteArray& brute : completes)
        TraiteTrame(brute);
}

void EmulateurCartes::TraiteTrame(const QByteArray& brute)
{
    Trame trame;
    trame.brute = brute;
    trame.instantMs = m_chrono.elapsed();
    const qsizetype esc = brute.indexOf(CaractereEsc);
    if (esc >= 0 && brute.size() - esc >= 4) {
        const QByteArray contenu = brute.mid(esc + 1, brute.size() - esc - 2); // sans ESC ni CR
        trame.corps = contenu.left(contenu.size() - 2);
        trame.sommeJuste = CalculCSgrindel2(trame.corps) == contenu.right(2);
    }

    QMutexLocker verrou(&m_verrou);
    m_trames.append(trame);
    m_trameArrivee.wakeAll();

    if (!trame.sommeJuste || trame.corps.size() < 3)
        return;
    const char commande = trame.corps.at(0);
    const QByteArray adresse = trame.corps.mid(1, 2);
    auto carte = m_cartes.find(adresse);
    if (carte == m_cartes.end() || carte->comportement == Comportement::Silencieux)
        return;
    int& silences = carte->silences[commande];
    if (silences > 0) {
        --silences;
        return;
    }
    if (!carte->reponses.contains(commande))
        return;

    QByteArray charge = carte->reponses.value(commande);
    if (carte->comportement == Comportement::Nul)
        charge.insert(1, '\0');
    QByteArray reponse = TrameReponse(ApresBarre, charge);
    const qsizetype finSomme = reponse.size() - 1; // la somme précède le CR
    m_tirage = m_tirage * 1103515245u + 12345u;
    if (carte->pourcentSommesFausses > 0 && int((m_tirage >> 16) % 100) < carte->pourcentSommesFausses)
        reponse[finSomme - 1] = reponse.at(finSomme - 1) == '0' ? '1' : '0';
    switch (carte->comportement) {
    case Comportement::Bavarde:
        reponse = QByteArray(300, '~') + CaractereCr;
        break;
    case Comportement::SommeFausse:
        reponse[finSomme - 1] = reponse.at(finSomme - 1) == '0' ? '1' : '0';
        break;
    case Comportement::SommeMinuscule:
        reponse.replace(finSomme - 2, 2, reponse.mid(finSomme - 2, 2).toLower());
        break;
    case Comportement::DeuxReponses:
        reponse += TrameReponse(ApresBarre, carte->seconde);
        break;
    case Comportement::EnMorceaux: {
        const qsizetype tiers = qMax<qsizetype>(1, reponse.size() / 3);
        const QList<QByteArray> morceaux = { reponse.left(tiers), reponse.mid(tiers, tiers), reponse.mid(2 * tiers) };
        for (const QByteArray& m : morceaux) {
            Ecrit(m);
            verrou.unlock();
            QThread::msleep(80);
            verrou.relock();
        }
        return;
    }
    default:
        break;
    }
    if (carte->retardMs > 0) {
        // Réponse en retard : elle part plus tard, du fil de l'émulateur.
        QTimer::singleShot(carte->retardMs, m_contexte, [this, reponse] {
            QMutexLocker v(&m_verrou);
            Ecrit(reponse);
        });
        return;
    }
    Ecrit(reponse);
}
