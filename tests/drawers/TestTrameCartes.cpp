#include "drawers/ReglageLigne.h"
#include "drawers/TrameCartes.h"

#include <QTest>

class TestTrameCartes : public QObject
{
    Q_OBJECT
private slots:
    void octetsSurLeFil_data();
    void octetsSurLeFil();
    void sommeDeControle_data();
    void sommeDeControle();
    void reponse_data();
    void reponse();
    void adresseCarte_data();
    void adresseCarte();
    void reglageLigne_data();
    void reglageLigne();
    void texteAffichable_data();
    void texteAffichable();
};

void TestTrameCartes::octetsSurLeFil_data()
{
    QTest::addColumn<QByteArray>("corps");
    QTest::addColumn<QByteArray>("attendu");
    const QByteArray z45 = AdresseCarte(QStringLiteral("Z45"));
    QTest::newRow("V") << QByteArray("V" + z45) << QByteArray::fromHex("1B565A5D46330D");
    QTest::newRow("G") << QByteArray("G" + z45 + "L") << QByteArray::fromHex("1B475A5D4C42360D");
    QTest::newRow("X sortie 8") << QByteArray("X" + z45 + "18") << QByteArray::fromHex("1B585A5D313838380D");
}

void TestTrameCartes::octetsSurLeFil()
{
    QFETCH(QByteArray, corps);
    QFETCH(QByteArray, attendu);
    QCOMPARE(TrameCommande(corps), attendu);
}

void TestTrameCartes::sommeDeControle_data()
{
    QTest::addColumn<QByteArray>("texte");
    QTest::addColumn<QByteArray>("somme");
    QTest::newRow("abc") << QByteArray("abc") << QByteArray("DA");
    QTest::newRow("vide") << QByteArray() << QByteArray("00");
    QTest::newRow("somme 256") << QByteArray("\x80\x80") << QByteArray("00");
    QTest::newRow("somme 512") << QByteArray("\xFF\xFF\x02") << QByteArray("00");
    QTest::newRow("octet haut non signé") << QByteArray("\xFF") << QByteArray("01");
    QTest::newRow("un chiffre") << QByteArray("\xF1") << QByteArray("0F");
}

void TestTrameCartes::sommeDeControle()
{
    QFETCH(QByteArray, texte);
    QFETCH(QByteArray, somme);
    QCOMPARE(CalculCSgrindel2(texte), somme);
}

void TestTrameCartes::reponse_data()
{
    QTest::addColumn<QByteArray>("ligne");
    QTest::addColumn<QByteArray>("resultat");
    // "A01" : 65 + 48 + 49 = 162, complément 94 = "5E".
    QTest::newRow("bonne") << QByteArray("/A015E") << QByteArray("01");
    QTest::newRow("somme minuscule") << QByteArray("/A015e") << QByteArray("Err: check sum incorrecte");
    QTest::newRow("somme fausse") << QByteArray("/A015F") << QByteArray("Err: check sum incorrecte");
    QTest::newRow("sans barre") << QByteArray("A015E") << QByteArray("Err: ne commence pas par '/'");
    QTest::newRow("0 caractère") << QByteArray() << QByteArray("Err: Time Out");
    QTest::newRow("1 caractère") << QByteArray("/") << QByteArray("Err: Time Out");
    QTest::newRow("2 caractères") << QByteArray("/A") << QByteArray("Err: reponse trop courte");
    QTest::newRow("3 caractères") << QByteArray("/00") << QByteArray("Err: reponse trop courte");
    QTest::newRow("charge vide") << QByteArray("/ABF") << QByteArray();
    QTest::newRow("somme de la réponse du test de liaison")
        << QByteArray(TrameReponse('A', "V1.0").chopped(1)) << QByteArray("V1.0");
}

void TestTrameCartes::reponse()
{
    QFETCH(QByteArray, ligne);
    QFETCH(QByteArray, resultat);
    QCOMPARE(AnalyseReponse(ligne), resultat);
}

void TestTrameCartes::adresseCarte_data()
{
    QTest::addColumn<QString>("nom");
    QTest::addColumn<QByteArray>("adresse");
    QTest::newRow("Z45") << "Z45" << QByteArray("Z]");
    QTest::newRow("Z44") << "Z44" << QByteArray("Z\\");
    QTest::newRow("Z43") << "Z43" << QByteArray("Z[");
    QTest::newRow("Z42") << "Z42" << QByteArray("ZZ");
    QTest::newRow("Y0") << "Y0" << QByteArray("Y0");
    QTest::newRow("vide") << "" << QByteArray();
    QTest::newRow("code au-delà d'un octet") << "Z300" << QByteArray();
    QTest::newRow("code négatif") << "Z-50" << QByteArray();
}

