#include "cdapi/TraceCdapi.h"

#include <QTest>

// Chaque ligne : le message, les normes sous lesquelles il est lu, et les textes
// attendus, un par appel de MessageStatus. Les messages sont écrits champ par
// champ d'après les dispositions, pour qu'on puisse relire les largeurs.
class TestTraceCdapi : public QObject
{
    Q_OBJECT
private slots:
    void trace_data();
    void trace();
};

namespace {

const QString Separateur = QString(42, QLatin1Char('-'));

// Un bloc de trace : titre, lignes, séparateur, joints par CR LF.
QStringList Bloc(QStringList lignes)
{
    lignes << Separateur;
    return { lignes.join(QStringLiteral("\r\n")) };
}

QString U(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

const QStringList EnA{ QStringLiteral("CDAPI-A") };
const QStringList EnB{ QStringLiteral("CDAPI-B") };
const QStringList Autre{ QStringLiteral("CDAPI-C"), QStringLiteral("cdapi-a"), QString() };
const QStringList Toutes{ QStringLiteral("CDAPI-A"), QStringLiteral("CDAPI-B"), QStringLiteral("X") };

const QByteArray CodeB1 = "PRODUIT-B-0001      "; // 20
const QByteArray CodeLongB = "PRODUIT-B-0001-LONG "; // 20, coupé à "PRODUIT-B-000"

} // namespace

void TestTraceCdapi::trace_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QStringList>("normes");
    QTest::addColumn<QStringList>("attendu");

    // ---- A ----
    const QByteArray enteteA = "A" "00000012" "001" "003" "3";
    const QStringList debutA{ "- A - demande d'ejection -----------------",
                              "   cde: 00000012  poste: 001  sortie: 003",
                              "     - 3 - priorite normale" };
    QTest::newRow("A en A, 44 caracteres")
        << enteteA + "02" "CIP0001" "00002" "F" "CIP0002" "00004" "G" << EnA
        << Bloc(debutA + QStringList{ "   cip CIP0001  Q demandee = 00002   flag: F",
                                      "   cip CIP0002  Q demandee = 00004   flag: G" });
    QTest::newRow("A en A, 43 caracteres : dernier drapeau vide")
        << enteteA + "02" "CIP0001" "00002" "F" "CIP0002" "00004" << EnA
        << Bloc(debutA + QStringList{ "   cip CIP0001  Q demandee = 00002   flag: F",
                                      "   cip CIP0002  Q demandee = 00004   flag: " });
    QTest::newRow("A en B, 90 caracteres")
        << enteteA + "02" + CodeLongB + "00002" "F" "RESERVE-01" + CodeB1 + "00004" "G" "RESERVE-02" << EnB
        << Bloc(debutA + QStringList{ "   cip PRODUIT-B-000 Q dem = 00002  flag: F",
                                      "   cip PRODUIT-B-000 Q dem = 00004  flag: G" });
    QTest::newRow("A autre norme : sans ligne") << enteteA + "01" "CIP0001" "00002" "F" << Autre << Bloc(debutA);
    QTest::newRow("A seul") << QByteArray("A") << Toutes
                            << Bloc({ "- A - demande d'ejection -----------------",
                                      "   cde:   poste:   sortie: ",
                                      "     -  - niveau de priorite inconnu" });

