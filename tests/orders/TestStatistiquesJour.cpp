#include "commun/FichiersEssai.h"
#include "commun/JourneeEssai.h"
#include "orders/LectureRegistre.h"
#include "orders/StatistiquesJour.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

#include <numeric>

// Chiffres d'une journée du rapport d'activité, tirés d'un vrai registre écrit par
// RegistreRemises sous l'heure des tests (tests/commun/JourneeEssai), puis relu en
// lecture seule.
namespace {

using Cause = TableauTiroirs::CauseLiberation;
using JourneeEssai::A;
using JourneeEssai::Jour;

} // namespace

class TestStatistiquesJour : public QObject
{
    Q_OBJECT
private slots:
    void Repartition_data();
    void Repartition();
    void JourneeDuRegistre();
    void DixPlusLongues();
    void JourSansCommande();
    void RegistreIllisible_data();
    void RegistreIllisible();
};

void TestStatistiquesJour::Repartition_data()
{
    QTest::addColumn<QList<qint64>>("durees");
    QTest::addColumn<int>("nombre");
    QTest::addColumn<qint64>("mediane");
    QTest::addColumn<qint64>("centile95");
    QTest::newRow("vide") << QList<qint64>{} << 0 << qint64(0) << qint64(0);
    QTest::newRow("une") << QList<qint64>{ 5000 } << 1 << qint64(5000) << qint64(5000);
    QTest::newRow("paire") << QList<qint64>{ 4000, 1000 } << 2 << qint64(2500) << qint64(4000);
    QTest::newRow("desordre") << QList<qint64>{ 30, 10, 20 } << 3 << qint64(20) << qint64(30);
    QList<qint64> vingt;
    for (qint64 i = 20; i >= 1; --i)
        vingt << i * 10;
    // Rang le plus proche : ceil(0,95 x 20) = 19e valeur.
    QTest::newRow("vingt") << vingt << 20 << qint64(105) << qint64(190);
    QList<qint64> cent;
    for (qint64 i = 1; i <= 100; ++i)
        cent << i;
    QTest::newRow("cent") << cent << 100 << qint64(50) << qint64(95);
}

void TestStatistiquesJour::Repartition()
{
    QFETCH(QList<qint64>, durees);
    QFETCH(int, nombre);
    QFETCH(qint64, mediane);
    QFETCH(qint64, centile95);
    const StatistiquesJour::Repartition r = StatistiquesJour::Repartit(durees);
    QCOMPARE(r.nombre, nombre);
    QCOMPARE(r.medianeMs, mediane);
    QCOMPARE(r.centile95Ms, centile95);
}

void TestStatistiquesJour::JourneeDuRegistre()
{
    QTemporaryDir dossier;
    const QString chemin = dossier.filePath(QStringLiteral("registre.db"));
    const QDate lendemain = Jour.addDays(1);
    QVERIFY(JourneeEssai::Ecrit(chemin));

    QList<RemiseRegistre> lignes;
    QString erreur;
    QVERIFY2(LectureRegistre::Lit(chemin, A(Jour, "00:00:00"), A(lendemain, "00:00:00"), &lignes, &erreur),
             qPrintable(erreur));
    QMap<QString, RemiseRegistre> parNom;
    for (const RemiseRegistre& l : lignes)
        parNom.insert(l.fichier, l);
    QCOMPARE(parNom.keys(), (QStringList{ "CD1.txt", "CD2.txt", "CD3.txt", "CD4.txt", "CD5.txt", "CD7.txt" }));
    QCOMPARE(parNom["CD1.txt"].ordre, QStringLiteral("41"));
    QCOMPARE(parNom["CD1.txt"].etat, QStringLiteral("effacee"));
    QCOMPARE(parNom["CD1.txt"].tiroir, 2);
    QCOMPARE(parNom["CD1.txt"].vueLe, A(Jour, "09:00:00"));
    QCOMPARE(parNom["CD1.txt"].remiseLe, A(Jour, "09:00:30"));
    QCOMPARE(parNom["CD1.txt"].libereeLe, A(Jour, "09:01:10"));
    QCOMPARE(parNom["CD2.txt"].liberation, Cause::Temps);
    QCOMPARE(parNom["CD4.txt"].vueLe, qint64(0));
    QCOMPARE(parNom["CD5.txt"].etat, QStringLiteral("en_remise"));
    QCOMPARE(parNom["CD5.txt"].remiseLe, qint64(0));
    QCOMPARE(parNom["CD5.txt"].debutLe, A(Jour, "15:00:00"));

    const StatistiquesJour s = StatistiquesJour::Calcule(Jour, lignes);
    QCOMPARE(s.remises, 4);
    QCOMPARE(s.misesDeCote, 1);
    QCOMPARE(s.interrompues, 1);
    QCOMPARE(s.remisesParHeure[9], 3);
    QCOMPARE(s.remisesParHeure[14], 1);
    QCOMPARE(std::accumulate(s.remisesParHeure.begin(), s.remisesParHeure.end(), 0), 4);
    QCOMPARE(s.heureChargee, 9);
    QCOMPARE(s.tiroirs.size(), 3);
    // Tiroir 2 : 40 s et 60 s de la remise à la libération ; un datagramme, un temps.
    QCOMPARE(s.tiroirs.at(0).numero, 2);
    QCOMPARE(s.tiroirs.at(0).remiseLiberation.medianeMs, qint64(50000));
    QCOMPARE(s.tiroirs.at(0).remiseLiberation.centile95Ms, qint64(60000));
    QCOMPARE(s.tiroirs.at(0).causes, (std::array<int, 4>{ 1, 1, 0, 0 }));
    QCOMPARE(s.tiroirs.at(1).numero, 3);
    QCOMPARE(s.tiroirs.at(1).causes, (std::array<int, 4>{ 0, 0, 0, 1 }));
    QCOMPARE(s.tiroirs.at(2).numero, 5);
    QCOMPARE(s.tiroirs.at(2).remiseLiberation.medianeMs, qint64(20000));
    QCOMPARE(s.tiroirs.at(2).causes, (std::array<int, 4>{ 0, 0, 1, 0 }));
    // Attentes connues : 30 s, 120 s, 5 s.
    QCOMPARE(s.attente.nombre, 3);
    QCOMPARE(s.attente.medianeMs, qint64(30000));
    QCOMPARE(s.attente.centile95Ms, qint64(120000));
    QCOMPARE(s.attenteParHeure[9].medianeMs, qint64(75000));
    QCOMPARE(s.attenteParHeure[14].medianeMs, qint64(5000));
    QCOMPARE(s.plusLonguesAttentes.size(), 3);
    QCOMPARE(s.plusLonguesAttentes.at(0).ordre, QStringLiteral("42"));
    QCOMPARE(s.plusLonguesAttentes.at(0).dureeMs, qint64(120000));
    QCOMPARE(s.plusLonguesAttentes.at(1).ordre, QStringLiteral("41"));
    QCOMPARE(s.plusLonguesAttentes.at(2).ordre, QStringLiteral("43"));
    QCOMPARE(s.plusLonguesAttentes.at(2).fichier, QStringLiteral("CD3.txt"));
}

