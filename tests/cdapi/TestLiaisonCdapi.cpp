#include "HoteCdapi.h"
#include "base/HorlogeSysteme.h"
#include "base/JournalStatut.h"
#include "cdapi/LiaisonCdapi.h"
#include "commun/HorlogeTest.h"
#include "config/Configuration.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

namespace {

const QByteArray Identification("R9010112002AR\0", 14);
const QByteArray Ack(1, char(6));
const QString TraceIdentification = QStringLiteral("- R - Identification ---------------------\r\n"
                                                   "   poste: 901  version protocole: 0112\r\n"
                                                   "     dialogue utilises: AR\r\n")
                                    + QString(42, QLatin1Char('-'));

QString Echappe(const QString& texte)
{
    return QRegularExpression::escape(texte);
}

// Le journal doit être exactement ce motif (les points d'attente de connexion
// varient d'une machine à l'autre et sont écrits "\.*").
void VerifieJournal(const JournalStatut& journal, const QString& motif)
{
    const QRegularExpression re(QStringLiteral("\\A") + motif + QStringLiteral("\\z"));
    if (!re.match(journal.Texte()).hasMatch())
        QFAIL(qPrintable(QStringLiteral("journal inattendu :\n") + journal.Texte()));
}

// Port de boucle locale où personne n'écoute.
quint16 PortSansEcoute()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    const quint16 port = s.serverPort();
    s.close();
    return port;
}

struct Banc
{
    JournalStatut journal;
    HorlogeSysteme horloge;
    Configuration config;
    HoteCdapi hote;
    std::unique_ptr<LiaisonCdapi> liaison;

    Banc()
    {
        hote.Ecoute();
        config.CdapiAdrServeur = QStringLiteral("127.0.0.1");
        config.CdapiPortServeur = QString::number(hote.Port());
        liaison = std::make_unique<LiaisonCdapi>(journal, horloge, config);
    }
    QString LigneConnexion() const
    {
        return Echappe(QStringLiteral("demande connection sur 127.0.0.1 port ") + config.CdapiPortServeur);
    }
    // Liaison établie par le test de liaison, puis hôte et journal remis à blanc.
    bool Connecte()
    {
        liaison->Bt_TestLiaisonCDAPI_Click();
        if (liaison->EtatTCPIP() != 7 || hote.Recu() != Identification)
            return false;
        hote.Oublie();
        journal.MessageStatus(QStringLiteral("clear"));
        return true;
    }
};

} // namespace

class TestLiaisonCdapi : public QObject
{
    Q_OBJECT
private slots:
    void identificationAcquittee();
    void adresseOuPortVide_data();
    void adresseOuPortVide();
    void connexionImpossible_data();
    void connexionImpossible();
    void connexionSansFin();
    void hoteMuet();
    void reponseAutomatiqueA_data();
    void reponseAutomatiqueA();
    void reponseAutomatiqueR();
    void ackSeul();
    void ackColleAUneReponse();
    void arriveesIgnorees_data();
    void arriveesIgnorees();
    void troisMessagesPendantAttente();
    void homologueFerme();
    void fileRemplie();
    void fermeture();
};

void TestLiaisonCdapi::identificationAcquittee()
{
    Banc b;
    b.journal.MessageStatus(QStringLiteral("ligne d'avant"));
    b.liaison->Bt_TestLiaisonCDAPI_Click();

    QCOMPARE(b.hote.Recu(), Identification);
    QCOMPARE(b.liaison->EtatTCPIP(), 7);
    QCOMPARE(b.liaison->NombreMsgEnAttente(), 0);
    VerifieJournal(b.journal, Echappe(TraceIdentification + QStringLiteral("\r\nport ferme\r\n"))
                                  + b.LigneConnexion() + QStringLiteral("\r\n\\.*"));

    // L'hôte répond par son identification : elle est acquittée et tracée.
    b.journal.MessageStatus(QStringLiteral("clear"));
    b.hote.Oublie();
    b.hote.Envoie(QByteArray("r0420112002AR\0", 14));
    QTRY_COMPARE(b.hote.Recu(), Ack);
    QCOMPARE(b.journal.Texte(), QStringLiteral("- r - Identification ---------------------\r\n"
                                               "   poste: 042  version protocole: 0112\r\n"
                                               "     dialogue utilises: AR\r\n")
                                    + QString(42, QLatin1Char('-')) + QStringLiteral("\r\n"));
}

