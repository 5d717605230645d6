#include "JourneeEssai.h"

#include "HorlogeTest.h"
#include "base/JournalStatut.h"
#include "orders/RegistreRemises.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>

namespace JourneeEssai {

namespace {

using Cause = TableauTiroirs::CauseLiberation;

QByteArray Commande(const char* ordre)
{
    return QByteArray("protocol: CDE\r\nordre:    ") + ordre + "\r\nP.Recept: 009\r\n";
}

struct Journee
{
    explicit Journee(const QString& chemin)
        : horloge(A(Jour, "00:00:00") - 3600 * 1000)
    {
        registre.MetHorlogeMurale([this] { return horloge.get_exact_milli_second(); });
        ouvert = registre.Ouvre(chemin);
    }
    // Une remise complète : vue (si connue), remise, fichier effacé, tiroir libéré.
    void Remet(const char* nom, const char* ordre, int tiroir, qint64 vue, qint64 remise, qint64 liberee, Cause cause)
    {
        if (vue > 0) {
            horloge.Regle(vue);
            registre.NoteListe({ QString::fromLatin1(nom) });
        }
        horloge.Regle(remise);
        const qint64 id = registre.DebutRemise(QString::fromLatin1(nom), Commande(ordre), QString::number(tiroir));
        registre.RemiseFaite(id);
        registre.FichierEfface(id);
        registre.NoteListe({});
        horloge.Regle(liberee);
        registre.TiroirLibere(tiroir, cause);
    }
    JournalStatut journal;
    HorlogeTest horloge;
    RegistreRemises registre{ journal };
    bool ouvert = false;
};

} // namespace

qint64 A(const QDate& jour, const char* heure)
{
    return QDateTime(jour, QTime::fromString(QString::fromLatin1(heure), QStringLiteral("HH:mm:ss")))
        .toMSecsSinceEpoch();
}

bool Ecrit(const QString& chemin)
{
    const QDate veille = Jour.addDays(-1), lendemain = Jour.addDays(1);
    qint64 miseDeCote = 0;
    {
        Journee j(chemin);
        if (!j.ouvert)
            return false;
        j.Remet("CD0.txt", "40", 1, A(veille, "23:58:00"), A(veille, "23:59:50"), A(Jour, "00:00:30"),
                Cause::Datagramme);
        j.Remet("CD1.txt", "41", 2, A(Jour, "09:00:00"), A(Jour, "09:00:30"), A(Jour, "09:01:10"), Cause::Datagramme);
        j.Remet("CD2.txt", "42", 2, A(Jour, "09:10:00"), A(Jour, "09:12:00"), A(Jour, "09:13:00"), Cause::Temps);
        j.Remet("CD4.txt", "", 3, 0, A(Jour, "09:30:00"), A(Jour, "09:30:50"), Cause::Tous);
        j.Remet("CD3.txt", "43", 5, A(Jour, "14:00:00"), A(Jour, "14:00:05"), A(Jour, "14:00:25"), Cause::Clic);
        j.Remet("CD9.txt", "49", 1, A(lendemain, "00:00:05"), A(lendemain, "00:00:10"), A(lendemain, "00:01:00"),
                Cause::Datagramme);
        j.horloge.Regle(A(Jour, "15:00:00"));
        j.registre.DebutRemise(QStringLiteral("CD5.txt"), Commande("45"), QStringLiteral("4"));
        j.horloge.Regle(A(Jour, "16:00:00"));
        miseDeCote = j.registre.DebutRemise(QStringLiteral("CD7.txt"), Commande("47"), QStringLiteral("4"));
    }
    // La mise de côté vient d'un règlement au démarrage : posée ici directement.
    bool ok = false;
    {
        QSqlDatabase base = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("journee-essai"));
        base.setDatabaseName(chemin);
        QSqlQuery q(base);
        ok = miseDeCote > 0 && base.open() && q.prepare(QStringLiteral("UPDATE remises SET etat = 'mise_de_cote' WHERE id = ?"));
        q.addBindValue(miseDeCote);
        ok = ok && q.exec() && q.numRowsAffected() == 1;
        base.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("journee-essai"));
    return ok;
}

} // namespace JourneeEssai
