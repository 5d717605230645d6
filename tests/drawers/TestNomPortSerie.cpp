#include "drawers/NomPortSerie.h"

#include <QDir>
#include <QTest>

// Le périphérique des cartes : du numéro de Param_Com_Tiroirs, ou de --port-serie, tel que
// QSerialPort l'ouvre sur la plate-forme (les noms de Windows à partir de COM10).
class TestNomPortSerie : public QObject
{
    Q_OBJECT
private slots:
    void duNumero_data();
    void duNumero();
    void impose_data();
    void impose();
};

void TestNomPortSerie::duNumero_data()
{
    QTest::addColumn<int>("numero");
    QTest::addColumn<QString>("attendu");
#ifdef Q_OS_WIN
    QTest::newRow("premier") << 1 << "COM1";
    QTest::newRow("dernier à un chiffre") << 9 << "COM9";
    QTest::newRow("premier à deux chiffres") << 10 << "\\\\.\\COM10";
    QTest::newRow("grand") << 255 << "\\\\.\\COM255";
#else
    QTest::newRow("premier") << 1 << "/dev/ttyS0";
    QTest::newRow("dernier à un chiffre") << 9 << "/dev/ttyS8";
    QTest::newRow("premier à deux chiffres") << 10 << "/dev/ttyS9";
#endif
}

void TestNomPortSerie::duNumero()
{
    QFETCH(int, numero);
    QFETCH(QString, attendu);
    QCOMPARE(NomPortSerie::DuNumero(numero), attendu);
}

void TestNomPortSerie::impose_data()
{
    QTest::addColumn<QString>("donne");
    QTest::addColumn<QString>("attendu"); // "@" : ce nom rendu absolu depuis le dossier courant
#ifdef Q_OS_WIN
    QTest::newRow("port à un chiffre") << "COM3" << "COM3";
    QTest::newRow("minuscules") << "com4" << "COM4";
    QTest::newRow("port à deux chiffres") << "COM12" << "\\\\.\\COM12";
    QTest::newRow("nom complet") << "\\\\.\\COM12" << "\\\\.\\COM12";
    QTest::newRow("nom complet d'un port à un chiffre") << "\\\\.\\com2" << "COM2";
    QTest::newRow("COM0 n'est pas un port") << "COM0" << "@";
    QTest::newRow("COM suivi d'autre chose") << "COM3x" << "@";
    QTest::newRow("chemin relatif") << "cartes-serie" << "@";
#else
    QTest::newRow("nom de Windows : un fichier ici") << "COM3" << "@";
    QTest::newRow("chemin relatif") << "cartes-serie" << "@";
    QTest::newRow("chemin absolu") << "/dev/pts/3" << "/dev/pts/3";
#endif
}

void TestNomPortSerie::impose()
{
    QFETCH(QString, donne);
    QFETCH(QString, attendu);
    if (attendu == QLatin1String("@"))
        attendu = QDir::current().absolutePath() + QLatin1Char('/') + donne;
    QCOMPARE(NomPortSerie::Impose(donne), attendu);
}

QTEST_GUILESS_MAIN(TestNomPortSerie)
#include "TestNomPortSerie.moc"