void TestLiaisonCdapi::adresseOuPortVide_data()
{
    QTest::addColumn<QString>("adresse");
    QTest::addColumn<QString>("port");
    QTest::newRow("adresse vide") << QString() << QStringLiteral("43323");
    QTest::newRow("port vide") << QStringLiteral("127.0.0.1") << QString();
}

void TestLiaisonCdapi::adresseOuPortVide()
{
    QFETCH(QString, adresse);
    QFETCH(QString, port);
    JournalStatut journal;
    HorlogeTest horloge;
    Configuration config;
    config.CdapiAdrServeur = adresse;
    config.CdapiPortServeur = port;
    LiaisonCdapi liaison(journal, horloge, config);

    const qint64 debut = horloge.get_exact_milli_second();
    liaison.Bt_TestLiaisonCDAPI_Click();
    QCOMPARE(journal.Texte(),
             TraceIdentification
                 + QStringLiteral("\r\nIMPOSSIBLE D'ENVOYER EN TCPIP car il manque l'adresse ou le port\r\n"
                                  "SUPPRESSION DE TOUS LES MESSAGES A ENVOYER cause 9 sur R9010112002AR\r\n"));
    QCOMPARE(liaison.NombreMsgEnAttente(), 0);
    QCOMPARE(liaison.EtatTCPIP(), 0);
    // La pause de 0,25 s après l'abandon : première lecture au-delà de 250 ms.
    QCOMPARE(horloge.get_exact_milli_second() - debut, qint64(260));
}

void TestLiaisonCdapi::connexionImpossible_data()
{
    QTest::addColumn<QString>("port");
    QTest::newRow("personne n'ecoute") << QString::number(PortSansEcoute());
    QTest::newRow("port hors plage") << QStringLiteral("70000");
    QTest::newRow("port non numerique") << QStringLiteral("abc");
}

void TestLiaisonCdapi::connexionImpossible()
{
    QFETCH(QString, port);
    Banc b;
    b.config.CdapiPortServeur = port;
    b.liaison->Bt_TestLiaisonCDAPI_Click();
    VerifieJournal(b.journal, Echappe(TraceIdentification + QStringLiteral("\r\nport ferme\r\n")) + b.LigneConnexion()
                                  + QStringLiteral("\r\n\\.*port Erreur\r\n")
                                  + Echappe(QStringLiteral("SUPPRESSION DE TOUS LES MESSAGES A ENVOYER cause 9 sur "
                                                           "R9010112002AR\r\n")));
    QCOMPARE(b.liaison->EtatTCPIP(), 9);
    QCOMPARE(b.hote.NombreConnexions(), 0);

    // L'envoi suivant ferme ce qui reste ("demande close") et retente.
    b.journal.MessageStatus(QStringLiteral("clear"));
    b.config.CdapiPortServeur = QString::number(b.hote.Port());
    b.liaison->AjouteMsgCDAPI("S001", QString(), true);
    b.liaison->EnvoiMsgCDAPI();
    QCOMPARE(b.hote.Recu(), QByteArray("S001"));
    VerifieJournal(b.journal, Echappe(QStringLiteral("- S - demande du status d'installation ---\r\n  poste: 001\r\n")
                                      + QString(42, QLatin1Char('-'))
                                      + QStringLiteral("\r\nport Erreur\r\ndemande close\r\n"))
                                  + b.LigneConnexion() + QStringLiteral("\r\n\\.*"));
}

