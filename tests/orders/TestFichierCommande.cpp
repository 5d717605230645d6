#include "orders/FichierCommande.h"

#include <QTest>

using MotCle = FichierCommande::MotCle;
Q_DECLARE_METATYPE(FichierCommande::MotCle)

class TestFichierCommande : public QObject
{
    Q_OBJECT
private slots:
    void decoupeLignes_data();
    void decoupeLignes();
    void classeLigne_data();
    void classeLigne();
    void affichageBrut_data();
    void affichageBrut();
    void copiePassation_data();
    void copiePassation();
    void vueFichier_data();
    void vueFichier();
};

void TestFichierCommande::decoupeLignes_data()
{
    QTest::addColumn<QByteArray>("contenu");
    QTest::addColumn<QList<QByteArray>>("lignes");
    QTest::newRow("vide") << QByteArray() << QList<QByteArray>{};
    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QList<QByteArray>{ "a", "b" };
    QTest::newRow("CR seul") << QByteArray("a\rb\r") << QList<QByteArray>{ "a", "b" };
    QTest::newRow("LF seul") << QByteArray("a\nb\n") << QList<QByteArray>{ "a", "b" };
    QTest::newRow("derniere sans fin") << QByteArray("a\r\nb") << QList<QByteArray>{ "a", "b" };
    QTest::newRow("lignes vides") << QByteArray("\r\n\r\nx\r\n")
                                  << QList<QByteArray>{ "", "", "x" };
    QTest::newRow("CR puis CR LF") << QByteArray("a\r\r\nb") << QList<QByteArray>{ "a", "", "b" };
    QTest::newRow("LF puis CR") << QByteArray("a\n\rb") << QList<QByteArray>{ "a", "", "b" };
    QTest::newRow("octets hauts") << QByteArray("caf\xE9\r\n\x80\xFF")
                                  << QList<QByteArray>{ "caf\xE9", "\x80\xFF" };
}

void TestFichierCommande::decoupeLignes()
{
    QFETCH(QByteArray, contenu);
    QFETCH(QList<QByteArray>, lignes);
    QCOMPARE(FichierCommande::DecoupeLignes(contenu), lignes);
}

void TestFichierCommande::classeLigne_data()
{
    QTest::addColumn<QByteArray>("ligne");
    QTest::addColumn<MotCle>("motCle");
    QTest::addColumn<bool>("masquee");
    QTest::newRow("protocol") << QByteArray("protocol: CDE") << MotCle::Protocol << true;
    QTest::newRow("Protocol capitale") << QByteArray("Protocol: CDE") << MotCle::Aucun << false;
    QTest::newRow("transpor") << QByteArray("transport: coursier") << MotCle::Transpor << true;
    QTest::newRow("vendeur") << QByteArray("vendeur  : 12") << MotCle::Vendeur << true;
    QTest::newRow("poste") << QByteArray("poste    : 003") << MotCle::Poste << true;
    QTest::newRow("post seul") << QByteArray("post") << MotCle::Aucun << false;
    QTest::newRow("status") << QByteArray("status") << MotCle::Status << true;
    QTest::newRow("status suivi de lettres") << QByteArray("statusXY: 1") << MotCle::Status << true;
    QTest::newRow("status precede d'un blanc") << QByteArray(" status") << MotCle::Aucun << false;
    QTest::newRow("priorites") << QByteArray("priorites: haute") << MotCle::Priorite << true;
    QTest::newRow("priorit trop court") << QByteArray("priorit") << MotCle::Aucun << false;
    QTest::newRow("ordre") << QByteArray("ordre    : 4521") << MotCle::Ordre << false;
    QTest::newRow("C.rendu") << QByteArray("C.rendu  : x") << MotCle::CRendu << false;
    QTest::newRow("P.Recept") << QByteArray("P.Recept : 002") << MotCle::PRecept << false;
    QTest::newRow("P.recept minuscule") << QByteArray("P.recept : 002") << MotCle::Aucun << false;
    QTest::newRow("date") << QByteArray("date     : 12/03/2024") << MotCle::Date << false;
    QTest::newRow("cip Qt") << QByteArray("cip Qt   : 3400930000001      001") << MotCle::CipQt
                            << false;
    QTest::newRow("cip qt minuscule") << QByteArray("cip qt   : 1") << MotCle::Aucun << false;
    QTest::newRow("vide") << QByteArray() << MotCle::Aucun << false;
    QTest::newRow("inconnue") << QByteArray("commentaire libre") << MotCle::Aucun << false;
}

void TestFichierCommande::classeLigne()
{
    QFETCH(QByteArray, ligne);
    QFETCH(MotCle, motCle);
    QFETCH(bool, masquee);
    QCOMPARE(FichierCommande::ClasseLigne(ligne), motCle);
    QCOMPARE(FichierCommande::EstMasqueeALAffichage(FichierCommande::ClasseLigne(ligne)), masquee);
}

