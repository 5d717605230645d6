#include "HoteCdapi.h"
#include "base/HorlogeSysteme.h"
#include "base/JournalStatut.h"
#include "cdapi/LiaisonCdapi.h"
#include "commun/SousWine.h"
#include "config/Configuration.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>

#ifdef Q_OS_UNIX
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

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
        liaison = std::make_unique<LiaisonCdapi>(journal, config);
    }
    QString LigneConnexion() const
    {
        return Echappe(QStringLiteral("demande connection sur 127.0.0.1 port ") + config.CdapiPortServeur);
    }
    // Liaison établie par le test de liaison, puis hôte et journal remis à blanc.
    bool Connecte()
    {
        liaison->Bt_TestLiaisonCDAPI_Click();
        if (!QTest::qWaitFor([this] {
                return liaison->EtatTCPIP() == 7 && hote.Recu() == Identification
                       && liaison->NombreMsgEnAttente() == 0;
            }))
            return false;
        hote.Oublie();
        journal.MessageStatus(QStringLiteral("clear"));
        return true;
    }
};

// Boucle à l'image de la boucle de traitement : une « passe », puis une attente
// qui laisse passer les événements. Rend le plus long écart entre deux passes :
// tout ce que la liaison fait attendre dans un gestionnaire d'événement s'y voit.
qint64 PlusLongEcartEntrePasses(qint64 dureeMs)
{
    QElapsedTimer montre;
    montre.start();
    qint64 precedente = 0;
    qint64 plusLong = 0;
    while (montre.elapsed() < dureeMs) {
        QTest::qWait(50);
        const qint64 maintenant = montre.elapsed();
        plusLong = qMax(plusLong, maintenant - precedente);
        precedente = maintenant;
    }
    return plusLong;
}

const QString LigneHoteSourd = QStringLiteral("liaison CDAPI coupée : l'hôte ne lit plus");

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
    void hoteInonde_data();
    void hoteInonde();
    void hoteRedemarre();
    void ecritSurConnexionCoupee();
    void hoteQuiFermeAussitot();
    void ackDusEtReponsesAppariees_data();
    void ackDusEtReponsesAppariees();
    void ackDusDUneConnexionPerdue();
    void verdictDuTest_data();
    void verdictDuTest();
    void traceSousUneInondation_data();
    void traceSousUneInondation();
};

