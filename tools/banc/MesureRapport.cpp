#include "MesureRapport.h"

#include "base/JournalStatut.h"
#include "orders/RegistreRemises.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariantList>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int Lignes = 100000;
constexpr int Jours = 30;
const QDate Premier(2026, 11, 1);

// Le registre tel que RegistreRemises le crée, puis 100 000 remises réparties sur le
// mois (d'après le tirage fixe : les mesures se comparent d'un passage à l'autre).
bool Remplit(const QString& chemin)
{
    {
        JournalStatut journal;
        RegistreRemises registre(journal);
        registre.MetHorlogeMurale([] { return Premier.startOfDay().toMSecsSinceEpoch(); });
        if (!registre.Ouvre(chemin))
            return false;
    }
    bool ok = false;
    {
        QSqlDatabase base = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("banc-rapport"));
        base.setDatabaseName(chemin);
        QRandomGenerator tirage(18);
        const qint64 debut = Premier.startOfDay().toMSecsSinceEpoch();
        const qint64 pas = qint64(Jours) * 24 * 3600 * 1000 / Lignes;
        const char* causes[] = { "datagramme", "datagramme", "datagramme", "temps", "clic", "tous" };
        QVariantList fichiers, ordres, tiroirs, etats, vues, remises, liberees, liberations;
        for (int i = 0; i < Lignes; ++i) {
            const qint64 remise = debut + i * pas;
            fichiers << QStringLiteral("CD%1.txt").arg(i, 6, 10, QLatin1Char('0'));
            ordres << QStringLiteral("%1").arg(i, 8, 10, QLatin1Char('0'));
            tiroirs << 1 + int(tirage.bounded(8));
            etats << (i % 50 == 0 ? QStringLiteral("mise_de_cote") : QStringLiteral("effacee"));
            vues << remise - 500 - qint64(tirage.bounded(120000));
            remises << remise;
            liberees << remise + 3000 + qint64(tirage.bounded(60000));
            liberations << QString::fromLatin1(causes[tirage.bounded(6)]);
        }
        QSqlQuery q(base);
        ok = base.open() && base.transaction()
            && q.prepare(QStringLiteral("INSERT INTO remises (fichier, taille, sha256, sha256_copie, ordre, tiroir, etat,"
                                        " vue_le, debut_le, remise_le, liberee_le, liberation)"
                                        " VALUES (?, 100, 'x', 'y', ?, ?, ?, ?, ?, ?, ?, ?)"));
        if (ok) {
            for (const QVariantList& colonne : { fichiers, ordres, tiroirs, etats, vues, remises, remises, liberees,
                                                 liberations })
                q.addBindValue(colonne);
            ok = q.execBatch() && base.commit();
        }
        base.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("banc-rapport"));
    return ok;
}

} // namespace

bool MesureRapport(const QString& pelorane, const QString& dossier)
{
    QDir().mkpath(dossier);
    const QString registre = dossier + QStringLiteral("/registre.db");
    if (!Remplit(registre)) {
        std::printf("rapport d'un mois : registre de %d lignes impossible à remplir\n", Lignes);
        return false;
    }
    std::vector<double> durees;
    for (int essai = 0; essai < 3; ++essai) {
        QProcess p;
        QElapsedTimer chrono;
        chrono.start();
        p.start(pelorane, { QStringLiteral("--registre"), registre, QStringLiteral("--rapport"), QStringLiteral("--du"),
                            Premier.toString(Qt::ISODate), QStringLiteral("--au"),
                            Premier.addDays(Jours - 1).toString(Qt::ISODate), QStringLiteral("--pdf"),
                            dossier + QStringLiteral("/mois.pdf") });
        if (!p.waitForFinished(60000) || p.exitCode() != 0) {
            std::printf("rapport d'un mois : pelorane --rapport en échec (%s)\n",
                        p.readAllStandardError().trimmed().constData());
            return false;
        }
        durees.push_back(double(chrono.elapsed()));
    }
    std::sort(durees.begin(), durees.end());
    std::printf("%-62s %9.0f ms %9.0f ms\n", "rapport d'un mois, 100 000 lignes (3 essais : médiane, pire)",
                durees[1], durees[2]);
    return true;
}
