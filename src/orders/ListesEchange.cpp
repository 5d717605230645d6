#include "ListesEchange.h"

#include "base/Horloge.h"
#include "base/CheminAffiche.h"
#include "base/JournalStatut.h"
#include "config/Configuration.h"
#include "config/PageDeCode.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Au plus ce nombre de commandes relevées (taille, date) par passe : la
// suivante à partir est déjà vue stable quand la précédente part, sans relire
// des milliers de fichiers à chaque passe.
constexpr int ObservationsParPasse = 16;

// Ordre des listes : par nom sans égard à la casse ; deux noms qui ne diffèrent
// que par la casse (possible hors Windows) gardent un ordre fixe.
bool AvantDansLaListe(const QString& a, const QString& b)
{
    const int c = a.compare(b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
}

enum class Sorte { Autre, Commande, Retour };

// "CD*.txt" et "RT*.txt" sans égard à la casse, sur les octets du nom.
Sorte SorteDuNom(const QByteArray& nom)
{
    if (nom.size() < 6 || nom.right(4).toLower() != ".txt")
        return Sorte::Autre;
    const QByteArray debut = nom.left(2).toUpper();
    if (debut == "CD")
        return Sorte::Commande;
    if (debut == "RT")
        return Sorte::Retour;
    return Sorte::Autre;
}

QString NomDuChemin(const QString& chemin)
{
    return chemin.mid(chemin.lastIndexOf(QLatin1Char('/')) + 1);
}

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

// Octets du chemin pour le système. Un nom listé hors UTF-8 est montré décodé
// en Windows-1252 ; on retrouve ses octets en le réencodant, quand le nom UTF-8
// n'existe pas (la relecture du dossier écarte les homonymes).
QByteArray CheminSysteme(const QString& chemin)
{
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
#endif

} // namespace

ListesEchange::ListesEchange(JournalStatut& journal, Horloge& horloge,
                             const Configuration& configuration,
                             std::function<QByteArray(const QString&, const QString&)> aux,
                             QObject* parent)
    : QObject(parent)
    , m_journal(journal)
    , m_horloge(horloge)
    , m_configuration(configuration)
    , m_aux(std::move(aux))
{
}

QString ListesEchange::OctetsLisibles(const QByteArray& octets)
{
    QString texte;
    for (const char c : octets) {
        const uchar o = uchar(c);
        if (o >= 0x20 && o < 0x7F)
            texte += QLatin1Char(c);
        else
            texte += QStringLiteral("<%1>").arg(o, 2, 16, QLatin1Char('0')).toUpper();
    }
    return texte;
}

void ListesEchange::SignaleAccesDossier(bool accessible)
{
    if (accessible == m_dossierAccessible)
        return;
    m_dossierAccessible = accessible;
    // Une seule ligne par changement : la relecture a lieu à chaque passe.
    m_journal.MessageStatus(accessible
                                ? QStringLiteral("dossier d'echange de nouveau accessible: ")
                                      + m_configuration.DossierEchange
                                : QStringLiteral("dossier d'echange inaccessible: ")
                                      + m_configuration.DossierEchange);
}

void ListesEchange::SignaleIgnoree(QSet<QString>& vues, const QString& cle, const QString& texte)
{
    vues.insert(cle);
    if (!m_ignorees.contains(cle))
        m_journal.MessageStatus(texte);
}

void ListesEchange::LitDossier(QStringList* commandes, QStringList* retours)
{
    const QString& dossier = m_configuration.DossierEchange;
    SignaleAccesDossier(QFileInfo(dossier).isDir());
    commandes->reserve(m_releveCD.ordreDossier.size());
    QSet<QString> vues;
    auto ignore = [&](const QString& nom, const QString& genre) {
        SignaleIgnoree(vues, genre + QLatin1Char('|') + nom,
                       QStringLiteral("fichier ignoré (") + genre
                           + QStringLiteral(", pas un fichier ordinaire) : ") + CheminAffiche(dossier + nom));
    };
    auto prend = [&](Sorte sorte, const QString& nom) {
        (sorte == Sorte::Commande ? commandes : retours)->append(nom);
    };

#ifdef Q_OS_UNIX
    // Lecture brute du dossier : les noms sont des octets, y compris ceux qui
    // ne sont pas de l'UTF-8 (comptoirs qui écrivent en Windows-1252).
    DIR* d = ::opendir(QFile::encodeName(dossier).constData());
    if (!d) {
        m_ignorees.clear();
        return;
    }
    const int fd = ::dirfd(d);
    while (const dirent* e = ::readdir(d)) {
        const QByteArray brut(e->d_name);
        const Sorte sorte = SorteDuNom(brut);
        if (sorte == Sorte::Autre)
            continue;
        QString nom = QFile::decodeName(brut);
        const bool utf8 = NomUtf8(brut);
        if (!utf8)
            nom = DecodeWindows1252(brut);

        // Genre après avoir suivi les liens ; un tube n'est jamais ouvert.
        QString genre;
        if (e->d_type != DT_REG) {
            struct stat st {};
            struct stat lien {};
            const bool estLien = ::fstatat(fd, e->d_name, &lien, AT_SYMLINK_NOFOLLOW) == 0
                && S_ISLNK(lien.st_mode);
            if (::fstatat(fd, e->d_name, &st, 0) != 0) {
                if (!estLien)
                    continue; // parti entre la lecture du dossier et ici
                genre = QStringLiteral("lien sans cible");
            } else if (!S_ISREG(st.st_mode)) {
                genre = GenreDe(st.st_mode);
                if (estLien)
                    genre = (S_ISSOCK(st.st_mode) ? QStringLiteral("lien vers une ") : QStringLiteral("lien vers un "))
                        + genre;
            }
        }
        if (!genre.isEmpty()) {
            ignore(nom, genre);
            continue;
        }
        if (!utf8) {
            // Montré et lancé sous son nom lu en Windows-1252, sauf si ce nom
            // existe déjà en UTF-8 : on ne saurait plus lequel des deux ouvrir.
            struct stat st {};
            const bool homonyme = ::fstatat(fd, QFile::encodeName(nom).constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
            SignaleIgnoree(vues, QStringLiteral("nom|") + nom + QString::number(homonyme),
                           QStringLiteral("nom de fichier hors UTF-8 : ") + CheminAffiche(dossier) + OctetsLisibles(brut)
                               + (homonyme ? QStringLiteral(", homonyme de ") + nom
                                          + QStringLiteral(" : il n'est pas pris, renommez-le")
                                           : QStringLiteral(", lu en Windows-1252 : ") + nom));
            if (homonyme)
                continue;
        }
        prend(sorte, nom);
    }
    ::closedir(d);
#else
    // Hors Unix les noms sont de l'UTF-16 : le parcours de Qt les donne tous.
    // Fichiers cachés ou système écartés en silence, comme le fait le système.
    QDirIterator it(dossier, QStringList{ QStringLiteral("CD*.txt"), QStringLiteral("RT*.txt") },
                    QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        const QString nom = it.fileName();
        const Sorte sorte = SorteDuNom(nom.toUtf8());
        if (sorte == Sorte::Autre)
            continue;
        if (info.isSymLink() && !info.exists())
            ignore(nom, QStringLiteral("lien sans cible"));
        else if (info.isDir())
            ignore(nom, QStringLiteral("dossier"));
        else if (!info.isFile())
            ignore(nom, QStringLiteral("fichier spécial"));
        else if (!info.isHidden())
            prend(sorte, nom);
    }
#endif
    m_ignorees = std::move(vues);
}

bool ListesEchange::MetAJour(Releve& releve, QStringList ordreDossier)
{
    // Dossier inchangé (mêmes noms dans le même ordre) : ni tri ni reconstruction.
    // Une passe sur des milliers de fichiers en attente reste ainsi linéaire.
    if (ordreDossier == releve.ordreDossier)
        return false;
    releve.ordreDossier = ordreDossier;

    std::sort(ordreDossier.begin(), ordreDossier.end(), AvantDansLaListe);
    if (ordreDossier == releve.trie)
        return false;
    releve.trie = std::move(ordreDossier);
    return true;
}

void ListesEchange::MAJlisteFichierCD()
{
    const qsizetype avant = m_releveCD.trie.size();
    QStringList commandes;
    m_retoursLus.clear();
    LitDossier(&commandes, &m_retoursLus);
    m_retoursEnAttente = true;
    if (MetAJour(m_releveCD, std::move(commandes))) {
        // Un fichier écarté qui a quitté le dossier n'est plus écarté : un
        // nouveau fichier du même nom est une nouvelle commande. Son relevé
        // part avec lui.
        const QSet<QString> presents(m_releveCD.trie.cbegin(), m_releveCD.trie.cend());
        m_ecartes.removeIf([&](const auto& it) { return !presents.contains(it.key()); });
        m_observations.removeIf([&](const auto& it) { return !presents.contains(it.key()); });
        emit listeCDChangee(m_releveCD.trie);
    }
    const qsizetype apres = m_releveCD.trie.size();
    if (apres != avant && m_aux)
        m_aux(QStringLiteral("8"), apres == 0 ? QStringLiteral("OFF") : QStringLiteral("ON"));
    m_horloge.Cede();
}

void ListesEchange::MAJlisteFichierRT()
{
    QStringList retours;
    if (m_retoursEnAttente) {
        // Lus à la relecture des commandes, une cession plus tôt.
        retours = std::move(m_retoursLus);
        m_retoursLus.clear();
        m_retoursEnAttente = false;
    } else {
        QStringList commandes;
        LitDossier(&commandes, &retours);
    }
    if (MetAJour(m_releveRT, std::move(retours)))
        emit listeRTChangee(m_releveRT.trie);
    m_horloge.Cede();
}

ListesEchange::Empreinte ListesEchange::EmpreinteDe(const QString& chemin)
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

QString ListesEchange::GenreEntree(const QString& chemin)
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
    if (!S_ISLNK(lien.st_mode))
        return GenreDe(st.st_mode);
    return (S_ISSOCK(st.st_mode) ? QStringLiteral("lien vers une ") : QStringLiteral("lien vers un "))
        + GenreDe(st.st_mode);
#else
    const QFileInfo info(chemin);
    if (info.isSymLink() && !info.exists())
        return QStringLiteral("lien sans cible");
    if (!info.exists() || info.isFile())
        return QString();
    return info.isDir() ? QStringLiteral("dossier") : QStringLiteral("fichier spécial");
#endif
}

bool ListesEchange::Existe(const QString& chemin)
{
#ifdef Q_OS_UNIX
    struct stat st {};
    return ::lstat(CheminSysteme(chemin).constData(), &st) == 0;
#else
    const QFileInfo info(chemin);
    return info.exists() || info.isSymLink();
#endif
}

bool ListesEchange::Supprime(const QString& chemin)
{
#ifdef Q_OS_UNIX
    return ::unlink(CheminSysteme(chemin).constData()) == 0;
#else
    return QFile::remove(chemin);
#endif
}

ListesEchange::Lecture ListesEchange::LitBorne(const QString& chemin, qint64 limite, QByteArray* contenu,
                                               Empreinte* empreinte)
{
    contenu->clear();
#ifdef Q_OS_UNIX
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
    Lecture resultat = Lecture::Lue;
    struct stat avant {};
    if (::fstat(fd, &avant) != 0 || !S_ISREG(avant.st_mode)) {
        ::close(fd);
        return Lecture::PasOrdinaire;
    }
    QByteArray tampon(qsizetype(std::min<qint64>(limite + 1, qint64(avant.st_size) + 1)), Qt::Uninitialized);
    qint64 lus = 0;
    for (;;) {
        if (lus == tampon.size()) {
            if (lus > limite)
                break;
            tampon.resize(qsizetype(std::min<qint64>(limite + 1, lus * 2 + 4096)));
        }
        const ssize_t n = ::read(fd, tampon.data() + lus, size_t(tampon.size() - lus));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            resultat = Lecture::Illisible;
            break;
        }
        if (n == 0)
            break;
        lus += n;
    }
    struct stat apres {};
    const bool stable = ::fstat(fd, &apres) == 0 && apres.st_size == avant.st_size
        && ModificationNs(apres) == ModificationNs(avant);
    ::close(fd);
    if (resultat != Lecture::Lue)
        return resultat;
    if (lus > limite) {
        tampon.truncate(qsizetype(limite));
        resultat = Lecture::TropGrosse;
    } else {
        tampon.truncate(qsizetype(lus));
    }
    if (empreinte) {
        // Un fichier qui a changé pendant la lecture, ou dont on n'a pas lu la
        // taille annoncée, n'a pas d'empreinte sûre : -2 ne ressemble à aucune.
        *empreinte = { qint64(apres.st_size), ModificationNs(apres) };
        if (!stable || (resultat == Lecture::Lue && lus != qint64(apres.st_size)))
            empreinte->taille = -2;
    }
    *contenu = std::move(tampon);
    return resultat;
#else
    const QFileInfo info(chemin);
    if (!info.exists())
        return info.isSymLink() ? Lecture::PasOrdinaire : Lecture::Absente;
    if (!info.isFile())
        return Lecture::PasOrdinaire;
    QFile fichier(chemin);
    if (!fichier.open(QIODevice::ReadOnly))
        return fichier.exists() ? Lecture::Illisible : Lecture::Absente;
    QByteArray tampon = fichier.read(limite + 1);
    if (fichier.error() != QFileDevice::NoError)
        return Lecture::Illisible;
    fichier.close();
    Lecture resultat = Lecture::Lue;
    if (tampon.size() > limite) {
        tampon.truncate(qsizetype(limite));
        resultat = Lecture::TropGrosse;
    }
    if (empreinte) {
        *empreinte = EmpreinteDe(chemin);
        if (resultat == Lecture::Lue && empreinte->taille != tampon.size())
            empreinte->taille = -2;
    }
    *contenu = std::move(tampon);
    return resultat;
#endif
}

