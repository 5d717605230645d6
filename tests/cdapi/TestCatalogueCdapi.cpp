#include "cdapi/CatalogueCdapi.h"

#include <QTest>

#include <functional>

class TestCatalogueCdapi : public QObject
{
    Q_OBJECT
private slots:
    void lectureChamp_data();
    void lectureChamp();
    void texteLibre_data();
    void texteLibre();
    void textesDesCodes_data();
    void textesDesCodes();
    void identifications_data();
    void identifications();
    void reponseEjection_data();
    void reponseEjection();
};

void TestCatalogueCdapi::lectureChamp_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<qint64>("position");
    QTest::addColumn<qint64>("largeur");
    QTest::addColumn<QByteArray>("attendu");
    QTest::newRow("dans le message") << QByteArray("A1234") << qint64(2) << qint64(3) << QByteArray("123");
    QTest::newRow("deborde la fin") << QByteArray("A1234") << qint64(4) << qint64(5) << QByteArray("34");
    QTest::newRow("commence au dernier") << QByteArray("A1234") << qint64(5) << qint64(2) << QByteArray("4");
    QTest::newRow("commence apres la fin") << QByteArray("A12") << qint64(4) << qint64(2) << QByteArray();
    QTest::newRow("position 0") << QByteArray("A12") << qint64(0) << qint64(2) << QByteArray();
    QTest::newRow("largeur nulle") << QByteArray("A12") << qint64(1) << qint64(0) << QByteArray();
    QTest::newRow("largeur enorme") << QByteArray("A12") << qint64(2) << qint64(2147483647) << QByteArray("12");
    QTest::newRow("position enorme") << QByteArray("A12") << qint64(2147483647) << qint64(5) << QByteArray();
    QTest::newRow("message vide") << QByteArray() << qint64(1) << qint64(1) << QByteArray();
    QTest::newRow("NUL garde") << QByteArray("R90\0AB", 6) << qint64(3) << qint64(3) << QByteArray("0\0A", 3);
}

void TestCatalogueCdapi::lectureChamp()
{
    QFETCH(QByteArray, message);
    QFETCH(qint64, position);
    QFETCH(qint64, largeur);
    QFETCH(QByteArray, attendu);
    QCOMPARE(LitChamp(message, position, largeur), attendu);
}

void TestCatalogueCdapi::texteLibre_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QByteArray>("attendu");
    // Champ longueur du s : position 7, largeur 3, texte à partir de 10.
    QTest::newRow("longueur exacte") << QByteArray("s00100005PLEIN") << QByteArray("PLEIN");
    QTest::newRow("texte plus long") << QByteArray("s00100003PLEIN") << QByteArray("PLE");
    QTest::newRow("texte plus court") << QByteArray("s00100009PLEIN") << QByteArray("PLEIN");
    QTest::newRow("longueur nulle") << QByteArray("s00100000PLEIN") << QByteArray();
    QTest::newRow("longueur negative") << QByteArray("s00100-02PLEIN") << QByteArray();
    QTest::newRow("longueur non numerique") << QByteArray("s00100abcPLEIN") << QByteArray();
    QTest::newRow("longueur avec blanc") << QByteArray("s00100 2 PLEIN") << QByteArray("PL");
    QTest::newRow("longueur a exposant enorme") << QByteArray("s001009E9PLEIN") << QByteArray("PLEIN");
    QTest::newRow("sans longueur") << QByteArray("s00100") << QByteArray();
}

void TestCatalogueCdapi::texteLibre()
{
    QFETCH(QByteArray, message);
    QFETCH(QByteArray, attendu);
    QCOMPARE(LitTexteLibre(message, MsgReponseStatutInstallation::Longueur), attendu);
}

void TestCatalogueCdapi::textesDesCodes_data()
{
    using Table = std::function<QString(const QByteArray&)>;
    QTest::addColumn<Table>("table");
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<QString>("attendu");
    // Le même code change de sens selon le type.
    QTest::newRow("I 02") << Table(TexteStatutRangement) << QByteArray("02")
                          << QString::fromUtf8(" - article doit etre stocké avec date peremption");
    QTest::newRow("i 02") << Table(TexteStatutReception) << QByteArray("02") << " - info debut reception cde";
    QTest::newRow("s 02") << Table(TexteStatutInstallation) << QByteArray("02")
                          << " - installation en defaillance partielle";
    QTest::newRow("o 02 inconnu") << Table(TexteStatutCommande) << QByteArray("02")
                                  << " - Status de commande inconnue";
    QTest::newRow("i inconnu") << Table(TexteStatutReception) << QByteArray("08")
                               << " - Status de remplissage inconnue";
    QTest::newRow("s inconnu") << Table(TexteStatutInstallation) << QByteArray("03")
                               << " - Status de l'installation inconnue";
    QTest::newRow("a 05") << Table(TexteStatutEjection) << QByteArray("05")
                          << " - modif Qt delivre par l'automate";
    QTest::newRow("a code court") << Table(TexteStatutEjection) << QByteArray("0")
                                  << " - Status de commande inconnue";
    QTest::newRow("o 08") << Table(TexteStatutCommande) << QByteArray("08") << " - commande non disponible";
    QTest::newRow("I 04") << Table(TexteStatutRangement) << QByteArray("04")
                          << QString::fromUtf8(" - boite non affecté à l'automate");
    QTest::newRow("priorite 5") << Table(TextePriorite) << QByteArray("5") << " - priorite tres basse";
    QTest::newRow("priorite 0") << Table(TextePriorite) << QByteArray("0") << " - niveau de priorite inconnu";
    QTest::newRow("priorite vide") << Table(TextePriorite) << QByteArray() << " - niveau de priorite inconnu";
}