    // ---- a ----
    const QByteArray enteteRep = "a" "00000012" "001" "003";
    QTest::newRow("a en A") << enteteRep + "02" "02" "CIP0001" "00002" "CIP0002" "00004" << EnA
                            << Bloc({ "- a - reponse a la demande d'ejection ----",
                                      "   cde: 00000012  poste: 001  sortie: 003",
                                      "     - 02 - file d'attente pleine",
                                      "   cip CIP0001   Q delivree = 00002",
                                      "   cip CIP0002   Q delivree = 00004" });
    QTest::newRow("a en B") << enteteRep + "04" "01" + CodeLongB + "00002" "RESERVE-01" << EnB
                            << Bloc({ "- a - reponse a la demande d'ejection ----",
                                      "   cde: 00000012  poste: 001  sortie: 003",
                                      "     - 04 - message de fin de commande",
                                      "   cip PRODUIT-B-000  Q delivree = 00002" });
    QTest::newRow("a nul, statut inconnu") << QByteArray("a0000000000000000000") << Toutes
                                           << Bloc({ "- a - reponse a la demande d'ejection ----",
                                                     "   cde: 00000000  poste: 000  sortie: 000",
                                                     "     - 00 - commande en cours" });
    QTest::newRow("a statut inconnu") << enteteRep + "07" "00" << Toutes
                                      << Bloc({ "- a - reponse a la demande d'ejection ----",
                                                "   cde: 00000012  poste: 001  sortie: 003",
                                                "     - 07 - Status de commande inconnue" });

    // ---- B ----
    QTest::newRow("B en A") << QByteArray("B" "001" "CIP0001") << EnA
                            << Bloc({ "- B - demande information article --------", "   poste: 001  CIP: CIP0001" });
    QTest::newRow("B en B") << "B" "001" + CodeLongB << EnB
                            << Bloc({ "- B - demande information article --------",
                                      "   poste: 001  CIP: PRODUIT-B-0001-LONG " });
    QTest::newRow("B autre norme") << QByteArray("B" "001" "CIP0001") << Autre
                                   << Bloc({ "- B - demande information article --------" });

    // ---- b ----
    QTest::newRow("b en A")
        << QByteArray("b" "001" "CIP0001" "00030" "02"
                      "CANAL00001" "00050" "00020" "XXXXXX"
                      "CANAL00002" "00050" "00010" "YYYYYY")
        << EnA
        << Bloc({ "- b - reponse information article --------", "   poste: 001 CIP: CIP0001 Qtot= 00030",
                  "   canal:CANAL00001 capacite:00050 Q=00020", "   canal:CANAL00002 capacite:00050 Q=00010" });
    QTest::newRow("b en B")
        << "b" "001" + CodeLongB + "00030" "01" "CANAL-B-00000001" "00050" "00030" + QByteArray(54, 'Z') << EnB
        << Bloc({ "- b - reponse information article --------", "   poste: 001 CIP: PRODUIT-B-000 Qtot= 00030",
                  "   canal:CANAL-B-00000001 cap:00050 Q=00030" });
    QTest::newRow("b sans position") << QByteArray("b" "001" "CIP0001" "00000" "00") << EnA
                                     << Bloc({ "- b - reponse information article --------",
                                               "   poste: 001 CIP: CIP0001 Qtot= 00000",
                                               " ***** PAS DE POSITION PRODUIT *****" });
    QTest::newRow("b compte vide") << QByteArray("b" "001" "CIP0001" "00000") << EnA
                                   << Bloc({ "- b - reponse information article --------",
                                             "   poste: 001 CIP: CIP0001 Qtot= 00000",
                                             " ***** PAS DE POSITION PRODUIT *****" });
    QTest::newRow("b autre norme") << QByteArray("b" "001" "CIP0001" "00030" "01") << Autre
                                   << Bloc({ "- b - reponse information article --------",
                                             "   poste: 001 CIP:  Qtot= ", " ***** PAS DE POSITION PRODUIT *****" });

    // ---- E ----
    QTest::newRow("E en A") << QByteArray("E" "00000012" "001" " CIP01 " "00005" "340093000001 " "240131") << EnA
                            << Bloc({ "- E - information de remplissage ---------",
                                      "   cde:00000012  poste:001  CIP:CIP01",
                                      "  Q:00005 EAN:340093000001 dateP:240131" });
    QTest::newRow("E en B")
        << QByteArray("E" "00000012" "001" "  PRODUIT-B-0001    " "00005" "3400930000001       " "20240131") << EnB
        << Bloc({ "- E - information de remplissage ---------", "   cde:00000012  poste:001  CIP:PRODUIT-B-0001",
                  "  Q:00005 EAN:3400930000001 dateP:20240131" });
    QTest::newRow("E autre norme") << QByteArray("E" "00000012" "001" "CIP0001") << Autre
                                   << Bloc({ "- E - information de remplissage ---------",
                                             "   cde:00000012  poste:001  CIP:", "  Q: EAN: dateP:" });