// Un serveur dont la file d'attente de connexions est pleine ne répond plus aux
// demandes : la socket reste "en cours de connection" jusqu'à la limite de 5 s.
void TestLiaisonCdapi::connexionSansFin()
{
    const int ecoute = ::socket(AF_INET, SOCK_STREAM, 0);
    const int occupant = ::socket(AF_INET, SOCK_STREAM, 0);
    QVERIFY(ecoute >= 0 && occupant >= 0);
    sockaddr_in adresse{};
    adresse.sin_family = AF_INET;
    adresse.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t taille = sizeof adresse;
    QCOMPARE(::bind(ecoute, reinterpret_cast<sockaddr*>(&adresse), taille), 0);
    QCOMPARE(::listen(ecoute, 0), 0);
    QCOMPARE(::getsockname(ecoute, reinterpret_cast<sockaddr*>(&adresse), &taille), 0);
    QCOMPARE(::connect(occupant, reinterpret_cast<sockaddr*>(&adresse), taille), 0);

    JournalStatut journal;
    HorlogeTest horloge;
    Configuration config;
    config.CdapiPortServeur = QString::number(ntohs(adresse.sin_port));
    LiaisonCdapi liaison(journal, horloge, config);
    liaison.Bt_TestLiaisonCDAPI_Click();
    ::close(occupant);
    ::close(ecoute);

    // 20 passes de 0,06 s puis des passes de 0,51 s : la 29e trouve 5 s dépassées.
    QCOMPARE(journal.Texte(),
             TraceIdentification + QStringLiteral("\r\nport ferme\r\ndemande connection sur 127.0.0.1 port ")
                 + config.CdapiPortServeur + QStringLiteral("\r\n") + QString(28, QLatin1Char('.'))
                 + QStringLiteral("délai de connection dépassé (5 s)\r\nport Erreur\r\n"
                                  "SUPPRESSION DE TOUS LES MESSAGES A ENVOYER cause 9 sur R9010112002AR\r\n"));
    QCOMPARE(liaison.EtatTCPIP(), 9);
}

void TestLiaisonCdapi::hoteMuet()
{
    Banc b;
    b.hote.RegleAck(false);
    b.liaison->Bt_TestLiaisonCDAPI_Click();
    QElapsedTimer montre;
    montre.start();
    const qint64 fin = montre.msecsSinceReference();

    QCOMPARE(b.hote.Recu(), Identification);
    QVERIFY(b.journal.Texte().endsWith(
        QStringLiteral("SUPPRESSION DE TOUS LES MESSAGES A ENVOYER cause 5 sur R9010112002AR\r\n")));
    // 2 s d'attente de l'ACK, puis la pause de 0,25 s.
    const qint64 duree = fin - b.hote.Arrivees().first().instantMs;
    QVERIFY2(duree >= 2200 && duree < 3500, qPrintable(QString::number(duree)));
    QCOMPARE(b.liaison->NombreMsgEnAttente(), 0);
}

void TestLiaisonCdapi::reponseAutomatiqueA_data()
{
    QTest::addColumn<QString>("norme");
    QTest::addColumn<QByteArray>("reponse");
    QTest::newRow("CDAPI-A") << QStringLiteral("CDAPI-A")
                             << QByteArray("a" "00000012" "001" "003" "01" "02" "CIP0001" "00002" "CIP0002" "00004");
    QTest::newRow("CDAPI-B") << QStringLiteral("CDAPI-B")
                             << QByteArray("a" "00000012" "001" "003" "01" "02"
                                           "PRODUIT-B-0001      " "00002" "RESERVE-01"
                                           "PRODUIT-B-0002      " "00004" "RESERVE-02");
    QTest::newRow("autre norme") << QStringLiteral("CDAPI-Z")
                                 << QByteArray("a" "00000012" "001" "003" "01" "02" "CIP0001" "00002" "CIP0002" "00004");
}

// La réponse a attend son ACK depuis le traitement d'une réception : l'ACK doit
// être vu, sans quoi la réponse et la réponse nulle seraient abandonnées (cause 5).
void TestLiaisonCdapi::reponseAutomatiqueA()
{
    QFETCH(QString, norme);
    QFETCH(QByteArray, reponse);
    Banc b;
    b.config.NormeCDAPI = norme;
    QVERIFY(b.Connecte());

    const QByteArray demande = HoteCdapi::DemandeEjection(norme, 2);
    QCOMPARE(demande.size(), norme == QLatin1String("CDAPI-B") ? 90 : 44);
    b.hote.Envoie(demande);
    const QByteArray attendu = Ack + reponse + "a0000000000000000000";
    QTRY_COMPARE_WITH_TIMEOUT(b.hote.Recu(), attendu, 6000);
    QTRY_COMPARE(b.liaison->NombreMsgEnAttente(), 0);

    const QString j = b.journal.Texte();
    QVERIFY2(!j.contains(QStringLiteral("SUPPRESSION")), qPrintable(j));
    QVERIFY(j.startsWith(QStringLiteral("- A - demande d'ejection -----------------\r\n"
                                        "   cde: 00000012  poste: 001  sortie: 003\r\n"
                                        "     - 3 - priorite normale\r\n")));
    QCOMPARE(j.count(QStringLiteral("- a - reponse a la demande d'ejection ----\r\n")), 2);
    QVERIFY(j.contains(QStringLiteral("   cde: 00000012  poste: 001  sortie: 003\r\n     - 01 - commande en attente")));
    QVERIFY(j.endsWith(QStringLiteral("   cde: 00000000  poste: 000  sortie: 000\r\n     - 00 - commande en cours\r\n")
                       + QString(42, QLatin1Char('-')) + QStringLiteral("\r\n")));
}