void TestCatalogueCdapi::textesDesCodes()
{
    using Table = std::function<QString(const QByteArray&)>;
    QFETCH(Table, table);
    QFETCH(QByteArray, code);
    QFETCH(QString, attendu);
    QCOMPARE(table(code), attendu);
}

void TestCatalogueCdapi::identifications_data()
{
    QTest::addColumn<QByteArray>("construit");
    QTest::addColumn<QByteArray>("attendu");
    QTest::newRow("R du service") << ConstruitIdentificationService() << QByteArray("R9010112002AR\0", 14);
    QTest::newRow("r au poste 901") << ConstruitReponseIdentification(QByteArray("R9010112002AR\0", 14))
                                    << QByteArray("r9010112002AR\0", 14);
    QTest::newRow("r garde le poste recu") << ConstruitReponseIdentification("R0420999001A")
                                           << QByteArray("r0420112002AR\0", 14);
    QTest::newRow("r a un R court") << ConstruitReponseIdentification("R7") << QByteArray("r0070112002AR\0", 14);
    QTest::newRow("poste trop long") << ConstruitIdentification('R', "12345") << QByteArray("R3450112002AR\0", 14);
}

void TestCatalogueCdapi::identifications()
{
    QFETCH(QByteArray, construit);
    QFETCH(QByteArray, attendu);
    QCOMPARE(construit, attendu);
}

void TestCatalogueCdapi::reponseEjection_data()
{
    QTest::addColumn<QByteArray>("demande");
    QTest::addColumn<QString>("norme");
    QTest::addColumn<QByteArray>("attendu");

    const QByteArray enteteA = "A" "00000012" "001" "003" "3";
    // Deux lignes de 13 : la réponse garde les 12 premiers de chaque ligne.
    const QByteArray deuxLignesA = enteteA + "02" "CIP0001" "00002" "F" "CIP0002" "00004" "G";
    QCOMPARE(deuxLignesA.size(), 44);
    QTest::newRow("CDAPI-A deux lignes") << deuxLignesA << "CDAPI-A"
                                         << QByteArray("a" "00000012" "001" "003" "01" "02"
                                                       "CIP0001" "00002" "CIP0002" "00004");
    // Deux lignes de 36 : code et quantité (25) puis les 10 de bourrage.
    const QByteArray deuxLignesB = enteteA + "02"
                                   "PRODUIT-B-0001      " "00002" "F" "RESERVE-01"
                                   "PRODUIT-B-0002      " "00004" "G" "RESERVE-02";
    QCOMPARE(deuxLignesB.size(), 90);
    QTest::newRow("CDAPI-B deux lignes") << deuxLignesB << "CDAPI-B"
                                         << QByteArray("a" "00000012" "001" "003" "01" "02"
                                                       "PRODUIT-B-0001      " "00002" "RESERVE-01"
                                                       "PRODUIT-B-0002      " "00004" "RESERVE-02");
    QTest::newRow("autre norme : lignes de 13") << deuxLignesA << "CDAPI-C"
                                                << QByteArray("a" "00000012" "001" "003" "01" "02"
                                                              "CIP0001" "00002" "CIP0002" "00004");
    QTest::newRow("sans ligne") << enteteA + "00" << "CDAPI-A" << QByteArray("a" "00000012" "001" "003" "01" "00");
    // Lignes manquantes : complétées selon les règles de cadrage.
    QTest::newRow("lignes manquantes A") << enteteA + "02" "CIP0001" "000" << "CDAPI-A"
                                         << QByteArray("a" "00000012" "001" "003" "01" "02"
                                                       "CIP0001" "00000" "       " "00000");
    QTest::newRow("ligne courte B") << enteteA + "01" "PROD" << "CDAPI-B"
                                    << QByteArray("a" "00000012" "001" "003" "01" "01"
                                                  "PROD                " "00000" "          ");
    QTest::newRow("A seul") << QByteArray("A") << "CDAPI-A" << QByteArray("a" "00000000" "000" "000" "01" "00");
}

void TestCatalogueCdapi::reponseEjection()
{
    QFETCH(QByteArray, demande);
    QFETCH(QString, norme);
    QFETCH(QByteArray, attendu);
    QCOMPARE(ConstruitReponseEjection(demande, VarianteDeNorme(norme)), attendu);
    QCOMPARE(ReponseEjectionNulle(), QByteArray("a0000000000000000000"));
}

QTEST_GUILESS_MAIN(TestCatalogueCdapi)
#include "TestCatalogueCdapi.moc"