    // ---- e ----
    QTest::newRow("e en A") << QByteArray("e" "00000012" "001" "CIP0001" "00050" "CANAL00001" "04") << EnA
                            << Bloc({ "- e - reponse demande de remplissage -----",
                                      "   cde:00000012  poste:001  CIP:CIP0001",
                                      "  Capacite/Quant: 00050  Canal:CANAL00001     - 04 - fin de remplissage" });
    QTest::newRow("e en B") << "e" "00000012" "001" + CodeB1 + "00050" "CANAL-B-00000001" "03" << EnB
                            << Bloc({ "- e - reponse demande de remplissage -----",
                                      "   cde:00000012  poste:001  CIP:PRODUIT-B-0001",
                                      "  Capacite/Quant: 00050  Canal:CANAL-B-00000001     - 03 - remplissage interompu" });
    QTest::newRow("e 02 inconnu") << QByteArray("e" "00000012" "001" "CIP0001" "00050" "CANAL00001" "02") << EnA
                                  << Bloc({ "- e - reponse demande de remplissage -----",
                                            "   cde:00000012  poste:001  CIP:CIP0001",
                                            "  Capacite/Quant: 00050  Canal:CANAL00001     - 02 - Status de remplissage inconnue" });
    QTest::newRow("e autre norme") << QByteArray("e" "00000012" "001" "CIP0001" "00050" "CANAL00001" "04") << Autre
                                   << Bloc({ "- e - reponse demande de remplissage -----",
                                             "   cde:00000012  poste:001  CIP:",
                                             "  Capacite/Quant:   Canal:     -  - Status de remplissage inconnue" });

    // ---- I ----
    QTest::newRow("I en A") << QByteArray("I" "00000077" "XXX" "CIP0001" "00003" "240131" "02") << EnA
                            << Bloc({ "- I - reponse info de rangement ----------", "  nTrans:00000077",
                                      "  cip: CIP0001", "  date: 240131  Qt: 00003  status: 02",
                                      U(" - article doit etre stocké avec date peremption") });
    QTest::newRow("I en B") << "I" "00000077" "XXX" + CodeB1 + "00003" "20240131" "05" << EnB
                            << Bloc({ "- I - reponse info de rangement ----------", "  nTrans:00000077",
                                      "  cip: PRODUIT-B-0001      ", "  date: 20240131  Qt: 00003  status: 05",
                                      U(" - produit autorisé à entrer dans l'automate mais parti frigo") });
    QTest::newRow("I statut inconnu") << QByteArray("I" "00000077" "XXX" "CIP0001" "00003" "240131" "03") << EnA
                                      << Bloc({ "- I - reponse info de rangement ----------", "  nTrans:00000077",
                                                "  cip: CIP0001", "  date: 240131  Qt: 00003  status: 03",
                                                " - Status de remplissage inconnue" });
    QTest::newRow("I autre norme") << QByteArray("I" "00000077" "XXX" "CIP0001" "00003" "240131" "00") << Autre
                                   << Bloc({ "- I - reponse info de rangement ----------",
                                             " - Status de remplissage inconnue" });

