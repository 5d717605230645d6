#include "LecteurHistorique.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

// Ce que dit SQLite, sans les mots du pilote de Qt ; un fichier abîmé est nommé ainsi.
QString Raison(const QSqlError& erreur)
{
    const QString texte = erreur.databaseText().isEmpty() ? erreur.text() : erreur.databaseText();
    // SQLITE_CORRUPT, SQLITE_NOTADB
    if (erreur.nativeErrorCode() == QLatin1String("11") || erreur.nativeErrorCode() == QLatin1String("26"))
        return QStringLiteral("fichier abîmé ou qui n'est pas un registre des remises (") + texte + QLatin1Char(')');
    return texte;
}

} // namespace

bool LecteurHistorique::Interroge(const QString& chemin, const QString& requete, const QVariantList& valeurs,
                                  const std::function<void(const QSqlQuery&)>& ligne, QString* erreur)
{
    if (!QFileInfo(chemin).isFile()) {
        *erreur = QStringLiteral("registre introuvable");
        return false;
    }
    static int numero = 0;
    const QString connexion = QStringLiteral("registre-lecture-%1").arg(++numero);
    bool ok = false;
    {
        QSqlDatabase base = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connexion);
        base.setDatabaseName(chemin);
        base.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
        if (!base.open()) {
            *erreur = Raison(base.lastError());
        } else {
            QSqlQuery q(base);
            q.setForwardOnly(true);
            ok = q.prepare(requete);
            for (const QVariant& v : valeurs)
                q.addBindValue(v);
            ok = ok && q.exec();
            if (!ok)
                *erreur = Raison(q.lastError());
            while (ok && q.next())
                ligne(q);
            base.close();
        }
    }
    QSqlDatabase::removeDatabase(connexion);
    return ok;
}

bool LecteurHistorique::Lit(const QString& chemin, qint64 depuisMs, QList<Ligne>* lignes, QString* erreur)
{
    return Interroge(chemin,
                     QStringLiteral("SELECT fichier, ordre, tiroir, etat, vue_le, remise_le, effacee_le, liberee_le,"
                                    " liberation FROM remises WHERE debut_le >= ? ORDER BY debut_le, id"),
                     { depuisMs },
                     [lignes](const QSqlQuery& q) {
                         Ligne l;
                         l.fichier = q.value(0).toString();
                         l.ordre = q.value(1).toString();
                         l.tiroir = q.value(2).toInt();
                         l.etat = q.value(3).toString();
                         l.vueLe = q.value(4).toLongLong();
                         l.remiseLe = q.value(5).toLongLong();
                         l.effaceeLe = q.value(6).toLongLong();
                         l.libereeLe = q.value(7).toLongLong();
                         l.liberation = RegistreRemises::LiberationDeNom(q.value(8).toString());
                         lignes->append(l);
                     },
                     erreur);
}