void TestTrameCartes::adresseCarte()
{
    QFETCH(QString, nom);
    QFETCH(QByteArray, adresse);
    QCOMPARE(AdresseCarte(nom), adresse);
}

void TestTrameCartes::reglageLigne_data()
{
    QTest::addColumn<QString>("param");
    QTest::addColumn<bool>("lu");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("vitesse");
    QTest::addColumn<int>("parite");
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("arret");
    QTest::newRow("défaut") << "1:9600,n,8,1" << true << 1 << 9600 << int(QSerialPort::NoParity) << 8
                            << int(QSerialPort::OneStop);
    QTest::newRow("port 2") << "2:19200,e,7,2" << true << 2 << 19200 << int(QSerialPort::EvenParity) << 7
                            << int(QSerialPort::TwoStop);
    QTest::newRow("majuscules, 1.5") << "3:4800,O,5,1.5" << true << 3 << 4800 << int(QSerialPort::OddParity) << 5
                                     << int(QSerialPort::OneAndHalfStop);
    QTest::newRow("sans deux-points") << "9600,n,8,1" << false << 1 << 9600 << int(QSerialPort::NoParity) << 8
                                      << int(QSerialPort::OneStop);
    QTest::newRow("numéro illisible") << "x:2400,s,8,1" << false << 1 << 2400 << int(QSerialPort::SpaceParity)
                                      << 8 << int(QSerialPort::OneStop);
    QTest::newRow("parité inconnue") << "4:2400,q,8,1" << false << 4 << 9600 << int(QSerialPort::NoParity) << 8
                                     << int(QSerialPort::OneStop);
    QTest::newRow("9 bits") << "1:9600,m,9,1" << false << 1 << 9600 << int(QSerialPort::NoParity) << 8
                            << int(QSerialPort::OneStop);
    QTest::newRow("champ manquant") << "1:9600,n,8" << false << 1 << 9600 << int(QSerialPort::NoParity) << 8
                                    << int(QSerialPort::OneStop);
}

void TestTrameCartes::reglageLigne()
{
    QFETCH(QString, param);
    QFETCH(bool, lu);
    QFETCH(int, port);
    QFETCH(int, vitesse);
    QFETCH(int, parite);
    QFETCH(int, bits);
    QFETCH(int, arret);
    ReglageLigne r;
    QCOMPARE(r.Lit(param), lu);
    QCOMPARE(r.numeroPort, port);
    QCOMPARE(r.vitesse, vitesse);
    QCOMPARE(int(r.parite), parite);
    QCOMPARE(int(r.bitsDonnees), bits);
    QCOMPARE(int(r.bitsArret), arret);
}

void TestTrameCartes::texteAffichable_data()
{
    QTest::addColumn<QByteArray>("octets");
    QTest::addColumn<QString>("vu");
    QTest::newRow("texte simple") << QByteArray("-Start     -S3") << "-Start     -S3";
    QTest::newRow("échappement et nul") << QByteArray("\x1b[2J\0x", 6) << "<1B>[2J<00>x";
    QTest::newRow("tabulation, DEL") << QByteArray("a\tb\x7f") << "a<09>b<7F>";
    QTest::newRow("page de code") << QByteArray("\xe9\x80") << QString::fromUtf8("é€");
    QTest::newRow("position non attribuée") << QByteArray("\x81") << "<81>";
    QTest::newRow("coupé") << QByteArray(300, 'a') << QString(200, QLatin1Char('a')) + " ...(300 octets)";
    QTest::newRow("juste 200") << QByteArray(200, 'a') << QString(200, QLatin1Char('a'));
    QTest::newRow("échappement jamais coupé") << QByteArray(199, 'a') + "\x01"
                                              << QString(199, QLatin1Char('a')) + " ...(200 octets)";
}

void TestTrameCartes::texteAffichable()
{
    QFETCH(QByteArray, octets);
    QFETCH(QString, vu);
    QCOMPARE(TexteAffichable(octets), vu);
}

QTEST_APPLESS_MAIN(TestTrameCartes)
#include "TestTrameCartes.moc"