    // ---- i ----
    const QByteArray vig = "VIGNETTE-000000000000000000001"; // 30
    QTest::newRow("i en A")
        << "i" "00000077" "XXX" "BL0000000001" "CIP0001" "3400930000001" "00003" "240131" "02" + vig << EnA
        << Bloc({ "- i - demande de l'autom. info rangement -", "  nTrans:00000077 nBL: BL0000000001",
                  "  cip: CIP0001  EAN:3400930000001", "  date: 240131  Qt: 00003  status: 02",
                  "  vig: " + QString::fromLatin1(vig), " - info debut reception cde" });
    QTest::newRow("i en B")
        << "i" "00000077" "XXX" "BL-B-000000000000001" + CodeB1 + " 3400930000001      "
               "ZZZZZZZZZZZZZZZZZZZZ" "00003" "YYYYYYYY" "20240131" "07"
        << EnB
        << Bloc({ "- i - demande de l'autom. info rangement -", "  nTrans:00000077 nBL: BL-B-000000000000001",
                  "  cip: PRODUIT-B-0001        EAN:3400930000001", "  date: 20240131  Qt: 00003  status: 07",
                  " - interruption" });
    QTest::newRow("i statut inconnu") << QByteArray("i" "00000077") << EnA
                                      << Bloc({ "- i - demande de l'autom. info rangement -",
                                                "  nTrans:00000077 nBL: ", "  cip:   EAN:",
                                                "  date:   Qt:   status: ", "  vig: ",
                                                " - Status de remplissage inconnue" });
    QTest::newRow("i autre norme") << QByteArray("i" "00000077") << Autre
                                   << Bloc({ "- i - demande de l'autom. info rangement -",
                                             " - Status de remplissage inconnue" });

    // ---- K, k ----
    QTest::newRow("K en A") << QByteArray("K" "001" "CIP0001" "10") << EnA
                            << Bloc({ "- K - demande controle de quantites ------",
                                      "  poste:001  CIPdebut:CIP0001 sur 10 lig." });
    QTest::newRow("K en B") << "K" "001" + CodeB1 + "10" << EnB
                            << Bloc({ "- K - demande controle de quantites ------",
                                      "  poste:001  CIPdebut:PRODUIT-B-0001       sur 10 lig." });
    QTest::newRow("K autre norme") << QByteArray("K" "001" "CIP0001" "10") << Autre
                                   << Bloc({ "- K - demande controle de quantites ------" });
    QTest::newRow("k en A") << QByteArray("k" "001" "CIP0001" "02" "CIP0001" "00012" "CIP0002" "00000") << EnA
                            << Bloc({ "- k - reponse controle de quantites ------", "  poste:001  CIPdebut:CIP0001",
                                      "     cip CIP0001   Q en stock = 00012", "     cip CIP0002   Q en stock = 00000" });
    QTest::newRow("k en B") << "k" "001" + CodeB1 + "01" + CodeB1 + "00012" << EnB
                            << Bloc({ "- k - reponse controle de quantites ------",
                                      "  poste:001  CIPdebut:PRODUIT-B-0001      ",
                                      "   cip PRODUIT-B-0001       Qstock = 00012" });
    QTest::newRow("k autre norme") << QByteArray("k" "001" "CIP0001" "01" "CIP0001" "00012") << Autre
                                   << Bloc({ "- k - reponse controle de quantites ------" });