void TestLiaisonCdapi::identificationAcquittee()
{
    Banc b;
    b.journal.MessageStatus(QStringLiteral("ligne d'avant"));
    QSignalSpy issues(b.liaison.get(), &LiaisonCdapi::envoiTermine);
    b.liaison->Bt_TestLiaisonCDAPI_Click();

    QTRY_COMPARE(issues.size(), 1);
    QCOMPARE(issues.first(), QVariantList({ Identification, LiaisonCdapi::EnvoiReussi }));
    QCOMPARE(b.hote.Recu(), Identification);
    QCOMPARE(b.liaison->EtatTCPIP(), 7);
    QCOMPARE(b.liaison->NombreMsgEnAttente(), 0);
    VerifieJournal(b.journal, Echappe(TraceIdentification + QStringLiteral("\r\nport ferme\r\n"))
                                  + b.LigneConnexion()
                                  + QStringLiteral("\r\n(\\.+\r\n)?Test liaison CDAPI : réussi \\(acquitté en \\d+ ms\\)\r\n"));

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
    Configuration config;
    config.CdapiAdrServeur = adresse;
    config.CdapiPortServeur = port;
    LiaisonCdapi liaison(journal, config);

    liaison.Bt_TestLiaisonCDAPI_Click();
    const QString abandon = QStringLiteral(
        "IMPOSSIBLE D'ENVOYER EN TCPIP car il manque l'adresse ou le port\r\n"
        "SUPPRESSION DE TOUS LES MESSAGES A ENVOYER cause 9 sur ");
    QCOMPARE(journal.Texte(), TraceIdentification + QStringLiteral("\r\n") + abandon
                                  + QStringLiteral("R9010112002AR␀\r\n"
                                                   "Test liaison CDAPI : échec, il manque l'adresse ou le port de l'hôte\r\n"));
    QCOMPARE(liaison.NombreMsgEnAttente(), 0);
    QCOMPARE(liaison.EtatTCPIP(), 0);

    // Pause de 0,25 s après l'abandon : un message ajouté pendant ce temps
    // attend sa fin, puis part (et échoue de même).
    QElapsedTimer montre;
    montre.start();
    journal.MessageStatus(QStringLiteral("clear"));
    liaison.AjouteMsgCDAPI("S001", QString(), true);
    liaison.EnvoiMsgCDAPI();
    QCOMPARE(liaison.NombreMsgEnAttente(), 1);
    QCOMPARE(journal.Texte(), QString());
    QTRY_COMPARE(liaison.NombreMsgEnAttente(), 0);
    QVERIFY2(montre.elapsed() >= 230, qPrintable(QString::number(montre.elapsed())));
    QVERIFY(journal.Texte().endsWith(abandon + QStringLiteral("S001\r\n")));
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
    QTRY_VERIFY(b.journal.Texte().contains(QStringLiteral("SUPPRESSION")));
    VerifieJournal(b.journal, Echappe(TraceIdentification + QStringLiteral("\r\nport ferme\r\n")) + b.LigneConnexion()
                                  + QStringLiteral("\r\n\\.*port Erreur\r\n")
                                  + Echappe(QStringLiteral("SUPPRESSION DE TOUS LES MESSAGES A ENVOYER cause 9 sur "
                                                           "R9010112002AR␀\r\nTest liaison CDAPI : échec, l'hôte 127.0.0.1:")
                                            + port + QStringLiteral(" ne répond pas\r\n")));
    QCOMPARE(b.liaison->EtatTCPIP(), 9);
    QCOMPARE(b.hote.NombreConnexions(), 0);

    // L'envoi suivant ferme ce qui reste ("demande close") et retente.
    b.journal.MessageStatus(QStringLiteral("clear"));
    b.config.CdapiPortServeur = QString::number(b.hote.Port());
    b.liaison->AjouteMsgCDAPI("S001", QString(), true);
    b.liaison->EnvoiMsgCDAPI();
    QTRY_COMPARE(b.hote.Recu(), QByteArray("S001"));
    VerifieJournal(b.journal, Echappe(QStringLiteral("- S - demande du status d'installation ---\r\n  poste: 001\r\n")
                                      + QString(42, QLatin1Char('-'))
                                      + QStringLiteral("\r\nport Erreur\r\ndemande close\r\n"))
                                  + b.LigneConnexion() + QStringLiteral("\r\n\\.*"));
}

// Un serveur dont la file d'attente de connexions est pleine ne répond plus aux
// demandes : la socket reste "en cours de connection" jusqu'à la limite de 5 s.
void TestLiaisonCdapi::connexionSansFin()
{
#ifndef Q_OS_UNIX
    // Windows refuse tout de suite (RST) une connexion au-delà de la file d'attente pleine : le
    // serveur qui ne répond jamais ne se fabrique pas ainsi.
    QSKIP("file d'attente pleine refusée sous Windows, pas laissée sans réponse");
#else
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
    Configuration config;
    config.CdapiPortServeur = QString::number(ntohs(adresse.sin_port));
    LiaisonCdapi liaison(journal, config);
    QSignalSpy issues(&liaison, &LiaisonCdapi::envoiTermine);
    QElapsedTimer montre;
    montre.start();
    liaison.Bt_TestLiaisonCDAPI_Click();
    QVERIFY(issues.isEmpty()); // rien n'attend dans l'appel
    QTRY_COMPARE_WITH_TIMEOUT(issues.size(), 1, 8000);
    const qint64 duree = montre.elapsed();
    ::close(occupant);
    ::close(ecoute);

    // Un point toutes les 0,05 s pendant 1 s, puis toutes les 0,5 s : 28 points
    // quand rien ne retarde les minuteries.
    QCOMPARE(issues.first(), QVariantList({ Identification, LiaisonCdapi::NonEnvoye }));
    QVERIFY2(duree >= 5000 && duree < 6500, qPrintable(QString::number(duree)));
    VerifieJournal(journal, Echappe(TraceIdentification + QStringLiteral("\r\nport ferme\r\ndemande connection sur 127.0.0.1 port ")
                                    + config.CdapiPortServeur + QStringLiteral("\r\n"))
                                + QStringLiteral("\\.{20,28}")
                                + Echappe(QStringLiteral("délai de connection dépassé (5 s)\r\nport Erreur\r\n"
                                                         "SUPPRESSION DE TOUS LES MESSAGES A ENVOYER cause 9 sur R9010112002AR␀\r\n"
                                                         "Test liaison CDAPI : échec, l'hôte 127.0.0.1:")
                                        + config.CdapiPortServeur + QStringLiteral(" ne répond pas\r\n")));
    QCOMPARE(liaison.EtatTCPIP(), 9);
#endif
}

