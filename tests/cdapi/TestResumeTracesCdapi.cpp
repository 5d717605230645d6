#include "cdapi/ResumeTracesCdapi.h"

#include <QTest>

namespace {

using Decision = ResumeTracesCdapi::Decision;

QByteArray Demande(int commande)
{
    return "A" + QByteArray::number(commande).rightJustified(8, '0') + "0010033" "01" "CIP000100002F";
}

// Une arrivée : instant, message, caractères que sa trace (et celle de ses
// réponses) coûte quand elle est tracée.
struct Arrivee
{
    qint64 ms;
    QByteArray message;
};

} // namespace

Q_DECLARE_METATYPE(QList<Arrivee>)

class TestResumeTracesCdapi : public QObject
{
    Q_OBJECT
private slots:
    void decisions_data();
    void decisions();
    void resumeSansNouvelleArrivee();
    void memoireBornee();
    void horsBudgetDitALaFinDeSaPeriode();
};

void TestResumeTracesCdapi::decisions_data()
{
    QTest::addColumn<QList<Arrivee>>("arrivees");
    QTest::addColumn<int>("caracteres");
    // T : tracé, R : répétition comptée, B : hors budget.
    QTest::addColumn<QString>("attendu");
    QTest::addColumn<qint64>("echeance");
    QTest::addColumn<QStringList>("pendant"); // lignes écrites au fil des arrivées
    QTest::addColumn<QStringList>("resumes"); // lignes dues à l'échéance, après la dernière arrivée

    const QByteArray r = QByteArray("R9010112002AR\0", 14);
    QTest::newRow("échange ordinaire") << QList<Arrivee>{ { 0, Demande(12) }, { 500, Demande(13) }, { 2600, Demande(12) },
                                                        { 2700, r }, { 9000, r } }
                                       << 5000 << "TTTTT" << qint64(20000) << QStringList() << QStringList();

    QList<Arrivee> rafale;
    for (int i = 0; i < 10; ++i)
        rafale.append({ 100 * i, Demande(12) });
    QTest::newRow("rafale identique") << rafale << 5000 << "TRRRRRRRRR" << qint64(2900) << QStringList()
                                      << QStringList{ QStringLiteral(
                                             "CDAPI : demande A n° 00000012 reçu 9 fois de plus en 0,800 s, identique au "
                                             "dernier tracé (ni lui ni ses réponses ne sont retracés)") };
    // Une rafale qui dure est résumée toutes les 10 s, puis à sa fin.
    QList<Arrivee> longue;
    for (int i = 0; i <= 150; ++i)
        longue.append({ 100 * i, Demande(7) });
    const QString debut = QStringLiteral("CDAPI : demande A n° 00000007 reçu ");
    const QString fin = QStringLiteral(" s, identique au dernier tracé (ni lui ni ses réponses ne sont retracés)");
    QTest::newRow("rafale de 15 s") << longue << 5000 << QStringLiteral("T") + QString(150, QLatin1Char('R'))
                                    << qint64(17100) << QStringList{ debut + QStringLiteral("100 fois de plus en 9,900") + fin }
                                    << QStringList{ debut + QStringLiteral("50 fois de plus en 4,900") + fin };
    // Chaque répétition prolonge la rafale de 2 s ; les autres types sont désignés par leur taille.
    QTest::newRow("répétitions espacées") << QList<Arrivee>{ { 0, r }, { 1999, r }, { 3998, r } } << 100 << "TRR"
                                          << qint64(5998) << QStringList()
                                          << QStringList{ QStringLiteral("CDAPI : message R de 14 octets reçu 2 fois de "
                                                                         "plus en 1,999 s, identique au dernier tracé (ni "
                                                                         "lui ni ses réponses ne sont retracés)") };
    // Des demandes toutes différentes : tracées tant que le budget de la période
    // dure (40 000 caractères), comptées ensuite, de nouveau tracées à la période suivante.
    QList<Arrivee> differentes;
    for (int i = 0; i < 12; ++i)
        differentes.append({ 1000 * i, Demande(100 + i) });
    QTest::newRow("budget épuisé") << differentes << 15000 << "TTTBBBBBBBTT" << qint64(30000)
                                   << QStringList{ QStringLiteral("CDAPI : 7 messages reçus non tracés en 6,000 s (flot "
                                                                  "trop rapide), leurs réponses non plus") }
                                   << QStringList();
}

