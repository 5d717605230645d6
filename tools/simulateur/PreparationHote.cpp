#include "PreparationHote.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

namespace {

QString FichierReglages()
{
    const QString dossier = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return dossier + QStringLiteral("/VB and VBA Program Settings/VBtrevix.conf");
}

// Lit BaseFicDefaut comme le fait le service, sans égard à la casse.
QString ReglageExistant()
{
    QSettings reglages(FichierReglages(), QSettings::IniFormat);
    for (const QString& cle : reglages.allKeys())
        if (cle.compare(QLatin1String("GENERAL/BaseFicDefaut"), Qt::CaseInsensitive) == 0
            || cle.compare(QLatin1String("BaseFicDefaut"), Qt::CaseInsensitive) == 0)
            return reglages.value(cle).toString();
    return QString();
}

} // namespace

QString PrepareInstallationHote(const QString& racine, const QMap<QString, QString>& parametres, QString* erreur)
{
    QString base = ReglageExistant();
    if (base.isEmpty()) {
        base = QDir(racine).absoluteFilePath(QStringLiteral("parametres-hote.db"));
        QDir().mkpath(QFileInfo(FichierReglages()).absolutePath());
        // Écrit à la main, section [GENERAL] comme le fait l'hôte.
        QFile f(FichierReglages());
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            *erreur = QStringLiteral("réglages impossibles à écrire : ") + f.errorString();
            return QString();
        }
        f.write("[GENERAL]\nBaseFicDefaut=" + base.toUtf8() + "\n");
    }

    const QString connexion = QStringLiteral("preparation-hote");
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connexion);
        db.setDatabaseName(base);
        if (!db.open()) {
            *erreur = db.lastError().text();
            ok = false;
        } else {
            QSqlQuery q(db);
            ok = q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS paramINITtrevix (codevariable TEXT, valeur TEXT, "
                                       "Commentaire TEXT, Categorie TEXT, UtilModif TEXT, DateModif TEXT)"));
            for (auto it = parametres.begin(); ok && it != parametres.end(); ++it) {
                QSqlQuery existe(db);
                existe.prepare(QStringLiteral("SELECT COUNT(*) FROM paramINITtrevix WHERE lower(codevariable) = lower(?)"));
                existe.addBindValue(it.key());
                ok = existe.exec() && existe.next();
                if (ok && existe.value(0).toInt() == 0) {
                    QSqlQuery ajout(db);
                    ajout.prepare(QStringLiteral("INSERT INTO paramINITtrevix (codevariable, valeur, Categorie, UtilModif, "
                                                 "DateModif) VALUES (?, ?, 'VBpelorane', 'simulateur', ?)"));
                    ajout.addBindValue(it.key());
                    ajout.addBindValue(it.value());
                    ajout.addBindValue(QDate::currentDate().toString(Qt::ISODate));
                    ok = ajout.exec();
                }
            }
            if (!ok)
                *erreur = q.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connexion);
    return ok ? base : QString();
}
