#include "SystemeFichiers.h"

#include "base/PageDeCode.h"

#include <QDateTime>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

#ifdef Q_OS_UNIX
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace SystemeFichiers {

namespace {

#ifdef Q_OS_UNIX
qint64 ModificationNs(const struct stat& st)
{
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

// Un nom est-il écrit tel quel par QFile (UTF-8) ?
bool NomUtf8(const QByteArray& brut)
{
    return QFile::encodeName(QFile::decodeName(brut)) == brut;
}

QString GenreDe(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("dossier");
    if (S_ISFIFO(mode))
        return QStringLiteral("tube nommé");
    if (S_ISSOCK(mode))
        return QStringLiteral("socket");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("périphérique");
    return QStringLiteral("fichier spécial");
}

QString GenreLien(mode_t mode)
{
    return (S_ISSOCK(mode) ? QStringLiteral("lien vers une ") : QStringLiteral("lien vers un ")) + GenreDe(mode);
}

// Lit au plus limite + 1 octets de fd dans *tampon ; faux sur une erreur de lecture.
bool LitDescripteur(int fd, qint64 limite, qint64 tailleAnnoncee, QByteArray* tampon, qint64* lus)
{
    tampon->resize(qsizetype(std::min<qint64>(limite + 1, tailleAnnoncee + 1)));
    *lus = 0;
    for (;;) {
        if (*lus == tampon->size()) {
            if (*lus > limite)
                return true;
            tampon->resize(qsizetype(std::min<qint64>(limite + 1, *lus * 2 + 4096)));
        }
        const ssize_t n = ::read(fd, tampon->data() + *lus, size_t(tampon->size() - *lus));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        *lus += n;
    }
}

// Vrai quand un autre processus de cette machine tient le fichier ouvert en
// écriture. Sous Linux, un bail en lecture (F_SETLEASE) n'est accordé que si
// personne ne l'a ouvert en écriture ; tant qu'il est tenu, un écrivain qui
// ouvre le fichier attend qu'on le rende. Le bail est donc gardé pendant la
// lecture : les octets lus sont ceux d'un fichier que personne n'écrit.
// *tenu : le bail est pris (à rendre). Sans bail possible (fichier d'un autre
// utilisateur sans CAP_LEASE, système qui n'en a pas), on n'en sait rien :
// la règle de temps de l'appelant décide seule.
bool EcrivainOuvert(int fd, bool* tenu)
{
    *tenu = false;
#if defined(Q_OS_LINUX) && defined(F_SETLEASE)
    // Un écrivain qui ouvre pendant le bail fait envoyer SIGIO au détenteur,
    // dont l'effet par défaut termine le processus : on l'ignore (le bail est
    // rendu dès la lecture faite, l'écrivain n'attend pas davantage).
    static const bool sigioIgnore = [] {
        struct sigaction sa {};
        if (::sigaction(SIGIO, nullptr, &sa) == 0 && sa.sa_handler == SIG_DFL)
            ::signal(SIGIO, SIG_IGN);
        return true;
    }();
    Q_UNUSED(sigioIgnore);
    if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
        *tenu = true;
        return false;
    }
    return errno == EAGAIN;
#else
    Q_UNUSED(fd);
    return false;
#endif
}

void RendBail(int fd, bool tenu)
{
#if defined(Q_OS_LINUX) && defined(F_SETLEASE)
    if (tenu)
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
#else
    Q_UNUSED(fd);
    Q_UNUSED(tenu);
#endif
}

// Genre d'une entrée du dossier ouvert fd dont readdir n'a pas dit "fichier
// ordinaire" ; faux quand elle est partie entre la lecture du dossier et ici.
bool GenreDansDossier(int fd, const char* nom, QString* genre)
{
    struct stat st {};
    struct stat lien {};
    const bool estLien = ::fstatat(fd, nom, &lien, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(lien.st_mode);
    if (::fstatat(fd, nom, &st, 0) != 0) {
        if (!estLien)
            return false;
        *genre = QStringLiteral("lien sans cible");
    } else if (!S_ISREG(st.st_mode)) {
        *genre = estLien ? GenreLien(st.st_mode) : GenreDe(st.st_mode);
    }
    return true;
}
#endif

} // namespace

QString NomDecode(const QByteArray& brut)
{
#ifdef Q_OS_UNIX
    return NomUtf8(brut) ? QFile::decodeName(brut) : DecodeWindows1252(brut);
#else
    return QString::fromUtf8(brut);
#endif
}

QString RaisonSysteme(int code)
{
    switch (code) {
    case EACCES:
    case EPERM:
        return QStringLiteral("accès refusé");
    case ENOENT:
        return QStringLiteral("dossier absent");
    case ENOTDIR:
        return QStringLiteral("ce n'est pas un dossier");
    case EIO:
        return QStringLiteral("erreur d'entrée-sortie");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("trop de fichiers ouverts");
    case ENOSPC:
        return QStringLiteral("limite de veilles du système atteinte");
#ifdef Q_OS_UNIX
    case ESTALE:
    case ENOTCONN:
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ETIMEDOUT:
        return QStringLiteral("partage injoignable");
#endif
    default:
        return QString::fromLocal8Bit(std::strerror(code));
    }
}

QByteArray CheminSysteme(const QString& chemin)
{
#ifdef Q_OS_UNIX
    // Un nom listé hors UTF-8 est montré décodé en Windows-1252 ; on retrouve
    // ses octets en le réencodant, quand le nom UTF-8 n'existe pas (la relecture
    // du dossier écarte les homonymes).
    const QByteArray utf8 = QFile::encodeName(chemin);
    struct stat st {};
    if (::lstat(utf8.constData(), &st) == 0)
        return utf8;
    const qsizetype barre = chemin.lastIndexOf(QLatin1Char('/'));
    const QString nom = chemin.mid(barre + 1);
    const QByteArray brut = EncodeWindows1252(nom);
    if (DecodeWindows1252(brut) != nom || NomUtf8(brut))
        return utf8;
    return QFile::encodeName(chemin.left(barre + 1)) + brut;
#else
    return QFile::encodeName(chemin);
#endif
}

EtatFichier EtatDe(const QString& chemin)
{
#ifdef Q_OS_UNIX
    struct stat st {};
    if (::stat(CheminSysteme(chemin).constData(), &st) != 0)
        return {};
    return { qint64(st.st_size), ModificationNs(st) };
#else
    const QFileInfo info(chemin);
    if (!info.exists())
        return {};
    return { info.size(), info.lastModified().toMSecsSinceEpoch() * 1000000 };
#endif
}

QString GenreEntree(const QString& chemin)
{
#ifdef Q_OS_UNIX
    const QByteArray systeme = CheminSysteme(chemin);
    struct stat lien {};
    if (::lstat(systeme.constData(), &lien) != 0)
        return QString();
    struct stat st {};
    if (::stat(systeme.constData(), &st) != 0)
        return QStringLiteral("lien sans cible");
    if (S_ISREG(st.st_mode))
        return QString();
    return S_ISLNK(lien.st_mode) ? GenreLien(st.st_mode) : GenreDe(st.st_mode);
#else
    const QFileInfo info(chemin);
    if (info.isSymLink() && !info.exists())
        return QStringLiteral("lien sans cible");
    if (!info.exists() || info.isFile())
        return QString();
    return info.isDir() ? QStringLiteral("dossier") : QStringLiteral("fichier spécial");
#endif
}

bool Existe(const QString& chemin)
{
#ifdef Q_OS_UNIX
    struct stat st {};
    return ::lstat(CheminSysteme(chemin).constData(), &st) == 0;
#else
    const QFileInfo info(chemin);
    return info.exists() || info.isSymLink();
#endif
}

bool Supprime(const QString& chemin)
{
#ifdef Q_OS_UNIX
    return ::unlink(CheminSysteme(chemin).constData()) == 0;
#else
    return QFile::remove(chemin);
#endif
}

#ifdef Q_OS_UNIX
Lecture LitBorne(const QString& chemin, qint64 limite, QByteArray* contenu, EtatFichier* etat)
{
    contenu->clear();
    const QByteArray systeme = CheminSysteme(chemin);
    struct stat st {};
    if (::stat(systeme.constData(), &st) != 0) {
        if (errno != ENOENT)
            return Lecture::Illisible;
        struct stat lien {};
        return ::lstat(systeme.constData(), &lien) == 0 ? Lecture::PasOrdinaire : Lecture::Absente;
    }
    // Jamais d'ouverture d'autre chose qu'un fichier ordinaire : un tube
    // bloquerait le fil, /dev/zero ne finirait jamais.
    if (!S_ISREG(st.st_mode))
        return Lecture::PasOrdinaire;
    // O_NONBLOCK : si l'entrée devient un tube entre les deux, l'ouverture ne bloque pas.
    const int fd = ::open(systeme.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? Lecture::Absente : Lecture::Illisible;
    struct stat avant {};
    if (::fstat(fd, &avant) != 0 || !S_ISREG(avant.st_mode)) {
        ::close(fd);
        return Lecture::PasOrdinaire;
    }
    // Un comptoir le tient encore ouvert en écriture : pas fini, quelle que
    // soit sa pause.
    bool bail = false;
    if (EcrivainOuvert(fd, &bail)) {
        ::close(fd);
        return Lecture::EnCours;
    }
    QByteArray tampon;
    qint64 lus = 0;
    const bool lu = LitDescripteur(fd, limite, qint64(avant.st_size), &tampon, &lus);
    struct stat apres {};
    const bool stable = ::fstat(fd, &apres) == 0 && apres.st_size == avant.st_size
        && ModificationNs(apres) == ModificationNs(avant);
    RendBail(fd, bail);
    ::close(fd);
    if (!lu)
        return Lecture::Illisible;
    const Lecture resultat = lus > limite ? Lecture::TropGrosse : Lecture::Lue;
    tampon.truncate(qsizetype(std::min(lus, limite)));
    if (etat) {
        // Un fichier qui a changé pendant la lecture, ou dont on n'a pas lu la
        // taille annoncée, n'a pas d'état sûr : -2 ne ressemble à aucun.
        *etat = { qint64(apres.st_size), ModificationNs(apres) };
        if (!stable || (resultat == Lecture::Lue && lus != qint64(apres.st_size)))
            etat->taille = -2;
    }
    *contenu = std::move(tampon);
    return resultat;
}
#else
Lecture LitBorne(const QString& chemin, qint64 limite, QByteArray* contenu, EtatFichier* etat)
{
    contenu->clear();
    const QFileInfo info(chemin);
    if (!info.exists())
        return info.isSymLink() ? Lecture::PasOrdinaire : Lecture::Absente;
    if (!info.isFile())
        return Lecture::PasOrdinaire;
    // Partage en lecture seulement : si un comptoir tient encore le fichier
    // ouvert en écriture, l'ouverture échoue (violation de partage) ; tant que
    // nous le tenons, personne ne peut y écrire.
    const HANDLE h = ::CreateFileW(reinterpret_cast<const wchar_t*>(chemin.utf16()), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD erreur = ::GetLastError();
        if (erreur == ERROR_SHARING_VIOLATION || erreur == ERROR_LOCK_VIOLATION)
            return Lecture::EnCours;
        return erreur == ERROR_FILE_NOT_FOUND ? Lecture::Absente : Lecture::Illisible;
    }
    QByteArray tampon(qsizetype(std::min<qint64>(limite + 1, info.size() + 1)), Qt::Uninitialized);
    qint64 lus = 0;
    bool lu = true;
    while (lu && lus <= limite) {
        if (lus == tampon.size())
            tampon.resize(qsizetype(std::min<qint64>(limite + 1, lus * 2 + 4096)));
        DWORD n = 0;
        lu = ::ReadFile(h, tampon.data() + lus, DWORD(tampon.size() - lus), &n, nullptr) != 0;
        if (lu && n == 0)
            break;
        lus += n;
    }
    ::CloseHandle(h);
    if (!lu)
        return Lecture::Illisible;
    const Lecture resultat = lus > limite ? Lecture::TropGrosse : Lecture::Lue;
    tampon.truncate(qsizetype(std::min(lus, limite)));
    if (etat) {
        *etat = EtatDe(chemin);
        if (resultat == Lecture::Lue && etat->taille != tampon.size())
            etat->taille = -2;
    }
    *contenu = std::move(tampon);
    return resultat;
}
#endif

#ifdef Q_OS_UNIX
bool ParcourtNoms(const QString& dossier, const std::function<void(QByteArrayView)>& voit, QString* raison)
{
    DIR* d = ::opendir(QFile::encodeName(dossier).constData());
    if (!d) {
        *raison = RaisonSysteme(errno);
        return false;
    }
    while (const dirent* e = ::readdir(d))
        voit(QByteArrayView(e->d_name, qsizetype(std::strlen(e->d_name))));
    ::closedir(d);
    return true;
}

bool LitDossier(const QString& dossier, const std::function<bool(const QByteArray&)>& garde,
                const std::function<void(const EntreeDossier&)>& rend, QString* raison)
{
    // Lecture brute du dossier : les noms sont des octets, y compris ceux qui
    // ne sont pas de l'UTF-8 (comptoirs qui écrivent en Windows-1252).
    DIR* d = ::opendir(QFile::encodeName(dossier).constData());
    if (!d) {
        *raison = RaisonSysteme(errno);
        return false;
    }
    const int fd = ::dirfd(d);
    while (const dirent* e = ::readdir(d)) {
        EntreeDossier entree;
        entree.brut = QByteArray(e->d_name);
        if (!garde(entree.brut))
            continue;
        entree.horsUtf8 = !NomUtf8(entree.brut);
        entree.nom = NomDecode(entree.brut);
        // Genre après avoir suivi les liens ; un tube n'est jamais ouvert.
        if (e->d_type != DT_REG && !GenreDansDossier(fd, e->d_name, &entree.genre))
            continue;
        if (entree.horsUtf8 && entree.genre.isEmpty()) {
            struct stat st {};
            entree.homonyme =
                ::fstatat(fd, QFile::encodeName(entree.nom).constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
        }
        rend(entree);
    }
    ::closedir(d);
    return true;
}
#else
// Un dossier qui se lit, ou la raison système de ne pas pouvoir le lire.
static bool DossierLisible(const QString& dossier, QString* raison)
{
    const QFileInfo info(dossier);
    if (info.isDir() && info.isReadable())
        return true;
    *raison = RaisonSysteme(!info.exists() ? ENOENT : !info.isDir() ? ENOTDIR : EACCES);
    return false;
}

bool ParcourtNoms(const QString& dossier, const std::function<void(QByteArrayView)>& voit, QString* raison)
{
    if (!DossierLisible(dossier, raison))
        return false;
    QDirIterator it(dossier, QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        voit(it.fileName().toUtf8());
    }
    return true;
}

bool LitDossier(const QString& dossier, const std::function<bool(const QByteArray&)>& garde,
                const std::function<void(const EntreeDossier&)>& rend, QString* raison)
{
    // Hors Unix les noms sont de l'UTF-16 : le parcours de Qt les donne tous.
    // Fichiers cachés ou système écartés en silence, comme le fait le système.
    if (!DossierLisible(dossier, raison))
        return false;
    QDirIterator it(dossier, QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        EntreeDossier entree;
        entree.nom = it.fileName();
        entree.brut = entree.nom.toUtf8();
        if (!garde(entree.brut))
            continue;
        const QFileInfo info = it.fileInfo();
        if (info.isSymLink() && !info.exists())
            entree.genre = QStringLiteral("lien sans cible");
        else if (info.isDir())
            entree.genre = QStringLiteral("dossier");
        else if (!info.isFile())
            entree.genre = QStringLiteral("fichier spécial");
        else if (info.isHidden())
            continue;
        rend(entree);
    }
    return true;
}
#endif

} // namespace SystemeFichiers