void TestStatistiquesJour::DixPlusLongues()
{
    // Douze attentes de 1 à 12 s, deux de 7 s : les dix plus longues, à égalité
    // la remise la plus tôt d'abord.
    QList<RemiseRegistre> lignes;
    for (int i = 1; i <= 12; ++i) {
        RemiseRegistre l;
        l.fichier = QStringLiteral("CD%1.txt").arg(i);
        l.ordre = QString::number(100 + i);
        l.etat = QStringLiteral("effacee");
        l.tiroir = 1;
        l.remiseLe = A(Jour, "10:00:00") + (i == 3 ? -60000 : i * 60000);
        l.debutLe = l.remiseLe;
        l.vueLe = l.remiseLe - (i == 3 ? 7 : i) * 1000;
        lignes << l;
    }
    const StatistiquesJour s = StatistiquesJour::Calcule(Jour, lignes);
    QStringList ordres;
    for (const StatistiquesJour::Attente& a : s.plusLonguesAttentes)
        ordres << a.ordre;
    QCOMPARE(ordres, (QStringList{ "112", "111", "110", "109", "108", "103", "107", "106", "105", "104" }));
    QCOMPARE(s.heureChargee, 10);
    // À égalité, l'heure la plus tôt.
    lignes.resize(2);
    lignes[1].remiseLe = A(Jour, "08:30:00");
    QCOMPARE(StatistiquesJour::Calcule(Jour, lignes).heureChargee, 8);
}

void TestStatistiquesJour::JourSansCommande()
{
    RemiseRegistre autreJour;
    autreJour.etat = QStringLiteral("effacee");
    autreJour.remiseLe = A(Jour.addDays(1), "08:00:00");
    const StatistiquesJour s = StatistiquesJour::Calcule(Jour, { autreJour });
    QVERIFY(s.Vide());
    QCOMPARE(s.heureChargee, -1);
    QVERIFY(s.tiroirs.isEmpty());
    QVERIFY(s.plusLonguesAttentes.isEmpty());
}

void TestStatistiquesJour::RegistreIllisible_data()
{
    QTest::addColumn<QByteArray>("contenu"); // "<absent>" : pas de fichier
    QTest::addColumn<QString>("erreur");     // "" : toute erreur non vide
    QTest::newRow("absent") << QByteArray("<absent>") << QStringLiteral("registre introuvable");
    QTest::newRow("pas une base") << QByteArray(4096, 'x') << QString();
    QTest::newRow("base sans table") << QByteArray() << QString();
}

void TestStatistiquesJour::RegistreIllisible()
{
    QFETCH(QByteArray, contenu);
    QFETCH(QString, erreur);
    QTemporaryDir dossier;
    const QString chemin = dossier.filePath(QStringLiteral("registre.db"));
    if (contenu != "<absent>")
        Ecrit(chemin, contenu);
    QList<RemiseRegistre> lignes;
    QString message;
    QVERIFY(!LectureRegistre::Lit(chemin, 0, A(Jour, "00:00:00"), &lignes, &message));
    QVERIFY(!message.trimmed().isEmpty());
    if (!erreur.isEmpty())
        QCOMPARE(message, erreur);
    // Lecture seule : rien n'est créé ni changé.
    QCOMPARE(Lit(chemin), contenu);
    QCOMPARE(QDir(dossier.path()).entryList(QDir::Files).size(), contenu == "<absent>" ? 0 : 1);
}

QTEST_GUILESS_MAIN(TestStatistiquesJour)
#include "TestStatistiquesJour.moc"
