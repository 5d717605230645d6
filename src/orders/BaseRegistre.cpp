#include "BaseRegistre.h"

#include "base/CheminAffiche.h"
#include "base/JournalStatut.h"
#include "base/Volumes.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

// SQLITE_CORRUPT, SQLITE_NOTADB : le fichier n'est pas (ou plus) une base lisible.
bool EstAbimee(const QSqlError& erreur)
{
    return erreur.nativeErrorCode() == QLatin1String("11") || erreur.nativeErrorCode() == QLatin1String("26");
}

// Périphérique et inode du fichier (0, 0 s'il manque ou n'est pas un fichier).
QPair<quint64, quint64> IdentiteDe(const QString& chemin)
{
#ifdef Q_OS_UNIX
    struct stat st {};
    if (::stat(QFile::encodeName(chemin).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return { 0, 0 };
    return { quint64(st.st_dev), quint64(st.st_ino) };
#else
    // Windows refuse d'effacer un fichier que SQLite tient ouvert : seule sa
    // présence est vérifiée.
    return QFileInfo(chemin).isFile() ? QPair<quint64, quint64>(1, 1) : QPair<quint64, quint64>(0, 0);
#endif
}

} // namespace

BaseRegistre::BaseRegistre(JournalStatut& journal)
    : m_journal(journal)
{
    static int numero = 0;
    m_connexion = QStringLiteral("registre-remises-%1").arg(++numero);
}

BaseRegistre::~BaseRegistre()
{
    Ferme();
}

QSqlDatabase BaseRegistre::Base() const
{
    return QSqlDatabase::database(m_connexion, false);
}

void BaseRegistre::Ferme()
{
    m_ouverte = false;
    if (QSqlDatabase::contains(m_connexion)) {
        QSqlDatabase::database(m_connexion, false).close();
        QSqlDatabase::removeDatabase(m_connexion);
    }
}

void BaseRegistre::FermeALArret()
{
    if (m_chemin.isEmpty())
        return;
    if (!m_ouverte && QFileInfo(m_chemin).isFile()) {
        // Fermée par une panne : une connexion le temps de la bascule. Restée en
        // WAL, la base ferait laisser -wal et -shm à la prochaine lecture seule.
        QSqlDatabase base = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connexion);
        base.setDatabaseName(m_chemin);
        base.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=1000"));
        m_ouverte = base.open();
    }
    if (m_ouverte) {
        // Échec sans conséquence (une lecture en cours tient la base) : le -wal
        // reste, comme avant.
        QSqlQuery q(Base());
        q.exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
    }
    Ferme();
}

bool BaseRegistre::ToujoursAuChemin() const
{
    return IdentiteDe(m_chemin) == m_identite;
}

bool BaseRegistre::Ouvre(const QString& chemin, const QString& racine, qint64 maintenantMural, QString* erreur)
{
    Ferme();
    m_chemin = chemin;
    m_autreRacine.clear();
    m_reseau.clear();
    if (Volumes::SurPartageReseau(chemin, &m_reseau) && !m_reseauSignale) {
        m_reseauSignale = true;
        m_journal.MessageStatus(QStringLiteral("registre des remises ") + CheminAffiche(chemin)
                                + QStringLiteral(" sur un partage reseau (") + m_reseau
                                + QStringLiteral(") : journal classique (DELETE) au lieu du WAL, qui demande une "
                                                 "memoire partagee que le partage ne donne pas"));
    }
    {
        QSqlDatabase base = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connexion);
        base.setDatabaseName(chemin);
        // Une base tenue par un autre programme ne doit pas figer la fenêtre longtemps.
        base.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=1000"));
        if (!QFileInfo(QFileInfo(chemin).absolutePath()).isDir())
            *erreur = QStringLiteral("dossier absent");
        else if (!base.open())
            *erreur = base.lastError().text();
        else
            m_ouverte = true;
    }
    bool abimee = false;
    if (m_ouverte && !CreeTable(erreur, &abimee))
        Ferme();
    if (abimee && MetDeCote(*erreur, maintenantMural))
        return Ouvre(chemin, racine, maintenantMural, erreur); // une fois : le fichier abîmé n'est plus là
    if (m_ouverte && !VerifieRacine(racine, erreur))
        Ferme();
    if (m_ouverte)
        m_identite = IdentiteDe(chemin);
    return m_ouverte;
}

