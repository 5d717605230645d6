#include "LectureRegistre.h"

#include "orders/RegistreRemises.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace LectureRegistre {

bool Lit(const QString& chemin, qint64 debutMs, qint64 finMs, QList<RemiseRegistre>* lignes, QString* erreur)
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
            *erreur = base.lastError().text();
        } else {
            QSqlQuery q(base);
            q.setForwardOnly(true);
            q.prepare(QStringLiteral("SELECT fichier, ordre, etat, tiroir, vue_le, debut_le, remise_le, liberee_le,"
                                     " liberation FROM remises WHERE COALESCE(remise_le, debut_le) >= ?"
                                     " AND COALESCE(remise_le, debut_le) < ?"));
            q.addBindValue(debutMs);
            q.addBindValue(finMs);
            ok = q.exec();
            if (!ok)
                *erreur = q.lastError().text();
            while (ok && q.next()) {
                RemiseRegistre l;
                l.fichier = q.value(0).toString();
                l.ordre = q.value(1).toString();
                l.etat = q.value(2).toString();
                l.tiroir = q.value(3).toInt();
                l.vueLe = q.value(4).toLongLong();
                l.debutLe = q.value(5).toLongLong();
                l.remiseLe = q.value(6).toLongLong();
                l.libereeLe = q.value(7).toLongLong();
                l.liberation = RegistreRemises::LiberationDeNom(q.value(8).toString());
                lignes->append(l);
            }
            base.close();
        }
    }
    QSqlDatabase::removeDatabase(connexion);
    return ok;
}

} // namespace LectureRegistre
