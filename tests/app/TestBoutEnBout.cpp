#include "commun/FichiersEssai.h"
#include "commun/InstallationEssai.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTest>
#include <QUdpSocket>

#include <csignal>

// Le service et le simulateur du côté robot, deux vrais processus, avec des délais
// courts : chaque commande déposée est remise une seule fois, à un tiroir libre ;
// les tiroirs sont libérés par datagramme et au bout du temps ; la liaison CDAPI
// répond aux demandes d'éjection ; SIGTERM ferme proprement. Une seconde ligne fait
// répondre la carte Z44 juste après son délai : ses tiroirs restent rouges, et sa
// réponse en retard n'est jamais lue comme celle de Z45.
class TestBoutEnBout : public QObject
{
    Q_OBJECT
private slots:
    void pharmacieComplete_data();
    void pharmacieComplete();
    void aideDuSimulateur_data();
    void aideDuSimulateur();

private:
    static QStringList Lignes(const QString& chemin, bool sansHorodatage);
    static int Compte(const QStringList& lignes, const QString& debut);
};

QStringList TestBoutEnBout::Lignes(const QString& chemin, bool sansHorodatage)
{
    // Le journal du service tourne à minuit : ses fichiers tournés sont lus aussi.
    QStringList lignes;
    for (const QString& fichier : sansHorodatage ? FichiersJournal(chemin) : QStringList{ chemin }) {
        QFile f(fichier);
        if (!f.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& ligne : f.readAll().split('\n'))
            lignes << QString::fromUtf8(sansHorodatage ? ligne.mid(24) : ligne);
    }
    return lignes;
}

int TestBoutEnBout::Compte(const QStringList& lignes, const QString& debut)
{
    int n = 0;
    for (const QString& l : lignes)
        n += l.startsWith(debut) ? 1 : 0;
    return n;
}

void TestBoutEnBout::pharmacieComplete_data()
{
    QTest::addColumn<int>("commandes");
    QTest::addColumn<QStringList>("optionsCartes");
    QTest::addColumn<QStringList>("lignesService");
    QTest::newRow("cartes à l'heure") << 10 << QStringList() << QStringList();
    // Z44 répond 1050 ms après chaque trame (délai 1000 ms) : elle est en retard, seuls les
    // tiroirs 1 et 2 servent.
    QTest::newRow("Z44 juste après son délai")
        << 6 << QStringList{ QStringLiteral("--retard-cartes"), QStringLiteral("1050"), QStringLiteral("--carte-en-retard"),
                             QStringLiteral("Z44") }
        << QStringList{ QStringLiteral("Err: Time Out"),
                        QStringLiteral("carte Z44 en retard: tiroirs 3 et 4 rouges jusqu'a une reponse dans les temps") };
}