void TestLiaisonCdapi::reponseAutomatiqueR()
{
    Banc b;
    QVERIFY(b.Connecte());
    b.hote.Envoie(QByteArray("R9010112002AR\0", 14));
    QTRY_COMPARE(b.hote.Recu(), Ack + QByteArray("r9010112002AR\0", 14));
    QTRY_COMPARE(b.liaison->NombreMsgEnAttente(), 0);
    QVERIFY(!b.journal.Texte().contains(QStringLiteral("SUPPRESSION")));
    QCOMPARE(b.journal.Texte().count(QStringLiteral("- R - Identification")), 1);
    QCOMPARE(b.journal.Texte().count(QStringLiteral("- r - Identification")), 1);
}

void TestLiaisonCdapi::ackSeul()
{
    Banc b;
    QVERIFY(b.Connecte());
    b.hote.Envoie(Ack);
    QTest::qWait(200);
    QCOMPARE(b.hote.Recu(), QByteArray());
    QCOMPARE(b.journal.Texte(), QString());
}

// L'hôte ne répond à l'identification que par ACK collé à une réponse a :
// l'ACK termine l'attente, la réponse est acquittée et tracée sans l'ACK.
void TestLiaisonCdapi::ackColleAUneReponse()
{
    Banc b;
    b.hote.RegleAck(false);
    connect(&b.hote, &HoteCdapi::arrivee, &b.hote, [&b](const QByteArray& octets) {
        if (octets.startsWith('R'))
            b.hote.Envoie(Ack + "a" "00000012" "001" "003" "04" "00");
    });
    b.liaison->Bt_TestLiaisonCDAPI_Click();
    QTRY_COMPARE(b.hote.Recu(), Identification + Ack);
    QVERIFY(!b.journal.Texte().contains(QStringLiteral("SUPPRESSION")));
    QVERIFY(b.journal.Texte().endsWith(QStringLiteral("- a - reponse a la demande d'ejection ----\r\n"
                                                      "   cde: 00000012  poste: 001  sortie: 003\r\n"
                                                      "     - 04 - message de fin de commande\r\n")
                                       + QString(42, QLatin1Char('-')) + QStringLiteral("\r\n")));
}

void TestLiaisonCdapi::arriveesIgnorees_data()
{
    QTest::addColumn<QByteArray>("octets");
    QTest::newRow("Z") << QByteArray("Z12345");
    QTest::newRow("chiffre") << QByteArray("5S001");
    QTest::newRow("ACK puis Z") << QByteArray("\x06Z12");
    QTest::newRow("NUL en tete") << QByteArray("\0S001", 5);
    QTest::newRow("blanc en tete") << QByteArray(" S001");
}

void TestLiaisonCdapi::arriveesIgnorees()
{
    QFETCH(QByteArray, octets);
    Banc b;
    QVERIFY(b.Connecte());
    b.hote.Envoie(octets);
    QTest::qWait(200);
    QCOMPARE(b.hote.Recu(), QByteArray());
    QCOMPARE(b.journal.Texte(), QString());
}