void TestResumeTracesCdapi::decisions()
{
    QFETCH(QList<Arrivee>, arrivees);
    QFETCH(int, caracteres);
    QFETCH(QString, attendu);
    QFETCH(qint64, echeance);
    QFETCH(QStringList, pendant);
    QFETCH(QStringList, resumes);
    ResumeTracesCdapi r;
    QString vu;
    QStringList ecrits;
    for (const Arrivee& a : arrivees) {
        ecrits << r.Echus(a.ms);
        switch (r.Decide(a.message, a.ms)) {
        case Decision::Tracer:
            vu += QLatin1Char('T');
            r.Compte(caracteres, a.ms);
            break;
        case Decision::Repetition: vu += QLatin1Char('R'); break;
        case Decision::HorsBudget: vu += QLatin1Char('B'); break;
        }
    }
    QCOMPARE(vu, attendu);
    QCOMPARE(ecrits, pendant);
    QCOMPARE(r.Echus(echeance), resumes);
    QVERIFY(!r.ResumeEnAttente());
}

// La fin d'une rafale est dite par l'échéance même si plus rien n'arrive, une fois.
void TestResumeTracesCdapi::resumeSansNouvelleArrivee()
{
    ResumeTracesCdapi r;
    QCOMPARE(r.Decide(Demande(5), 0), Decision::Tracer);
    QCOMPARE(r.Decide(Demande(5), 150), Decision::Repetition);
    QVERIFY(r.ResumeEnAttente());
    QCOMPARE(r.Echus(2149), QStringList());
    QCOMPARE(r.Echus(2150).size(), 1);
    QCOMPARE(r.Echus(5000), QStringList());
    QVERIFY(!r.ResumeEnAttente());
}

// 32 rafales en cours, puis mille messages différents : ceux-ci ne prennent pas la
// place d'une rafale dont le résumé attend (ils sont tracés sans être suivis), et
// chaque rafale est résumée avec son compte exact.
void TestResumeTracesCdapi::memoireBornee()
{
    ResumeTracesCdapi r;
    for (int i = 0; i < ResumeTracesCdapi::MessagesSuivis; ++i) {
        QCOMPARE(r.Decide(Demande(i), i), Decision::Tracer);
        QCOMPARE(r.Decide(Demande(i), 100 + i), Decision::Repetition);
    }
    for (int i = 0; i < 1000; ++i)
        QCOMPARE(r.Decide(Demande(1000 + i), 200 + i), Decision::Tracer);
    for (int i = 0; i < ResumeTracesCdapi::MessagesSuivis; ++i)
        QCOMPARE(r.Decide(Demande(i), 1200 + i), Decision::Repetition);
    const QStringList resumes = r.Echus(5000);
    QCOMPARE(resumes.size(), ResumeTracesCdapi::MessagesSuivis);
    QCOMPARE(resumes.first(), QStringLiteral("CDAPI : demande A n° 00000000 reçu 2 fois de plus en 1,100 s, identique "
                                             "au dernier tracé (ni lui ni ses réponses ne sont retracés)"));
    QCOMPARE(resumes.filter(QStringLiteral(" reçu 2 fois de plus en 1,100 s")).size(), ResumeTracesCdapi::MessagesSuivis);
}

// Une trace envoyée après la fin de la période en ouvre une nouvelle : le compte de
// la période finie est dit tout de même à son échéance.
void TestResumeTracesCdapi::horsBudgetDitALaFinDeSaPeriode()
{
    ResumeTracesCdapi r;
    QCOMPARE(r.Decide(Demande(1), 0), Decision::Tracer);
    r.Compte(ResumeTracesCdapi::BudgetCaracteres, 0);
    QCOMPARE(r.Decide(Demande(2), 4000), Decision::HorsBudget);
    r.Compte(100, 10050);
    QCOMPARE(r.Echus(9999), QStringList());
    QCOMPARE(r.Echus(10100), QStringList{ QStringLiteral("CDAPI : 1 message reçu non tracé en 0,000 s (flot trop "
                                                         "rapide), ses réponses non plus") });
    QCOMPARE(r.Decide(Demande(3), 10200), Decision::Tracer);
}

QTEST_GUILESS_MAIN(TestResumeTracesCdapi)
#include "TestResumeTracesCdapi.moc"