void TestBoutEnBout::pharmacieComplete()
{
    QFETCH(int, commandes);
    QFETCH(QStringList, optionsCartes);
    QFETCH(QStringList, lignesService);
    const QString service = qEnvironmentVariable("PELORANE_BINAIRE");
    const QString simulateur = qEnvironmentVariable("PELORANE_SIMULATEUR");
    QVERIFY(QFileInfo(service).isExecutable());
    QVERIFY(QFileInfo(simulateur).isExecutable());

    QTcpServer tcpLibre;
    QVERIFY(tcpLibre.listen(QHostAddress::LocalHost, 0));
    const quint16 portCdapi = tcpLibre.serverPort();
    tcpLibre.close();
    QUdpSocket udpLibre;
    QVERIFY(udpLibre.bind(QHostAddress::LocalHost, 0));
    const quint16 portUdp = udpLibre.localPort();
    udpLibre.close();

    InstallationEssai essai;
    const QString racine = essai.Racine();
    const QString journalService = essai.Chemin(QStringLiteral("journal.txt"));
    const QString journalSimulateur = essai.Chemin(QStringLiteral("simulateur.txt"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), essai.DossierReglages());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    QProcess robot;
    robot.setProcessEnvironment(env);
    robot.setStandardOutputFile(journalSimulateur);
    robot.start(simulateur, QStringList{ QStringLiteral("--racine"), racine, QStringLiteral("--commandes"), QString::number(commandes),
                              QStringLiteral("--intervalle"), QStringLiteral("700"), QStringLiteral("--delai-hote"),
                              QStringLiteral("300"), QStringLiteral("--delai-convoyeur"), QStringLiteral("700"),
                              QStringLiteral("--collecte"), QStringLiteral("500"), QStringLiteral("--perte-datagramme"),
                              QStringLiteral("3"), QStringLiteral("--demande-a"), QStringLiteral("3"),
                              QStringLiteral("--demande-r"), QStringLiteral("4"),
                              QStringLiteral("--port-cdapi"), QString::number(portCdapi), QStringLiteral("--port-udp"),
                              QString::number(portUdp), QStringLiteral("--param"),
                              QStringLiteral("TempsMaxAttenteProduit=3") } + optionsCartes);
    QVERIFY(robot.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(Lignes(journalSimulateur, false).join(QLatin1Char('\n')).contains(QStringLiteral("pret: ")),
                             10000);

    QProcess pelorane;
    pelorane.setProcessEnvironment(env);
    pelorane.start(service, { QStringLiteral("--racine"), racine, QStringLiteral("--port-serie"),
                              racine + QStringLiteral("cartes-serie"), QStringLiteral("--journal"), journalService });
    QVERIFY(pelorane.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(Lignes(journalService, true).contains(QStringLiteral("- En attente de commande (fichiers) ou BP -")),
                             15000);

    // L'opérateur essaie la liaison CDAPI : la commande locale appuie sur le bouton.
    QProcess action;
    action.setProcessEnvironment(env);
    action.start(service, { QStringLiteral("--racine"), racine, QStringLiteral("--action"),
                            QStringLiteral("test-liaison-cdapi") });
    QVERIFY(action.waitForFinished(10000));
    QCOMPARE(action.exitCode(), 0);

    // Toutes les commandes remises, au moins deux demandes d'éjection servies et un
    // tiroir libéré au bout du temps (un datagramme sur trois est perdu).
    QElapsedTimer attente;
    attente.start();
    auto fini = [&] {
        const QStringList s = Lignes(journalService, true);
        const QString robotTexte = Lignes(journalSimulateur, false).join(QLatin1Char('\n'));
        return Compte(s, QStringLiteral("supp fich: ")) == commandes
            && robotTexte.count(QStringLiteral("réponse \"a\" reçue")) >= 4
            && robotTexte.contains(QStringLiteral("réponse d'identification \"r\" reçue"))
            && Compte(s, QStringLiteral("libere le tiroir ")) >= 1
            && QDir(racine + QStringLiteral("Echanges")).entryList({ QStringLiteral("CD*.txt") }, QDir::Files).isEmpty();
    };
    QTRY_VERIFY_WITH_TIMEOUT(fini(), 60000);
    QTest::qWait(1500); // les dernières boîtes sont retirées

    ::kill(pid_t(pelorane.processId()), SIGTERM);
    QVERIFY(pelorane.waitForFinished(10000));
    QCOMPARE(pelorane.exitStatus(), QProcess::NormalExit);
    QCOMPARE(pelorane.exitCode(), 0);
    ::kill(pid_t(robot.processId()), SIGTERM);
    QVERIFY(robot.waitForFinished(10000));

    const QStringList s = Lignes(journalService, true);
    QCOMPARE(Compte(s, QStringLiteral("envoi le fichier ")), commandes);
    QCOMPARE(Compte(s, QStringLiteral("supp fich: ")), commandes);
    QVERIFY(Compte(s, QStringLiteral("UDP= -Start     -S")) >= 3);
    QVERIFY(s.contains(QStringLiteral("- A - demande d'ejection -----------------")));
    QVERIFY(s.contains(QStringLiteral("- a - reponse a la demande d'ejection ----")));
    QVERIFY(s.contains(QStringLiteral("- r - Identification ---------------------")));
    QCOMPARE(Compte(s, QStringLiteral("SUPPRESSION DE TOUS LES MESSAGES")), 0);
    for (const QString& ligne : lignesService)
        QVERIFY2(s.contains(ligne), qPrintable(ligne));
    // Chaque libération au bout du temps est précédée de sa ligne vide et suivie de la libération.
    const QRegularExpression duTemps(QStringLiteral("^libere le tiroir (\\d) car le temps est depasse$"));
    for (int i = 1; i + 1 < s.size(); ++i) {
        const auto m = duTemps.match(s[i]);
        if (m.hasMatch()) {
            QCOMPARE(s[i - 1], QString());
            QCOMPARE(s[i + 1], QStringLiteral("libere tiroir: %1   ").arg(m.captured(1)));
        }
    }
    QStringList fin = s;
    while (!fin.isEmpty() && fin.last().isEmpty())
        fin.removeLast();
    QCOMPARE(fin.mid(fin.size() - 2),
             (QStringList{ QStringLiteral("ferme port COM"), QStringLiteral("fermeture de la liaison TCPIP client") }));

    const QStringList bilan = Lignes(journalSimulateur, false);
    const QStringList attendus = {
        QStringLiteral("commandes deposees: %1").arg(commandes),
        QStringLiteral("commandes prises par l'hote: %1").arg(commandes),
        QStringLiteral("commandes livrees: %1").arg(commandes),
        QStringLiteral("commandes prises deux fois: 0"),
        QStringLiteral("commandes jamais prises: 0"),
        QStringLiteral("commandes vers un tiroir occupe: 0"),
        QStringLiteral("commandes vers un tiroir inconnu: 0"),
        QStringLiteral("identifications CDAPI recues: 1"),
    };
    for (const QString& ligne : attendus)
        QVERIFY2(bilan.contains(ligne), qPrintable(ligne + QStringLiteral(" absent de :\n") + bilan.join(QLatin1Char('\n'))));
    // Les identifications de l'hôte reçoivent leur "r" (la dernière peut croiser l'arrêt).
    const QRegularExpression reponsesR(QStringLiteral("^reponses r recues: (\\d+)$"));
    int r = -1;
    for (const QString& ligne : bilan)
        if (reponsesR.match(ligne).hasMatch())
            r = reponsesR.match(ligne).captured(1).toInt();
    QVERIFY(r >= 1);
}

// L'aide et la version du simulateur en français, comme celles de pelorane.
void TestBoutEnBout::aideDuSimulateur_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QStringList>("attendues"); // lignes (débuts) à trouver sur la sortie
    QTest::newRow("aide") << QStringLiteral("--help")
                          << QStringList{ "Utilisation : ", "Options :", "  -h, --help               Affiche cette aide.",
                                          "  -v, --version            Affiche la version." };
    QTest::newRow("version") << QStringLiteral("--version") << QStringList{ "pelorane-simulateur 1." };
}

void TestBoutEnBout::aideDuSimulateur()
{
    QFETCH(QString, option);
    QFETCH(QStringList, attendues);
    QProcess p;
    p.start(qEnvironmentVariable("PELORANE_SIMULATEUR"), { option });
    QVERIFY(p.waitForFinished(20000));
    QCOMPARE(p.exitCode(), 0);
    const QString sortie = QString::fromUtf8(p.readAllStandardOutput());
    for (const QString& debut : attendues) {
        bool trouvee = false;
        for (const QString& ligne : sortie.split(QLatin1Char('\n')))
            trouvee = trouvee || ligne.startsWith(debut);
        QVERIFY2(trouvee, qPrintable(debut + QStringLiteral(" absent de :\n") + sortie));
    }
    QVERIFY2(!sortie.contains(QStringLiteral("Displays")), qPrintable(sortie));
    QCOMPARE(p.readAllStandardError(), QByteArray());
}

QTEST_GUILESS_MAIN(TestBoutEnBout)
#include "TestBoutEnBout.moc"