void TestLiaisonCdapi::troisMessagesPendantAttente()
{
    Banc b;
    b.hote.RegleAck(false);
    bool retourImmediat = false;
    connect(&b.hote, &HoteCdapi::arrivee, &b.hote, [&](const QByteArray& octets) {
        if (!octets.startsWith('R'))
            return;
        // Pendant l'attente de l'ACK de R : trois messages de plus.
        b.liaison->AjouteMsgCDAPI("S001", QString(), true);
        b.liaison->AjouteMsgCDAPI("O00100000012", QString(), true);
        b.liaison->AjouteMsgCDAPI("S002", QString(), true);
        b.liaison->EnvoiMsgCDAPI();
        retourImmediat = b.liaison->NombreMsgEnAttente() == 4;
        b.hote.RegleAck(true);
        b.hote.Envoie(Ack);
    });
    b.liaison->Bt_TestLiaisonCDAPI_Click();

    QVERIFY(retourImmediat);
    QCOMPARE(b.hote.Recu(), Identification + "S001" "O00100000012" "S002");
    QCOMPARE(b.liaison->NombreMsgEnAttente(), 0);
    const QString j = b.journal.Texte();
    QVERIFY(!j.contains(QStringLiteral("SUPPRESSION")));
    const qsizetype r = j.indexOf(QStringLiteral("- R - "));
    const qsizetype s1 = j.indexOf(QStringLiteral("  poste: 001\r\n"));
    const qsizetype o = j.indexOf(QStringLiteral("- O - "));
    const qsizetype s2 = j.indexOf(QStringLiteral("  poste: 002\r\n"));
    QVERIFY(r >= 0 && r < s1 && s1 < o && o < s2);
}

void TestLiaisonCdapi::homologueFerme()
{
    Banc b;
    QVERIFY(b.Connecte());
    b.hote.FermeConnexion();
    QTRY_COMPARE(b.liaison->EtatTCPIP(), 8);

    b.liaison->AjouteMsgCDAPI("S001", QString(), true);
    b.liaison->EnvoiMsgCDAPI();
    QCOMPARE(b.hote.NombreConnexions(), 2);
    QCOMPARE(b.hote.Recu(), QByteArray("S001"));
    QCOMPARE(b.liaison->EtatTCPIP(), 7);
    VerifieJournal(b.journal, Echappe(QStringLiteral("- S - demande du status d'installation ---\r\n  poste: 001\r\n")
                                      + QString(42, QLatin1Char('-'))
                                      + QStringLiteral("\r\nport Connexion en cours de fermeture par l'homologue\r\n"
                                                       "demande close\r\n"))
                                  + b.LigneConnexion() + QStringLiteral("\r\n\\.*"));
}

// 19 messages au plus attendent ; le vingtième est refusé et rien n'est écrasé,
// y compris quand l'anneau a déjà tourné.
void TestLiaisonCdapi::fileRemplie()
{
    Banc b;
    for (int tour = 0; tour < 2; ++tour) {
        QByteArray attendu;
        for (int i = 1; i <= 19; ++i) {
            const QByteArray m = "S" + QByteArray::number(100 * tour + i).rightJustified(3, '0');
            QVERIFY(b.liaison->AjouteMsgCDAPI(m, QString(), true));
            attendu += m;
        }
        QCOMPARE(b.liaison->NombreMsgEnAttente(), 19);
        b.journal.MessageStatus(QStringLiteral("clear"));
        QVERIFY(!b.liaison->AjouteMsgCDAPI("S999", QString(), true));
        QCOMPARE(b.journal.Texte(),
                 QString::fromUtf8("FILE DES MESSAGES A ENVOYER PLEINE, message refusé : S999\r\n"));
        QCOMPARE(b.liaison->NombreMsgEnAttente(), 19);

        b.hote.Oublie();
        b.liaison->EnvoiMsgCDAPI();
        QCOMPARE(b.hote.Recu(), attendu);
        QCOMPARE(b.liaison->NombreMsgEnAttente(), 0);
    }
}

void TestLiaisonCdapi::fermeture()
{
    Banc b;
    b.liaison->FermeLiaison();
    QCOMPARE(b.journal.Texte(), QString());

    QVERIFY(b.Connecte());
    b.liaison->FermeLiaison();
    QCOMPARE(b.journal.Texte(), QStringLiteral("fermeture de la liaison TCPIP client\r\n"));
    QCOMPARE(b.liaison->EtatTCPIP(), 0);
    QTRY_VERIFY(!b.hote.Connecte());
    b.liaison->FermeLiaison();
    QCOMPARE(b.journal.Texte(), QStringLiteral("fermeture de la liaison TCPIP client\r\n"));
}

QTEST_GUILESS_MAIN(TestLiaisonCdapi)
#include "TestLiaisonCdapi.moc"
