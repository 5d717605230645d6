#include "app/JournalStatut.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class TestJournalStatut : public QObject
{
    Q_OBJECT
private slots:
    void limite_data();
    void limite();
    void clearToutesCasses_data();
    void clearToutesCasses();
    void sansRetourNeCoupeJamais();
    void curseurAvantDernierSautDeLigne();
    void nulRetire();
    void fichierJournal();
};

void TestJournalStatut::limite_data()
{
    QTest::addColumn<int>("longueurFinale");
    QTest::addColumn<bool>("coupe");
    QTest::newRow("19999") << 19999 << false;
    QTest::newRow("20000") << 20000 << false;
    QTest::newRow("20001") << 20001 << true;
}

void TestJournalStatut::limite()
{
    QFETCH(int, longueurFinale);
    QFETCH(bool, coupe);
    JournalStatut j;
    j.MessageStatus(QString(9998, QLatin1Char('a'))); // 10000 avec CR LF
    j.MessageStatus(QString(longueurFinale - 10000 - 2, QLatin1Char('b')));
    if (coupe) {
        QCOMPARE(j.Texte(), QStringLiteral("....\r\n"));
    } else {
        QCOMPARE(j.Texte().size(), longueurFinale);
        QVERIFY(j.Texte().endsWith(QStringLiteral("b\r\n")));
    }
}

void TestJournalStatut::clearToutesCasses_data()
{
    QTest::addColumn<QString>("mot");
    QTest::newRow("minuscules") << "clear";
    QTest::newRow("capitale") << "Clear";
    QTest::newRow("majuscules") << "CLEAR";
}

void TestJournalStatut::clearToutesCasses()
{
    QFETCH(QString, mot);
    JournalStatut j;
    j.MessageStatus(QStringLiteral("ligne"));
    j.MessageStatus(mot);
    QCOMPARE(j.Texte(), QString());
    j.MessageStatus(QString());
    QCOMPARE(j.Texte(), QStringLiteral("\r\n"));
}

void TestJournalStatut::sansRetourNeCoupeJamais()
{
    JournalStatut j;
    for (int i = 0; i < 3; ++i)
        j.MessageStatusSScr(QString(9000, QLatin1Char('.')));
    QCOMPARE(j.Texte().size(), 27000);
    j.MessageStatus(QStringLiteral("fin"));
    QCOMPARE(j.Texte(), QStringLiteral("....\r\n"));
}

void TestJournalStatut::curseurAvantDernierSautDeLigne()
{
    JournalStatut j;
    j.MessageStatus(QStringLiteral("abc"));
    QCOMPARE(j.PositionCurseur(), 4);
    j.MessageStatusSScr(QStringLiteral("de"));
    QCOMPARE(j.PositionCurseur(), 6);
}

void TestJournalStatut::nulRetire()
{
    JournalStatut j;
    j.MessageStatus(QStringLiteral("AR") + QChar(0) + QStringLiteral("x"));
    QCOMPARE(j.Texte(), QStringLiteral("ARx\r\n"));
}

void TestJournalStatut::fichierJournal()
{
    QTemporaryDir dossier;
    const QString chemin = dossier.filePath(QStringLiteral("journal.txt"));
    {
        QFile existant(chemin);
        QVERIFY(existant.open(QIODevice::WriteOnly));
        existant.write("avant\n");
    }
    JournalStatut j;
    QString erreur;
    QVERIFY(j.OuvreFichierJournal(chemin, &erreur));
    j.MessageStatus(QStringLiteral("version prog : 1.0.0"));
    j.MessageStatus(QStringLiteral("clear"));
    j.MessageStatusSScr(QStringLiteral("."));
    j.MessageStatusSScr(QStringLiteral("."));
    j.MessageStatus(QStringLiteral("port connecte"));
    j.MessageStatus(QStringLiteral("\r\nlibere le tiroir 2 car le temps est depasse"));
    j.MessageStatus(QStringLiteral("a\r\nb"));
    j.MessageStatus(QStringLiteral("é") + QChar(0));

    QFile f(chemin);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QStringList lignes = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    const QRegularExpression horodatage(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} "));
    const QStringList attendus = { QStringLiteral("version prog : 1.0.0"), QStringLiteral("..port connecte"),
                                   QString(), QStringLiteral("libere le tiroir 2 car le temps est depasse"),
                                   QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("é") };
    QCOMPARE(lignes.size(), attendus.size() + 2); // "avant" en tête, vide après le dernier \n
    QCOMPARE(lignes.first(), QStringLiteral("avant"));
    QCOMPARE(lignes.last(), QString());
    for (int i = 0; i < attendus.size(); ++i) {
        const QString ligne = lignes[i + 1];
        QVERIFY2(horodatage.match(ligne).hasMatch(), qPrintable(ligne));
        QCOMPARE(ligne.mid(24), attendus[i]);
    }
}

QTEST_GUILESS_MAIN(TestJournalStatut)
#include "TestJournalStatut.moc"