bool BaseRegistre::CreeTable(QString* erreur, bool* abimee)
{
    // WAL : l'historique se lit pendant que le service écrit. FULL : chaque
    // validation est sur disque avant l'étape suivante de la remise. Sur un partage
    // réseau, le WAL ne marche pas (mémoire partagée entre processus par -shm) :
    // journal classique, une lecture y attend la fin d'une écriture.
    const QString journal = m_reseau.isEmpty() ? QStringLiteral("wal") : QStringLiteral("delete");
    QSqlQuery q(Base());
    const bool ok = q.exec(QStringLiteral("PRAGMA journal_mode=") + journal) && q.next()
        && q.value(0).toString().compare(journal, Qt::CaseInsensitive) == 0
        && q.exec(QStringLiteral("PRAGMA synchronous=FULL"))
        && q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS remises ("
                                 " id INTEGER PRIMARY KEY AUTOINCREMENT,"
                                 " fichier TEXT NOT NULL,"
                                 " taille INTEGER NOT NULL,"
                                 " sha256 TEXT NOT NULL,"
                                 " sha256_copie TEXT NOT NULL,"
                                 " ordre TEXT NOT NULL DEFAULT '',"
                                 " tiroir INTEGER NOT NULL,"
                                 " etat TEXT NOT NULL,"
                                 " vue_le INTEGER,"
                                 " debut_le INTEGER NOT NULL,"
                                 " remise_le INTEGER,"
                                 " effacee_le INTEGER,"
                                 " liberee_le INTEGER,"
                                 " liberation TEXT NOT NULL DEFAULT '')"))
        && q.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS remises_etat ON remises (etat)"))
        && q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS proprietaire (racine TEXT NOT NULL)"))
        // Jusqu'où le registre est complet : la purge y note sa limite avant de
        // retirer des lignes (une ligne au plus ; absente : rien n'a été purgé).
        && q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS completude (complet_depuis INTEGER NOT NULL)"))
        && q.exec(QStringLiteral("PRAGMA quick_check")) && q.next();
    if (ok && q.value(0).toString() != QLatin1String("ok")) {
        // Le détail de quick_check (pages, arbres) ne dit rien à l'opérateur.
        *erreur = QStringLiteral("database disk image is malformed");
        *abimee = true;
        return false;
    }
    if (!ok) {
        *erreur = q.lastError().databaseText();
        if (erreur->trimmed().isEmpty())
            *erreur = QStringLiteral("journal ") + journal.toUpper() + QStringLiteral(" refusé");
        *abimee = EstAbimee(q.lastError());
    }
    return ok;
}

bool BaseRegistre::MetDeCote(const QString& erreur, qint64 maintenantMural)
{
    // Un registre abîmé ne protège plus rien : il est gardé à part (pour qui voudra
    // l'examiner) sous un nom daté, et un registre neuf le remplace.
    const QString aPart = m_chemin + QStringLiteral(".abime-")
        + QDateTime::fromMSecsSinceEpoch(maintenantMural).toString(QStringLiteral("yyyyMMdd-HHmmss"));
    if (!QFile::rename(m_chemin, aPart))
        return false;
    for (const QString& suffixe : { QStringLiteral("-wal"), QStringLiteral("-shm") })
        if (QFileInfo::exists(m_chemin + suffixe))
            QFile::rename(m_chemin + suffixe, aPart + suffixe);
    m_journal.MessageStatus(QStringLiteral("registre des remises illisible (") + CheminAffiche(m_chemin)
                            + QStringLiteral(" : ") + erreur + QStringLiteral(") : mis de cote sous ")
                            + CheminAffiche(aPart) + QStringLiteral(" ; un nouveau registre commence"));
    return true;
}

bool BaseRegistre::VerifieRacine(const QString& racine, QString* erreur)
{
    if (racine.isEmpty())
        return true;
    // Deux services sur deux racines qui partageraient un registre adopteraient
    // chacun les tiroirs en vol de l'autre : le premier qui l'a créé le garde.
    QSqlQuery q(Base());
    if (!q.exec(QStringLiteral("SELECT racine FROM proprietaire LIMIT 1"))) {
        *erreur = q.lastError().databaseText();
        return false;
    }
    if (q.next()) {
        const QString proprietaire = q.value(0).toString();
        // Le même dossier atteint par un autre chemin (lien, casse sous Windows,
        // lecteur réseau contre chemin UNC) est la même racine : c'est l'identité
        // du dossier qui compte, pas son texte. Un ancien chemin qui n'existe plus
        // ne prouve rien : refusé.
        if (proprietaire != racine && !Volumes::MemeDossier(proprietaire, racine))
            m_autreRacine = proprietaire;
        return m_autreRacine.isEmpty();
    }
    q.prepare(QStringLiteral("INSERT INTO proprietaire (racine) VALUES (?)"));
    q.addBindValue(racine);
    if (!q.exec()) {
        *erreur = q.lastError().databaseText();
        return false;
    }
    return true;
}