bool ListesEchange::EstStable(const QString& nom, const QString& chemin)
{
    const Empreinte empreinte = EmpreinteDe(chemin);
    const qint64 maintenant = m_horloge.get_exact_milli_second();
    const auto it = m_observations.constFind(nom);
    if (it == m_observations.constEnd() || it->empreinte != empreinte) {
        // Première vue, ou changée depuis : un comptoir l'écrit peut-être encore.
        // Une date ancienne ne prouve rien (une copie garde celle de sa source).
        m_observations.insert(nom, { empreinte, maintenant });
        return false;
    }
    return empreinte.taille >= 0 && maintenant - it->depuis >= DelaiStabiliteMs;
}

QString ListesEchange::RechFichierCdeEnAttente(const QSet<QString>& aEviter)
{
    int releves = 0;
    for (const QString& nom : std::as_const(m_releveCD.trie)) {
        const QString chemin = m_configuration.DossierEchange + nom;
        const auto ecart = m_ecartes.constFind(nom);
        if (ecart != m_ecartes.constEnd()) {
            // Seuls les fichiers écartés sont relus (rares) : la passe reste légère.
            if (EmpreinteDe(chemin) == ecart.value())
                continue;
            m_ecartes.erase(ecart);
        }
        if (aEviter.contains(chemin))
            continue;
        if (releves++ >= ObservationsParPasse)
            break;
        if (EstStable(nom, chemin))
            return chemin;
    }
    return QString();
}

ListesEchange::Lecture ListesEchange::LitCommande(const QString& cheminComplet, QByteArray* contenu)
{
    Empreinte empreinte;
    const Lecture lecture = LitBorne(cheminComplet, TailleMaxCommande, contenu, &empreinte);
    if (lecture != Lecture::Lue)
        return lecture;
    // Les octets lus doivent être ceux du relevé qui a dit la commande stable.
    const QString nom = NomDuChemin(cheminComplet);
    const auto it = m_observations.constFind(nom);
    if (it == m_observations.constEnd() || it->empreinte != empreinte) {
        m_observations.insert(nom, { empreinte, m_horloge.get_exact_milli_second() });
        contenu->clear();
        return Lecture::EnCours;
    }
    return Lecture::Lue;
}

void ListesEchange::EcarteFichierCde(const QString& cheminComplet)
{
    const QString& dossier = m_configuration.DossierEchange;
    const QString nom = cheminComplet.startsWith(dossier) ? cheminComplet.mid(dossier.size())
                                                          : NomDuChemin(cheminComplet);
    m_ecartes.insert(nom, EmpreinteDe(dossier + nom));
}
