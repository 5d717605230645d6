#include "config/LectureNombre.h"

#include <QTest>

class TestLectureNombre : public QObject
{
    Q_OBJECT
private slots:
    void lecture_data();
    void lecture();
};

void TestLectureNombre::lecture_data()
{
    QTest::addColumn<QString>("texte");
    QTest::addColumn<int>("attendu");
    QTest::newRow("entier") << "4" << 4;
    QTest::newRow("blanc puis lettre") << "30 x" << 30;
    QTest::newRow("blanc devant, lettres derriere") << " 12abc" << 12;
    QTest::newRow("vide") << "" << 0;
    QTest::newRow("lettres") << "abc" << 0;
    QTest::newRow("deux et demi vers le pair") << "2.5" << 2;
    QTest::newRow("trois et demi vers le pair") << "3.5" << 4;
    QTest::newRow("moins deux et demi") << "-2.5" << -2;
    QTest::newRow("arrondi ordinaire") << "2.6" << 3;
    QTest::newRow("hexadecimal") << "&H1F" << 31;
    QTest::newRow("hexadecimal minuscule") << "&h1f" << 31;
    QTest::newRow("octal") << "&O17" << 15;
    QTest::newRow("hexadecimal complement a deux") << "&HFFFFFFFF" << -1;
    QTest::newRow("prefixe & inconnu") << "&X1" << 0;
    QTest::newRow("exposant D") << "1D2" << 100;
    QTest::newRow("exposant E negatif") << "25E-1" << 2;
    QTest::newRow("exposant incomplet") << "7E" << 7;
    QTest::newRow("blancs dans les chiffres") << "1 2 3" << 123;
    QTest::newRow("tabulation et saut de ligne") << "\t4\n5" << 45;
    QTest::newRow("retour chariot arrete") << "4\r5" << 4;
    QTest::newRow("signe seul") << "-" << 0;
    QTest::newRow("signe plus") << "+7" << 7;
    QTest::newRow("point seul") << "." << 0;
    QTest::newRow("demi sans zero") << ".5" << 0;
    QTest::newRow("borne haute") << "99999999999" << 2147483647;
    QTest::newRow("borne basse") << "-99999999999" << int(-2147483647 - 1);
    QTest::newRow("exposant enorme") << "1E999999" << 2147483647;
    QTest::newRow("exposant a zeros de tete") << "1E0000002" << 100;
    QTest::newRow("exposant negatif a zeros de tete") << "5E-0000001" << 0;
    QTest::newRow("exposant long et enorme") << "1E0000000999999" << 2147483647;
    QTest::newRow("exposant long et infime") << "1E-00000000999999" << 0;
    QTest::newRow("exposant suivi de lettres") << "3E0001x7" << 30;
    QTest::newRow("numero de datagramme") << " 12abc" << 12;
}

void TestLectureNombre::lecture()
{
    QFETCH(QString, texte);
    QFETCH(int, attendu);
    QCOMPARE(LitNombre(texte), attendu);
    QCOMPARE(LitNombre(texte.toLatin1()), attendu);
}

QTEST_GUILESS_MAIN(TestLectureNombre)
#include "TestLectureNombre.moc"
