#include "VeilleDossier.h"

#include "base/Horloge.h"
#include "base/PageDeCode.h"
#include "base/SystemeFichiers.h"
#include "base/Volumes.h"

#include <QFile>
#include <QSocketNotifier>
#include <utility>

#ifdef Q_OS_LINUX
#include <cerrno>
#include <cstring>
#include <limits.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Au-delà de ce nombre de noms suivis (créés et jamais effacés), la veille
// repart de zéro plutôt que de grandir sans fin.
constexpr int SuivisMax = 100000;

#ifdef Q_OS_LINUX
// Lecture des notifications par blocs de cette taille, au plus ce nombre de
// blocs par appel : le reste attend l'appel suivant.
constexpr size_t TailleBloc = 16 * (sizeof(inotify_event) + NAME_MAX + 1);
constexpr int BlocsParLecture = 64;

#endif

} // namespace

VeilleDossier::VeilleDossier(Horloge& horloge, std::function<bool(const QByteArray&)> garde, QObject* parent)
    : QObject(parent)
    , m_horloge(horloge)
    , m_garde(std::move(garde))
{
}

VeilleDossier::~VeilleDossier()
{
    m_notificateur.reset();
    Ferme();
}

void VeilleDossier::Ferme()
{
    // Peut être appelée depuis le signal du notificateur lui-même : il est
    // détruit plus tard.
    if (m_notificateur) {
        m_notificateur->setEnabled(false);
        m_notificateur.release()->deleteLater();
    }
#ifdef Q_OS_LINUX
    if (m_fd >= 0)
        ::close(m_fd);
#endif
    m_fd = -1;
}

bool VeilleDossier::Pose(const QString& dossier, QString* raison)
{
    Ferme();
    Perd();
    raison->clear();
#ifdef Q_OS_LINUX
    const QByteArray chemin = QFile::encodeName(dossier);
    // Sur un partage, une écriture venue d'une autre machine (ou d'un démon en espace
    // utilisateur) ne donne pas de notification.
    QString systeme;
    if (Volumes::SurPartageReseau(dossier, &systeme)) {
        *raison = QStringLiteral("système de fichiers ") + systeme + QStringLiteral(" sans notification sûre");
        return false;
    }
    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) {
        *raison = SystemeFichiers::RaisonSysteme(errno);
        return false;
    }
    const quint32 masque = IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE
        | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK;
    if (::inotify_add_watch(fd, chemin.constData(), masque) < 0) {
        const int erreur = errno;
        ::close(fd);
        // Dossier absent ou illisible : la relecture le dit déjà.
        if (erreur != ENOENT && erreur != EACCES && erreur != ENOTDIR)
            *raison = SystemeFichiers::RaisonSysteme(erreur);
        return false;
    }
    // Identité du dossier veillé, relevée après la pose : si le chemin en
    // change ensuite, c'est un autre dossier que la veille ne voit pas.
    struct stat st {};
    if (::stat(chemin.constData(), &st) != 0) {
        ::close(fd);
        return false;
    }
    m_periph = quint64(st.st_dev);
    m_noeud = quint64(st.st_ino);
    m_fd = fd;
    m_notificateur = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(m_notificateur.get(), &QSocketNotifier::activated, this, [this] {
        Lit();
        emit signesRecus();
    });
    return true;
#else
    Q_UNUSED(dossier);
    return false;
#endif
}

bool VeilleDossier::Lit()
{
#ifdef Q_OS_LINUX
    alignas(inotify_event) char bloc[TailleBloc];
    for (int i = 0; i < BlocsParLecture && m_fd >= 0; ++i) {
        const ssize_t n = ::read(m_fd, bloc, sizeof bloc);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return true;
        if (n <= 0) {
            Perd();
            Ferme();
            return true;
        }
        for (ssize_t pos = 0; pos + ssize_t(sizeof(inotify_event)) <= n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(bloc + pos);
            Traite(e->mask, e->len > 0 ? QByteArray(e->name) : QByteArray());
            pos += ssize_t(sizeof(inotify_event) + e->len);
        }
    }
    return m_fd < 0;
#else
    return true;
#endif
}

void VeilleDossier::Traite(quint32 masque, const QByteArray& nom)
{
#ifdef Q_OS_LINUX
    if (masque & (IN_Q_OVERFLOW | IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) {
        // File débordée : des notifications sont perdues. Dossier effacé,
        // déplacé ou démonté : la veille ne voit plus ce dossier-là.
        Perd();
        if (!(masque & IN_Q_OVERFLOW))
            Ferme();
        return;
    }
    if (nom.isEmpty()) {
        m_changement = true; // le dossier lui-même (droits) : à relire
        return;
    }
    if (!m_garde(nom))
        return;
    const QString cle = SystemeFichiers::NomDecode(nom);
    if (masque & (IN_DELETE | IN_MOVED_FROM)) {
        m_suivis.remove(cle);
        AjouteMouvement(nom, false);
        return;
    }
    if (masque & IN_ATTRIB)
        return; // droits ou dates : le contenu n'a pas changé
    if (masque & (IN_CREATE | IN_MOVED_TO))
        AjouteMouvement(nom, true);
    if (m_suivis.size() >= SuivisMax && !m_suivis.contains(cle)) {
        Perd();
        return;
    }
    Suivi& s = m_suivis[cle];
    s.signe = (masque & IN_MOVED_TO) ? Signe::Arrivee : (masque & IN_CLOSE_WRITE) ? Signe::Fermee : Signe::Ecriture;
    s.depuis = m_horloge.get_exact_milli_second();
    s.numero = ++m_numero;
#else
    Q_UNUSED(masque);
    Q_UNUSED(nom);
#endif
}

void VeilleDossier::AjouteMouvement(const QByteArray& nom, bool entre)
{
    if (m_changement)
        return; // tout sera relu : les mouvements n'apprendraient rien
    if (m_mouvements.size() >= MouvementsMax) {
        m_mouvements.clear();
        m_changement = true;
        return;
    }
    m_mouvements.append({ nom, entre });
}

void VeilleDossier::Perd()
{
    m_suivis.clear();
    m_mouvements.clear();
    m_changement = true;
}

void VeilleDossier::Abandonne()
{
    Perd();
    Ferme();
}

bool VeilleDossier::MemeDossier(const QString& dossier) const
{
#ifdef Q_OS_LINUX
    struct stat st {};
    return ::stat(QFile::encodeName(dossier).constData(), &st) == 0 && quint64(st.st_dev) == m_periph
        && quint64(st.st_ino) == m_noeud;
#else
    Q_UNUSED(dossier);
    return false;
#endif
}

QList<VeilleDossier::Mouvement> VeilleDossier::PrendMouvements()
{
    return std::exchange(m_mouvements, {});
}

bool VeilleDossier::PrendChangement()
{
    const bool changement = m_changement;
    m_changement = false;
    return changement;
}

const VeilleDossier::Suivi* VeilleDossier::SuiviDe(const QString& nom) const
{
    const auto it = m_suivis.constFind(nom);
    return it == m_suivis.constEnd() ? nullptr : &it.value();
}