    // ---- types à disposition unique, lus pareil dans toutes les variantes ----
    QTest::newRow("O") << QByteArray("O" "001" "00000012") << Toutes
                       << Bloc({ "- O - demande status d'une commande ------", "   cde: 00000012  poste: 001" });
    QTest::newRow("o avec texte Windows-1252") << QByteArray("o" "001" "00000012" "04" "011" "Termin\xe9" "e ok")
                                               << Toutes
                                               << Bloc({ "- o - reponse status d'une commande ------",
                                                         "   cde: 00000012  poste: 001",
                                                         "     - 04 - commande terminee", U("   Terminée ok") });
    QTest::newRow("o 02 inconnu, texte vide") << QByteArray("o" "001" "00000012" "02" "000") << Toutes
                                              << Bloc({ "- o - reponse status d'une commande ------",
                                                        "   cde: 00000012  poste: 001",
                                                        "     - 02 - Status de commande inconnue", "   " });
    QTest::newRow("p") << QByteArray("p" "001" "CIP0001" "3400930000001") << Toutes
                       << Bloc({ "- p - demande de l'automate info produit -",
                                 "   poste: 001  CIP: CIP0001  EAN: 3400930000001" });
    const QByteArray libelle = QByteArray("DOLIPRANE 500MG CPR B/16").leftJustified(40, ' ');
    QTest::newRow("P") << "P" "001" "CIP0001" + libelle + "CPR" "0000000016" "3400930000001" "261231" << Toutes
                       << Bloc({ "- P - reponse info produit ---------------",
                                 "   poste: 001  CIP: CIP0001  libelle: " + QString::fromLatin1(libelle),
                                 "forme: CPR  Q par boite: 0000000016  EAN: 3400930000001",
                                 "date peremption: 261231" });
    QTest::newRow("R du service") << QByteArray("R9010112002AR\0", 14) << Toutes
                                  << Bloc({ "- R - Identification ---------------------",
                                            "   poste: 901  version protocole: 0112",
                                            "     dialogue utilises: AR" });
    QTest::newRow("r comme R") << QByteArray("r9010112002AR\0", 14) << Toutes
                               << Bloc({ "- r - Identification ---------------------",
                                         "   poste: 901  version protocole: 0112",
                                         "     dialogue utilises: AR" });
    QTest::newRow("NUL dans un champ : visible") << QByteArray("R9010112003AR\0", 14) << Toutes
                                                 << Bloc({ "- R - Identification ---------------------",
                                                           "   poste: 901  version protocole: 0112",
                                                           U("     dialogue utilises: AR\u2400") });
    QTest::newRow("CR LF dans un champ : visibles") << QByteArray("S0\r\n") << Toutes
                                                    << Bloc({ "- S - demande du status d'installation ---",
                                                              U("  poste: 0\u240d\u240a") });
    QTest::newRow("S") << QByteArray("S001") << Toutes
                       << Bloc({ "- S - demande du status d'installation ---", "  poste: 001" });
    QTest::newRow("s 06") << QByteArray("s" "001" "06" "005" "PLEIN") << Toutes
                          << Bloc({ "- s - reponse du status d'installation ---", "  poste: 001",
                                    "     - 06 - file d'attente pleine", "   PLEIN" });
    QTest::newRow("s 02") << QByteArray("s" "001" "02" "000") << Toutes
                          << Bloc({ "- s - reponse du status d'installation ---", "  poste: 001",
                                    "     - 02 - installation en defaillance partielle", "   " });
    QTest::newRow("s inconnu") << QByteArray("s" "001" "09") << Toutes
                               << Bloc({ "- s - reponse du status d'installation ---", "  poste: 001",
                                         "     - 09 - Status de l'installation inconnue", "   " });

    // ---- types inconnus : deux appels ----
    QTest::newRow("vide") << QByteArray() << Toutes << QStringList{ "COMMANDE INCONNUE : ''", "()" };
    QTest::newRow("X123") << QByteArray("X123") << Toutes << QStringList{ "COMMANDE INCONNUE : 'X'", "(X123)" };
    QTest::newRow("chiffre") << QByteArray("5abc") << Toutes << QStringList{ "COMMANDE INCONNUE : '5'", "(5abc)" };
    QTest::newRow("NUL en tete") << QByteArray("\0ab", 3) << Toutes
                                 << QStringList{ U("COMMANDE INCONNUE : '\u2400'"), U("(\u2400ab)") };
}

void TestTraceCdapi::trace()
{
    QFETCH(QByteArray, message);
    QFETCH(QStringList, normes);
    QFETCH(QStringList, attendu);
    for (const QString& norme : normes) {
        const QStringList obtenu = TraduitMsgCDAPI(message, norme);
        if (obtenu != attendu)
            qWarning().noquote() << "norme" << norme << ":\n" << obtenu.join(QStringLiteral("\n|"));
        QCOMPARE(obtenu, attendu);
    }
}

QTEST_GUILESS_MAIN(TestTraceCdapi)
#include "TestTraceCdapi.moc"
