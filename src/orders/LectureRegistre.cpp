#include "LectureRegistre.h"

#include "orders/LecteurHistorique.h"
#include "orders/RegistreRemises.h"

#include <QSqlQuery>
#include <QVariant>

namespace LectureRegistre {

bool Lit(const QString& chemin, qint64 debutMs, qint64 finMs, QList<RemiseRegistre>* lignes, QString* erreur)
{
    return LecteurHistorique::Interroge(
        chemin,
        QStringLiteral("SELECT fichier, ordre, etat, tiroir, vue_le, debut_le, remise_le, liberee_le, liberation"
                       " FROM remises WHERE COALESCE(remise_le, debut_le) >= ? AND COALESCE(remise_le, debut_le) < ?"),
        { debutMs, finMs },
        [lignes](const QSqlQuery& q) {
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
        },
        erreur);
}

bool CompletDepuis(const QString& chemin, qint64* depuisMs, QString* erreur)
{
    *depuisMs = 0;
    // Un registre d'avant la note n'a pas la table : la lecture seule ne la crée pas.
    bool table = false;
    if (!LecteurHistorique::Interroge(chemin,
                                      QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = "
                                                     "'completude'"),
                                      {}, [&table](const QSqlQuery&) { table = true; }, erreur))
        return false;
    return !table
        || LecteurHistorique::Interroge(
               chemin, QStringLiteral("SELECT MAX(complet_depuis) FROM completude"), {},
               [depuisMs](const QSqlQuery& q) { *depuisMs = q.value(0).toLongLong(); }, erreur);
}

} // namespace LectureRegistre