void TestFichierCommande::affichageBrut_data()
{
    QTest::addColumn<QByteArray>("contenu");
    QTest::addColumn<QString>("attendu");
    const QString chemin = QStringLiteral("/ech/CD1.txt\r\n");
    QTest::newRow("commande complete")
        << QByteArray("protocol: CDE\r\ntranspor: x\r\nvendeur: 1\r\nposte: 003\r\nstatus: 0\r\n"
                      "priorite: 1\r\nordre: 77\r\nC.rendu: y\r\nP.Recept: 009\r\ndate: 1/2\r\n"
                      "cip Qt   : 3400930000001        001 suite\r\n")
        << chemin
               + QStringLiteral("ordre: 77\r\nC.rendu: y\r\nP.Recept: 009\r\ndate: 1/2\r\n"
                                "cip Qt   : 3400930000001        001 suite\r\n");
    QTest::newRow("fichier vide") << QByteArray() << chemin;
    QTest::newRow("Protocol, post, status") << QByteArray("Protocol: A\npost\nstatusZ\n status\n")
                                            << chemin
                                                   + QStringLiteral("Protocol: A\r\npost\r\n"
                                                                    " status\r\n");
    QTest::newRow("Windows-1252") << QByteArray("ordre: caf\xE9 \x80\r") << chemin
                                                                      + QStringLiteral(
                                                                          "ordre: caf\u00E9 "
                                                                          "\u20AC\r\n");
    QTest::newRow("lignes vides gardees") << QByteArray("\r\n\r\nposte: 1\r\n")
                                          << chemin + QStringLiteral("\r\n\r\n");
}

void TestFichierCommande::affichageBrut()
{
    QFETCH(QByteArray, contenu);
    QFETCH(QString, attendu);
    QCOMPARE(FichierCommande::TexteAffichageBrut(QStringLiteral("/ech/CD1.txt"), contenu), attendu);
}

void TestFichierCommande::copiePassation_data()
{
    QTest::addColumn<QByteArray>("contenu");
    QTest::addColumn<QString>("gare");
    QTest::addColumn<QByteArray>("copie");
    QTest::newRow("commande ordinaire")
        << QByteArray("protocol: CDE\r\nposte: 003\r\nP.Recept: 009\r\ncip Qt    : 1   002\r\n")
        << "002"
        << QByteArray("protocol: Fich-Pelorane\r\nposte: 003\r\nP.Recept: 002\r\n"
                      "cip Qt    : 1   002\r\n");
    QTest::newRow("deux P.Recept") << QByteArray("P.Recept: 1\r\nordre: 5\r\nP.Recept: 2\r\n")
                                   << "004"
                                   << QByteArray("P.Recept: 004\r\nordre: 5\r\nP.Recept: 004\r\n");
    QTest::newRow("sans P.Recept ni protocol") << QByteArray("ordre: 5\r\ndate: x\r\n") << "001"
                                               << QByteArray("ordre: 5\r\ndate: x\r\n");
    QTest::newRow("derniere ligne sans fin") << QByteArray("ordre: 5\r\ndate: x") << "001"
                                             << QByteArray("ordre: 5\r\ndate: x\r\n");
    QTest::newRow("autre protocole") << QByteArray("protocol: AUTRE-PROTOCOLE-TRES-LONG\r\n")
                                     << "001" << QByteArray("protocol: Fich-Pelorane\r\n");
    QTest::newRow("P.Recept prolonge") << QByteArray("P.Receptionnaire: 0123456789ABCDEF\r\n")
                                       << "003" << QByteArray("P.Recept: 003\r\n");
    QTest::newRow("casse differente gardee") << QByteArray("Protocol: X\r\nP.recept: 9\r\n") << "003"
                                             << QByteArray("Protocol: X\r\nP.recept: 9\r\n");
    QTest::newRow("octets hauts") << QByteArray("ordre: \xE9\x80\xFF\x81\r\nP.Recept: \xE9\r\n")
                                  << "007" << QByteArray("ordre: \xE9\x80\xFF\x81\r\nP.Recept: 007\r\n");
    QTest::newRow("fins LF et CR") << QByteArray("a\nP.Recept: 1\rb") << "002"
                                   << QByteArray("a\r\nP.Recept: 002\r\nb\r\n");
    QTest::newRow("lignes vides") << QByteArray("\r\n\r\n") << "001" << QByteArray("\r\n\r\n");
    QTest::newRow("vide") << QByteArray() << "001" << QByteArray();
}

void TestFichierCommande::copiePassation()
{
    QFETCH(QByteArray, contenu);
    QFETCH(QString, gare);
    QFETCH(QByteArray, copie);
    QCOMPARE(FichierCommande::CopiePassation(contenu, gare), copie);
}

void TestFichierCommande::vueFichier_data()
{
    QTest::addColumn<QByteArray>("contenu");
    QTest::addColumn<QString>("attendu");
    const QString entete = QStringLiteral("------ fichier : /ech/RT1.txt ------\r\n");
    QTest::newRow("toutes les lignes") << QByteArray("protocol: A\r\nposte: 1\nordre: 2")
                                       << entete
                                              + QStringLiteral("protocol: A\r\nposte: 1\r\n"
                                                               "ordre: 2\r\n");
    QTest::newRow("vide") << QByteArray() << entete;
    QTest::newRow("Windows-1252") << QByteArray("pr\xE9par\xE9\r\n")
                                  << entete + QStringLiteral("pr\u00E9par\u00E9\r\n");
}

void TestFichierCommande::vueFichier()
{
    QFETCH(QByteArray, contenu);
    QFETCH(QString, attendu);
    QCOMPARE(FichierCommande::TexteVueFichier(QStringLiteral("/ech/RT1.txt"), contenu), attendu);
}

QTEST_GUILESS_MAIN(TestFichierCommande)
#include "TestFichierCommande.moc"
