#include "MagasinParametres.h"

#include "base/JournalStatut.h"

#include <QAtomicInt>
#include <QDate>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

const QString MagasinParametres::NomTable = QStringLiteral("paramINITtrevix");

namespace {
QAtomicInt compteurConnexions;

// Mot de passe de la base du programme hôte.
const QString MotDePasseBase = QStringLiteral("KRVNOTSM52817");

bool EstBaseAccess(const QString& chemin)
{
    return chemin.endsWith(QLatin1String(".mdb"), Qt::CaseInsensitive)
        || chemin.endsWith(QLatin1String(".accdb"), Qt::CaseInsensitive);
}

// Le nom de table vient du programme lui-même ; on le vérifie tout de même avant de
// l'écrire dans le texte SQL (les valeurs, elles, sont toujours liées).
bool EstNomSur(const QString& nom)
{
    if (nom.isEmpty())
        return false;
    for (QChar c : nom)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('_'))
            return false;
    return true;
}

// Le texte propre du pilote ("database is locked"), sans la phrase que Qt ajoute.
QString TexteDuPilote(const QSqlError& e)
{
    const QString texte = e.databaseText().trimmed();
    return texte.isEmpty() ? e.text() : texte;
}

// SQLITE_BUSY (5) et SQLITE_LOCKED (6) : un autre programme tient la base.
bool EstVerrou(const QSqlError& e)
{
    return e.nativeErrorCode() == QLatin1String("5") || e.nativeErrorCode() == QLatin1String("6");
}
} // namespace

MagasinParametres::MagasinParametres(JournalStatut& journal)
    : m_journal(journal)
    , m_nomConnexion(QStringLiteral("parametres-%1").arg(compteurConnexions.fetchAndAddRelaxed(1)))
{
}

MagasinParametres::~MagasinParametres()
{
    Ferme();
}

bool MagasinParametres::Ouvre(const QString& BaseFic, QString* erreur)
{
    // Premier essai sans attendre : une base tenue par l'hôte donne tout de suite son
    // erreur ; on l'écrit une fois, puis on rouvre avec une attente du verrou.
    QString texteErreur;
    Resultat r = EssaieOuvrir(BaseFic, 0, &texteErreur);
    if (r == Resultat::Verrouillee) {
        m_journal.MessageStatus(QStringLiteral("base %1 verrouillee par un autre programme (%2) : nouvel essai "
                                               "pendant %3 s")
                                    .arg(BaseFic, texteErreur, QString::number(m_attenteVerrouMs / 1000.0)));
        r = EssaieOuvrir(BaseFic, m_attenteVerrouMs, &texteErreur);
    }
    if (r != Resultat::Ouverte) {
        if (erreur)
            *erreur = texteErreur;
        Ferme();
        return false;
    }
    return true;
}

MagasinParametres::Resultat MagasinParametres::EssaieOuvrir(const QString& BaseFic, int attenteVerrouMs,
                                                             QString* erreur)
{
    Ferme();
    QSqlDatabase base;
    const bool sqlite = !EstBaseAccess(BaseFic);
    if (!sqlite) {
        const QString pilote = qEnvironmentVariable(
            "PELORANE_PILOTE_ODBC", QStringLiteral("Microsoft Access Driver (*.mdb, *.accdb)"));
        base = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), m_nomConnexion);
        // DBQ pour le pilote Access, Database pour le pilote SQLite de secours.
        base.setDatabaseName(QStringLiteral("DRIVER={%1};DBQ=%2;Database=%2;UID=admin;PWD=%3;")
                                 .arg(pilote, BaseFic, MotDePasseBase));
    } else {
        base = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_nomConnexion);
        base.setDatabaseName(BaseFic);
        // SQLite attend lui-même le verrou, sans rendre la main, au plus ce délai.
        base.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(attenteVerrouMs));
    }
    if (!base.open()) {
        *erreur = TexteDuPilote(base.lastError());
        return EstVerrou(base.lastError()) ? Resultat::Verrouillee : Resultat::Erreur;
    }

    // La liste des tables est lue par une vraie requête : QSqlDatabase::tables() rend
    // une liste vide sur une base verrouillée, qu'on prendrait pour une table absente.
    QStringList tables;
    if (sqlite) {
        QSqlQuery q(base);
        if (!q.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'"))) {
            *erreur = TexteDuPilote(q.lastError());
            return EstVerrou(q.lastError()) ? Resultat::Verrouillee : Resultat::Erreur;
        }
        while (q.next())
            tables << q.value(0).toString();
    } else {
        tables = base.tables();
        if (tables.isEmpty() && base.lastError().isValid()) {
            *erreur = TexteDuPilote(base.lastError());
            return Resultat::Erreur;
        }
    }
    for (const QString& table : tables)
        if (table.compare(NomTable, Qt::CaseInsensitive) == 0)
            return Resultat::Ouverte;
    *erreur = QStringLiteral("la table %1 est absente").arg(NomTable);
    return Resultat::Erreur;
}

void MagasinParametres::Ferme()
{
    if (!QSqlDatabase::contains(m_nomConnexion))
        return;
    {
        QSqlDatabase base = QSqlDatabase::database(m_nomConnexion, false);
        base.close();
    }
    QSqlDatabase::removeDatabase(m_nomConnexion);
}

QString MagasinParametres::LitParametre(const QString& table, const QString& cle, const QString& defaut,
                                        const QString& categorie, const QString& commentaire)
{
    QSqlDatabase base = QSqlDatabase::database(m_nomConnexion, false);
    if (!base.isOpen() || !EstNomSur(table)) {
        m_journal.MessageStatus(QStringLiteral("base non ouverte : la valeur par defaut de %1 est utilisee")
                                    .arg(cle));
        return defaut;
    }

    // La comparaison des clés ignore la casse, comme le moteur du programme hôte ;
    // la table est petite, on la parcourt ici plutôt que de dépendre des fonctions
    // de texte de chaque pilote.
    {
        QSqlQuery lecture(base);
        lecture.setForwardOnly(true);
        if (lecture.exec(QStringLiteral("SELECT codevariable, valeur FROM %1").arg(table))) {
            while (lecture.next()) {
                if (lecture.value(0).toString().compare(cle, Qt::CaseInsensitive) != 0)
                    continue;
                const QVariant valeur = lecture.value(1);
                return valeur.isNull() ? QString() : valeur.toString();
            }
        } else {
            m_journal.MessageStatus(QStringLiteral("erreur de lecture de la cle %1 : %2")
                                        .arg(cle, lecture.lastError().text()));
            return defaut;
        }
    }

    QSqlQuery ajout(base);
    ajout.prepare(QStringLiteral("INSERT INTO %1 (codevariable, valeur, Commentaire, Categorie, "
                                 "UtilModif, DateModif) VALUES (?, ?, ?, ?, ?, ?)")
                      .arg(table));
    ajout.addBindValue(cle);
    ajout.addBindValue(defaut);
    ajout.addBindValue(commentaire.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(commentaire));
    ajout.addBindValue(categorie.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(categorie));
    ajout.addBindValue(QStringLiteral("defaut"));
    ajout.addBindValue(QDate::currentDate().toString(Qt::ISODate));
    if (!ajout.exec())
        m_journal.MessageStatus(QStringLiteral("impossible d'ajouter la cle %1 dans la base : %2"
                                               " (valeur par defaut utilisee)")
                                    .arg(cle, ajout.lastError().text()));
    return defaut;
}