void TestLiaisonCdapi::hoteMuet()
{
    Banc b;
    b.hote.RegleAck(false);
    QSignalSpy issues(b.liaison.get(), &LiaisonCdapi::envoiTermine);
    b.liaison->Bt_TestLiaisonCDAPI_Click();
    QTRY_COMPARE_WITH_TIMEOUT(issues.size(), 1, 4000);
    QElapsedTimer montre;
    montre.start();
    const qint64 fin = montre.msecsSinceReference();

    QCOMPARE(issues.first(), QVariantList({ Identification, LiaisonCdapi::SansAck }));
    QCOMPARE(b.hote.Recu(), Identification);
    QVERIFY(b.journal.Texte().endsWith(
        QStringLiteral("SUPPRESSION DE TOUS LES MESSAGES A ENVOYER cause 5 sur R9010112002AR␀\r\n"
                       "Test liaison CDAPI : échec, l'hôte 127.0.0.1:")
        + b.config.CdapiPortServeur + QStringLiteral(" n'a pas acquitté en 2 s\r\n")));
    // 2 s d'attente de l'ACK, comptées depuis l'envoi.
    const qint64 duree = fin - b.hote.Arrivees().first().instantMs;
    QVERIFY2(duree >= 1950 && duree < 3000, qPrintable(QString::number(duree)));
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

    QTRY_COMPARE(b.hote.Recu(), Identification + "S001" "O00100000012" "S002");
    QVERIFY(retourImmediat);
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
    QTRY_VERIFY(b.journal.Texte().contains(QStringLiteral("liaison CDAPI perdue")));
    QCOMPARE(b.liaison->EtatTCPIP(), 8);
    b.journal.MessageStatus(QStringLiteral("clear"));

    // Un envoi n'attend pas l'échéance de la reconnexion.
    b.liaison->AjouteMsgCDAPI("S001", QString(), true);
    b.liaison->EnvoiMsgCDAPI();
    QTRY_COMPARE_WITH_TIMEOUT(b.hote.Recu(), QByteArray("S001"), 900);
    QCOMPARE(b.hote.NombreConnexions(), 2);
    QCOMPARE(b.liaison->EtatTCPIP(), 7);
    VerifieJournal(b.journal, Echappe(QStringLiteral("- S - demande du status d'installation ---\r\n  poste: 001\r\n")
                                      + QString(42, QLatin1Char('-'))
                                      + QStringLiteral("\r\nport Connexion en cours de fermeture par l'homologue\r\n"
                                                       "demande close\r\n"))
                                  + b.LigneConnexion() + QStringLiteral("\r\n\\.*liaison CDAPI rétablie\r\n"));
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
        QTRY_COMPARE(b.hote.Recu(), attendu);
        // Le dernier message ne quitte la file qu'à l'arrivée de son ACK.
        QTRY_COMPARE(b.liaison->NombreMsgEnAttente(), 0);
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

void TestLiaisonCdapi::hoteInonde_data()
{
    QTest::addColumn<QString>("norme");
    QTest::addColumn<int>("lignes");
    QTest::addColumn<bool>("sourd");
    QTest::addColumn<bool>("ackAveugle"); // un ACK devant chaque demande, sans rien lire
    QTest::addColumn<int>("intervalleMs");
    // Rangée sans ACK : 19 messages attendent au plus, le reste est refusé, et
    // chaque attente de 2 s finit par l'abandon de la file.
    QTest::newRow("sans ACK, 20 A/s") << QStringLiteral("CDAPI-A") << 2 << false << false << 50;
    QTest::newRow("sourd, grandes demandes") << QStringLiteral("CDAPI-B") << 99 << true << false << 50;
    // Les réponses partent aussi vite que les ACK aveugles (200 par seconde) : ce
    // qui attend dans la socket dépasse la borne et la liaison est coupée, en une ligne.
    QTest::newRow("sourd, ACK aveugles") << QStringLiteral("CDAPI-B") << 99 << true << true << 5;
}

// Un hôte qui inonde la liaison de demandes "A" (20 par seconde) sans acquitter,
// ou sans lire sa socket : la boucle de traitement n'attend jamais l'hôte.
void TestLiaisonCdapi::hoteInonde()
{
    QFETCH(QString, norme);
    QFETCH(int, lignes);
    QFETCH(bool, sourd);
    QFETCH(bool, ackAveugle);
    QFETCH(int, intervalleMs);
    // Wine garde le tampon d'envoi de sa socket Unix à sa taille automatique (4 Mo) malgré
    // SO_SNDBUF, que Windows applique : la borne de 64 Kio n'y est jamais atteinte.
    if (ackAveugle && SousWine())
        QSKIP("Wine n'applique pas SO_SNDBUF : plusieurs Mo restent en route sans que l'envoi bloque");
    Banc b;
    b.config.NormeCDAPI = norme;
    QVERIFY(b.Connecte());
    b.hote.RegleAck(false);
    b.hote.RegleSourd(sourd);

    // Le journal se vide passé 20 000 caractères : on relit son fichier.
    QTemporaryDir dossier;
    const QString chemin = dossier.filePath(QStringLiteral("journal.txt"));
    QVERIFY(b.journal.OuvreFichierJournal(chemin, nullptr));
    QSignalSpy issues(b.liaison.get(), &LiaisonCdapi::envoiTermine);

    const QByteArray demande = (ackAveugle ? Ack : QByteArray()) + HoteCdapi::DemandeEjection(norme, lignes);
    QElapsedTimer inondation;
    inondation.start();
    QTimer rafale;
    bool coupe = false;
    connect(&b.hote, &HoteCdapi::deconnexion, &rafale, [&coupe] { coupe = true; });
    connect(&rafale, &QTimer::timeout, &b.hote, [&] {
        if (inondation.elapsed() < 4000 && !coupe) {
            b.hote.Envoie(demande);
            return;
        }
        // Fin de l'inondation : l'hôte redevient sage et l'arriéré s'écoule.
        rafale.stop();
        b.hote.RegleSourd(false);
        b.hote.RegleAck(true);
    });
    rafale.start(intervalleMs);

    const qint64 ecart = PlusLongEcartEntrePasses(5000);
    qInfo("plus long écart entre deux passes : %lld ms", ecart);
    QVERIFY2(ecart <= 1500, qPrintable(QString::number(ecart)));

    QFile fichier(chemin);
    QVERIFY(fichier.open(QIODevice::ReadOnly));
    const QString ecrit = QString::fromUtf8(fichier.readAll());
    QCOMPARE(ecrit.count(LigneHoteSourd), ackAveugle ? 1 : 0);
    int sansAck = 0;
    for (const QVariantList& issue : issues)
        sansAck += issue.at(1).toInt() == LiaisonCdapi::SansAck;
    if (ackAveugle) {
        QVERIFY(coupe);
        QVERIFY(ecrit.contains(QRegularExpression(QStringLiteral(
            "\\d liaison CDAPI coupée : l'hôte ne lit plus \\(\\d+ octets en attente d'envoi, borne 65536\\), "
            "nouvel essai dans 1 s\n"))));
        QCOMPARE(sansAck, 0);
        // Elle revient d'elle-même, et l'hôte redevenu sage est servi.
        QTRY_COMPARE_WITH_TIMEOUT(b.hote.NombreConnexions(), 2, 5000);
    } else {
        // Chaque attente de 2 s sans ACK abandonne la file : 4 s d'inondation en font au moins une.
        QVERIFY2(sansAck >= 1, qPrintable(QString::number(sansAck)));
        QVERIFY(ecrit.contains(QStringLiteral("SUPPRESSION DE TOUS LES MESSAGES A ENVOYER cause 5 sur a00000012")));
    }
    QTRY_COMPARE_WITH_TIMEOUT(b.liaison->NombreMsgEnAttente(), 0, 10000);
}

// Un hôte qui redémarre : la liaison se refait seule, avec un délai qui double
// tant que l'hôte ne répond pas et qui repart de 1 s après un succès.
void TestLiaisonCdapi::hoteRedemarre()
{
    Banc b;
    QSignalSpy etablie(b.liaison.get(), &LiaisonCdapi::liaisonEtablie);
    QSignalSpy coupee(b.liaison.get(), &LiaisonCdapi::liaisonCoupee);
    QVERIFY(b.Connecte());
    QCOMPARE(etablie.size(), 1);
    const quint16 port = b.hote.Port();
    b.hote.ArreteEcoute();
    b.hote.FermeConnexion();
    const QString perte = QStringLiteral(
        "liaison CDAPI perdue (port Connexion en cours de fermeture par l'homologue), nouvel essai dans 1 s\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(b.journal.Texte().contains(QStringLiteral("dans 2 s")), 4000);
    QVERIFY(b.hote.Ecoute(port));
    QTRY_COMPARE_WITH_TIMEOUT(b.hote.NombreConnexions(), 2, 4000);
    QTRY_COMPARE(b.liaison->EtatTCPIP(), 7);
    QCOMPARE(b.journal.Texte(),
             perte + QStringLiteral("nouvelle connexion CDAPI impossible (port Erreur), nouvel essai dans 2 s\r\n"
                                    "liaison CDAPI rétablie\r\n"));
    // La fenêtre apprend les mêmes délais que le journal, puis le retour.
    QCOMPARE(coupee.size(), 2);
    QCOMPARE(coupee.at(0).at(0).toInt(), 1);
    QCOMPARE(coupee.at(1).at(0).toInt(), 2);
    QCOMPARE(etablie.size(), 2);

    // L'hôte peut de nouveau demander : il est acquitté et servi.
    b.hote.Envoie(QByteArray("R9010112002AR\0", 14));
    QTRY_COMPARE(b.hote.Recu(), Ack + QByteArray("r9010112002AR\0", 14));

    // Perdue de nouveau sans avoir tenu : le délai continue de doubler.
    b.journal.MessageStatus(QStringLiteral("clear"));
    b.hote.FermeConnexion();
    QTRY_VERIFY(!b.journal.Texte().isEmpty());
    QCOMPARE(b.journal.Texte(), QString(perte).replace(QStringLiteral("dans 1 s"), QStringLiteral("dans 4 s")));
    QTRY_COMPARE_WITH_TIMEOUT(b.hote.NombreConnexions(), 3, 6000);

    // Tenue assez longtemps (abrégé ici à 300 ms), la liaison repart de 1 s.
    b.liaison->RegleTenueAvantRemiseMs(300);
    QTRY_COMPARE(b.liaison->EtatTCPIP(), 7);
    QTest::qWait(400);
    b.journal.MessageStatus(QStringLiteral("clear"));
    b.hote.FermeConnexion();
    QTRY_COMPARE_WITH_TIMEOUT(b.hote.NombreConnexions(), 4, 3000);
    QTRY_COMPARE(b.journal.Texte(), perte + QStringLiteral("liaison CDAPI rétablie\r\n"));
}

// L'hôte coupe d'un RST et le service écrit avant d'avoir vu la coupure : Qt
// ferme la socket pendant l'écriture même. L'envoi échoue aussitôt (cause 9),
// sans attendre 2 s un ACK qui ne peut plus venir.
void TestLiaisonCdapi::ecritSurConnexionCoupee()
{
    Banc b;
    QVERIFY(b.Connecte());
    QSignalSpy issues(b.liaison.get(), &LiaisonCdapi::envoiTermine);
    QElapsedTimer montre;
    montre.start();
    b.hote.CoupeConnexion();
    b.liaison->AjouteMsgCDAPI("S001", QString(), true);
    b.liaison->EnvoiMsgCDAPI();
    QTRY_COMPARE(issues.size(), 1);
    QCOMPARE(issues.first(), QVariantList({ QByteArray("S001"), LiaisonCdapi::NonEnvoye }));
    QVERIFY2(montre.elapsed() < 1000, qPrintable(QString::number(montre.elapsed())));
    QTRY_VERIFY(b.journal.Texte().contains(QStringLiteral("liaison CDAPI perdue")));
    VerifieJournal(b.journal, Echappe(QStringLiteral("- S - demande du status d'installation ---\r\n  poste: 001\r\n")
                                      + QString(42, QLatin1Char('-'))
                                      + QStringLiteral("\r\nSUPPRESSION DE TOUS LES MESSAGES A ENVOYER cause 9 sur S001\r\n"
                                                       "liaison CDAPI perdue ("))
                                  + QStringLiteral("port [^)]+")
                                  + Echappe(QStringLiteral("), nouvel essai dans 1 s\r\n")));
}

// Un hôte qui accepte puis ferme aussitôt n'est pas relancé chaque seconde : le
// délai ne revient à 1 s qu'après une liaison tenue.
void TestLiaisonCdapi::hoteQuiFermeAussitot()
{
    Banc b;
    QVERIFY(b.Connecte());
    b.hote.RegleFermetureImmediate(true);
    b.hote.FermeConnexion();
    QTRY_VERIFY_WITH_TIMEOUT(b.journal.Texte().contains(QStringLiteral("dans 4 s")), 6000);
    const QString perte = QStringLiteral("liaison CDAPI perdue (port Connexion en cours de fermeture par l'homologue), "
                                         "nouvel essai dans ");
    QCOMPARE(b.journal.Texte(), perte + QStringLiteral("1 s\r\nliaison CDAPI rétablie\r\n") + perte
                                    + QStringLiteral("2 s\r\nliaison CDAPI rétablie\r\n") + perte
                                    + QStringLiteral("4 s\r\n"));
    QCOMPARE(b.hote.NombreConnexions(), 3);
}

void TestLiaisonCdapi::ackDusEtReponsesAppariees_data()
{
    QTest::addColumn<int>("enAttente");       // messages du service dans la file, celui en vol compris
    QTest::addColumn<QString>("type");        // "S" : trois S ; "A" : trois demandes A (commandes 12 à 14)
    QTest::addColumn<QList<int>>("refusees"); // commandes dont la réponse et sa clôture sont refusées
    QTest::newRow("file pleine, trois S") << 19 << "S" << QList<int>{};
    QTest::newRow("une place, demandes A") << 18 << "A" << QList<int>{ 12, 13, 14 };
    QTest::newRow("deux places, demandes A") << 17 << "A" << QList<int>{ 13, 14 };
}

// Un hôte qui acquitte en retard pendant que la file du service est pleine : les
// ACK qui lui sont dus partent tous, une réponse "a" et sa réponse nulle sont
// prises ou refusées ensemble, et aucun octet de contrôle brut n'entre au journal.
void TestLiaisonCdapi::ackDusEtReponsesAppariees()
{
    QFETCH(int, enAttente);
    QFETCH(QString, type);
    QFETCH(QList<int>, refusees);
    Banc b;
    b.config.NormeCDAPI = QStringLiteral("CDAPI-A");
    QVERIFY(b.Connecte());
    b.hote.RegleAck(false);
    for (int i = 1; i <= enAttente; ++i)
        QVERIFY(b.liaison->AjouteMsgCDAPI("S" + QByteArray::number(i).rightJustified(3, '0'), QString(), true));
    b.liaison->EnvoiMsgCDAPI();
    QTRY_COMPARE(b.hote.Recu(), QByteArray("S001"));
    b.journal.MessageStatus(QStringLiteral("clear"));
    const auto reponse = [](int commande) {
        return "a" + QByteArray::number(commande).rightJustified(8, '0') + "0010030102CIP000100002CIP000200004";
    };
    for (int i = 1; i <= 3; ++i) {
        b.hote.Envoie(type == QLatin1String("S") ? "S04" + QByteArray::number(i)
                                                 : HoteCdapi::DemandeEjection(QStringLiteral("CDAPI-A"), 2, 11 + i));
        QTRY_COMPARE(b.journal.Texte().count(QStringLiteral("- ") + type + QStringLiteral(" - ")), i);
    }
    QString refus;
    for (int commande : refusees)
        refus += QStringLiteral("FILE DES MESSAGES A ENVOYER PLEINE, message refusé : ") + QString::fromLatin1(reponse(commande))
                 + QStringLiteral("\r\nFILE DES MESSAGES A ENVOYER PLEINE, message refusé : a0000000000000000000\r\n");
    const QStringList pleine = b.journal.Texte().split(QStringLiteral("\r\n")).filter(QStringLiteral("PLEINE"));
    QCOMPARE(pleine.isEmpty() ? QString() : pleine.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"), refus);
    QVERIFY2(!b.journal.Texte().contains(QChar(6)), qPrintable(b.journal.Texte()));

    // L'hôte se remet à acquitter : tout ce qui a été pris part.
    b.hote.RegleAck(true);
    b.hote.Envoie(Ack);
    QTRY_COMPARE_WITH_TIMEOUT(b.liaison->NombreMsgEnAttente(), 0, 10000);
    const QByteArray envoye = b.hote.Recu();
    QCOMPARE(envoye.count(char(6)), 3);
    const int prises = type == QLatin1String("A") ? 3 - int(refusees.size()) : 0;
    QCOMPARE(envoye.count("a0000000000000000000"), prises);
    for (int commande = 12; commande <= 14; ++commande)
        QCOMPARE(envoye.contains(reponse(commande)), type == QLatin1String("A") && !refusees.contains(commande));
    for (int i = 1; i <= enAttente; ++i)
        QVERIFY(envoye.contains("S" + QByteArray::number(i).rightJustified(3, '0')));
    QVERIFY(!b.journal.Texte().contains(QChar(6)));
}

// Un ACK dû attend derrière un message sans ACK quand l'hôte coupe : la liaison se
// refait d'elle-même, mais cet ACK appartenait à l'ancienne connexion et ne part pas.
void TestLiaisonCdapi::ackDusDUneConnexionPerdue()
{
    Banc b;
    QVERIFY(b.Connecte());
    b.hote.RegleAck(false);
    QSignalSpy issues(b.liaison.get(), &LiaisonCdapi::envoiTermine);
    b.liaison->AjouteMsgCDAPI("S001", QString(), true);
    b.liaison->EnvoiMsgCDAPI();
    QTRY_COMPARE(b.hote.Recu(), QByteArray("S001"));
    b.hote.Envoie("S042");
    QTRY_COMPARE(b.liaison->NombreMsgEnAttente(), 2);
    b.hote.FermeConnexion();
    QTRY_COMPARE_WITH_TIMEOUT(b.hote.NombreConnexions(), 2, 3000);
    b.hote.Oublie();
    QTRY_COMPARE_WITH_TIMEOUT(issues.size(), 1, 3000);
    QCOMPARE(issues.first(), QVariantList({ QByteArray("S001"), LiaisonCdapi::SansAck }));
    QTRY_COMPARE(b.liaison->NombreMsgEnAttente(), 0);
    QTest::qWait(300);
    QCOMPARE(b.hote.Recu(), QByteArray());
    QCOMPARE(b.liaison->EtatTCPIP(), 7);
}

void TestLiaisonCdapi::verdictDuTest_data()
{
    QTest::addColumn<QString>("cas");
    QTest::addColumn<QString>("verdict"); // motif de la dernière ligne ; PORT : port de l'hôte
    QTest::newRow("acquitté") << "acquitte" << "Test liaison CDAPI : réussi \\(acquitté en \\d+ ms\\)";
    QTest::newRow("personne n'écoute") << "absent" << "Test liaison CDAPI : échec, l'hôte 127\\.0\\.0\\.1:PORT ne répond pas";
    QTest::newRow("hôte muet") << "muet"
                               << "Test liaison CDAPI : échec, l'hôte 127\\.0\\.0\\.1:PORT n'a pas acquitté en 2 s";
    QTest::newRow("adresse vide") << "sansAdresse"
                                  << "Test liaison CDAPI : échec, il manque l'adresse ou le port de l'hôte";
}

// "Test Liaison CDAPI" finit par une ligne qui dit l'issue, après les lignes de
// la liaison, qui restent.
void TestLiaisonCdapi::verdictDuTest()
{
    QFETCH(QString, cas);
    QFETCH(QString, verdict);
    Banc b;
    if (cas == QLatin1String("absent"))
        b.config.CdapiPortServeur = QString::number(PortSansEcoute());
    else if (cas == QLatin1String("muet"))
        b.hote.RegleAck(false);
    else if (cas == QLatin1String("sansAdresse"))
        b.config.CdapiAdrServeur.clear();
    QSignalSpy issues(b.liaison.get(), &LiaisonCdapi::envoiTermine);
    b.liaison->Bt_TestLiaisonCDAPI_Click();
    QTRY_COMPARE_WITH_TIMEOUT(issues.size(), 1, 4000);
    const QString j = b.journal.Texte();
    const QRegularExpression motif(QStringLiteral("\r\n") + QString(verdict).replace(QStringLiteral("PORT"), b.config.CdapiPortServeur)
                                   + QStringLiteral("\r\n\\z"));
    QVERIFY2(motif.match(j).hasMatch(), qPrintable(j));
    QCOMPARE(j.count(QStringLiteral("Test liaison CDAPI")), 1);
    if (cas != QLatin1String("acquitte"))
        QVERIFY(j.contains(QStringLiteral("SUPPRESSION DE TOUS LES MESSAGES A ENVOYER cause ")));
}

void TestLiaisonCdapi::traceSousUneInondation_data()
{
    QTest::addColumn<bool>("identiques");
    QTest::newRow("demandes identiques") << true;
    QTest::newRow("demandes toutes différentes") << false;
}

// Un hôte qui envoie dix grandes demandes "A" (99 lignes) par seconde pendant 3 s
// et acquitte tout : chaque demande est servie, mais le journal reste mesuré.
void TestLiaisonCdapi::traceSousUneInondation()
{
    QFETCH(bool, identiques);
    Banc b;
    b.config.NormeCDAPI = QStringLiteral("CDAPI-B");
    QVERIFY(b.Connecte());
    QTemporaryDir dossier;
    const QString chemin = dossier.filePath(QStringLiteral("journal.txt"));
    QVERIFY(b.journal.OuvreFichierJournal(chemin, nullptr));

    int envoyees = 0;
    QTimer rafale;
    connect(&rafale, &QTimer::timeout, &b.hote, [&] {
        ++envoyees;
        b.hote.Envoie(HoteCdapi::DemandeEjection(QStringLiteral("CDAPI-B"), 99, identiques ? 12 : envoyees));
        if (envoyees == 30)
            rafale.stop();
    });
    rafale.start(100);
    // Servies toutes : un ACK, la réponse et la réponse nulle par demande.
    QTRY_COMPARE_WITH_TIMEOUT(b.hote.Recu().count("a0000000000000000000"), 30, 15000);
    QCOMPARE(b.hote.Recu().count(char(6)), 30);
    // Les résumés sont écrits à la fin de la rafale (2 s sans répétition) ou de la période.
    const auto litFichier = [&chemin] {
        QFile f(chemin);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    QTRY_VERIFY_WITH_TIMEOUT(litFichier().contains("CDAPI : "), 12000);
    const QByteArray ecrit = litFichier();
    const QString texte = QString::fromUtf8(ecrit);
    qInfo("journal : %lld octets pour 30 demandes", qint64(ecrit.size()));
    const int demandesTracees = int(texte.count(QStringLiteral("- A - demande d'ejection")));
    const int reponsesTracees = int(texte.count(QStringLiteral("- a - reponse a la demande d'ejection")));
    if (identiques) {
        // La première entière, les 29 suivantes résumées par leur numéro.
        QCOMPARE(demandesTracees, 1);
        QCOMPARE(reponsesTracees, 2);
        const QRegularExpression resume(QStringLiteral(
            "CDAPI : demande A n° 00000012 reçu (\\d+) fois de plus en \\d+,\\d{3} s, identique au dernier tracé "
            "\\(ni lui ni ses réponses ne sont retracés\\)\n"));
        int resumees = 0;
        for (auto it = resume.globalMatch(texte); it.hasNext();)
            resumees += it.next().captured(1).toInt();
        QCOMPARE(resumees, 29);
        QVERIFY2(ecrit.size() < 30000, qPrintable(QString::number(ecrit.size())));
    } else {
        // Tracées tant que le budget de la période le permet, comptées ensuite.
        const QRegularExpression resume(QStringLiteral(
            "CDAPI : (\\d+) messages? reçus? non tracés? en \\d+,\\d{3} s \\(flot trop rapide\\), leurs réponses non plus\n"));
        const QRegularExpressionMatch m = resume.match(texte);
        QVERIFY2(m.hasMatch(), qPrintable(texte.right(2000)));
        QCOMPARE(demandesTracees + m.captured(1).toInt(), 30);
        QCOMPARE(reponsesTracees, 2 * demandesTracees);
        QVERIFY2(demandesTracees >= 3 && demandesTracees <= 5, qPrintable(QString::number(demandesTracees)));
        QVERIFY2(ecrit.size() < 100000, qPrintable(QString::number(ecrit.size())));
    }
}

QTEST_GUILESS_MAIN(TestLiaisonCdapi)
#include "TestLiaisonCdapi.moc"
