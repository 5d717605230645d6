#include "service/InstanceUnique.h"
#include "commun/FichiersEssai.h"
#include "commun/InstallationEssai.h"
#ifdef Q_OS_UNIX
#include "drawers/EmulateurCartes.h"
#endif

#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QUdpSocket>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

// Le programme lancé pour de vrai, comme le lancent les autres programmes :
// options, sortie d'erreur, codes de sortie, copie unique, SIGTERM.
class TestProcessus : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void arretsAuDemarrage_data();
    void arretsAuDemarrage();
    void marcheArretEtSecondeCopie();
    void secondeCopieActiveLaPremiere_data();
    void secondeCopieActiveLaPremiere();
    void aideEtVersion();

private:
    struct Lancement
    {
        InstallationEssai essai;
        QProcess processus;
        QString journal;
    };
    void Lance(Lancement& l, const QStringList& argumentsEnPlus);
    QString m_binaire;
};

void TestProcessus::initTestCase()
{
    m_binaire = qEnvironmentVariable("PELORANE_BINAIRE");
    QVERIFY2(QFileInfo(m_binaire).isExecutable(), qPrintable(m_binaire));
}

void TestProcessus::Lance(Lancement& l, const QStringList& argumentsEnPlus)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), l.essai.DossierReglages());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    l.processus.setProcessEnvironment(env);
    l.journal = l.essai.Chemin(QStringLiteral("journal.txt"));
    l.processus.start(m_binaire, QStringList{ QStringLiteral("--racine"), l.essai.Racine(), QStringLiteral("--journal"),
                                               l.journal }
                                     + argumentsEnPlus);
    QVERIFY(l.processus.waitForStarted(5000));
}

void TestProcessus::arretsAuDemarrage_data()
{
    QTest::addColumn<QString>("cas");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("erreurAttendue"); // %1 : chemin de la base
    QTest::addColumn<int>("lignesJournal");
    QTest::addColumn<QString>("derniereLigne");
    QTest::newRow("reglage absent") << "sans-reglage" << 2
                                    << "[VBpelorane] Vous devez lancer VBtrevix ce programme pour creer le chemin de la "
                                       "base de données\n"
                                    << 1 << "";
    QTest::newRow("base absente") << "sans-base" << 3 << "[VBpelorane] le fichier %1 est absent\n" << 1 << "";
    QTest::newRow("base verrouillee par un autre programme")
        << "base-verrouillee" << 4
        << "[VBpelorane] impossible d'ouvrir la base de données %2\ndatabase is locked\n" << 3
        << "base %2 verrouillee par un autre programme (database is locked) : nouvel essai pendant 10 s";
    QTest::newRow("jours de journal faux") << "jours-faux" << 64
                                           << "--journal-jours attend un nombre de jours positif ou nul : -3\n" << 0
                                           << "";
    QTest::newRow("port inconnu") << "port-inconnu" << 6 << "[erreur ouverture port COM] Le port COM1 est inconnu\n" << 7
                                  << "ouvre le COM1:9600,n,8,1";
}

void TestProcessus::arretsAuDemarrage()
{
    QFETCH(QString, cas);
    QFETCH(int, code);
    QFETCH(QString, erreurAttendue);
    QFETCH(int, lignesJournal);
    QFETCH(QString, derniereLigne);
    Lancement l;
    QStringList arguments;
    if (cas == QLatin1String("sans-base"))
        l.essai.EcritReglage(l.essai.Chemin(QStringLiteral("nulle-part.db")));
    if (cas == QLatin1String("port-inconnu")) {
        l.essai.EcritReglage(l.essai.CreeBase());
        arguments << QStringLiteral("--port-serie") << l.essai.Chemin(QStringLiteral("pas-de-carte"));
    }
    if (cas == QLatin1String("jours-faux"))
        arguments << QStringLiteral("--journal-jours") << QStringLiteral("-3");
    // L'hôte écrit dans sa base : une vraie seconde connexion la tient en écriture
    // exclusive pendant tout le démarrage (plus de 10 s).
    QSqlDatabase hote;
    const QString nomHote = QStringLiteral("hote-verrou");
    if (cas == QLatin1String("base-verrouillee")) {
        l.essai.EcritReglage(l.essai.CreeBase());
        hote = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), nomHote);
        hote.setDatabaseName(l.essai.Base());
        QVERIFY(hote.open());
        QSqlQuery q(hote);
        QVERIFY(q.exec(QStringLiteral("BEGIN EXCLUSIVE")));
        QVERIFY(q.exec(QStringLiteral("INSERT INTO paramINITtrevix (codevariable, valeur) VALUES ('Nb_Tiroirs', '2')")));
    }
    Lance(l, arguments);
    QVERIFY(l.processus.waitForFinished(20000));
    if (hote.isValid()) {
        QSqlQuery(hote).exec(QStringLiteral("ROLLBACK"));
        hote.close();
        hote = QSqlDatabase();
        QSqlDatabase::removeDatabase(nomHote);
    }
    QCOMPARE(l.processus.exitStatus(), QProcess::NormalExit);
    QCOMPARE(l.processus.exitCode(), code);
    // Le programme écrit dans le jeu de caractères du système, fins de ligne comprises (\r\n sous Windows).
    const QString erreur =
        QString::fromLocal8Bit(l.processus.readAllStandardError()).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    erreurAttendue.replace(QLatin1String("%1"), QDir::toNativeSeparators(l.essai.Chemin(QStringLiteral("nulle-part.db"))));
    erreurAttendue.replace(QLatin1String("%2"), QDir::toNativeSeparators(l.essai.Base()));
    derniereLigne.replace(QLatin1String("%2"), QDir::toNativeSeparators(l.essai.Base()));
    QVERIFY2(erreur.contains(erreurAttendue), qPrintable(erreur));
    const QStringList lignes = LignesJournal(l.journal);
    QCOMPARE(lignes.size(), lignesJournal);
    if (lignesJournal == 0)
        return;
    QVERIFY(lignes.first().startsWith(QStringLiteral("version prog : ")));
    if (!derniereLigne.isEmpty())
        QCOMPARE(lignes.last(), derniereLigne);
}

void TestProcessus::marcheArretEtSecondeCopie()
{
#ifndef Q_OS_UNIX
    // Les cartes simulées sont un pseudo-terminal, et l'arrêt passe par SIGTERM : sous Windows, la
    // marche complète est celle du bout en bout contre le simulateur (port COM relié à son terminal).
    QSKIP("pas de pseudo-terminal ni de SIGTERM sous Windows");
#else
    EmulateurCartes cartes;
    QVERIFY(cartes.Ouvre());
    cartes.DeclareCarte(QByteArrayLiteral("Z]"));
    cartes.DeclareCarte(QByteArrayLiteral("Z\\"));
    Lancement l;
    l.essai.EcritReglage(l.essai.CreeBase());
    QUdpSocket libre;
    libre.bind(QHostAddress::LocalHost, 0);
    const quint16 portUdp = libre.localPort();
    libre.close();
    QVERIFY(l.essai.Execute(QStringLiteral("INSERT INTO paramINITtrevix (codevariable, valeur) VALUES ('UDP_Port', '%1')")
                                .arg(portUdp)));
    Lance(l, { QStringLiteral("--port-serie"), cartes.CheminEsclave() });
    QTRY_VERIFY_WITH_TIMEOUT(LignesJournal(l.journal).contains(QStringLiteral("- En attente de commande (fichiers) ou BP -")),
                             15000);
    const int lignesAvant = int(LignesJournal(l.journal).size());

    // Une seconde copie sur la même racine s'arrête tout de suite, sans rien écrire.
    Lancement seconde;
    seconde.processus.setProcessEnvironment(l.processus.processEnvironment());
    seconde.processus.start(m_binaire, { QStringLiteral("--racine"), l.essai.Racine(), QStringLiteral("--journal"),
                                         l.journal, QStringLiteral("--port-serie"), cartes.CheminEsclave() });
    QVERIFY(seconde.processus.waitForFinished(10000));
    QCOMPARE(seconde.processus.exitCode(), 0);
    QCOMPARE(int(LignesJournal(l.journal).size()), lignesAvant);
    QCOMPARE(l.processus.state(), QProcess::Running);

    // Une action demandée par la ligne de commande fait ce que ferait le clic.
    QProcess action;
    action.setProcessEnvironment(l.processus.processEnvironment());
    action.start(m_binaire, { QStringLiteral("--racine"), l.essai.Racine(), QStringLiteral("--action"),
                              QStringLiteral("test-liaison-cartes") });
    QVERIFY(action.waitForFinished(10000));
    QCOMPARE(action.exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(LignesJournal(l.journal).count(QStringLiteral("test de liaison avec les cartes...")), 2,
                              10000);

    // Un datagramme de fin de convoyage passe jusqu'au journal.
    QUdpSocket emetteur;
    emetteur.writeDatagram(QByteArrayLiteral("-Start     -S2"), QHostAddress::LocalHost, portUdp);
    QTRY_VERIFY_WITH_TIMEOUT(LignesJournal(l.journal).contains(QStringLiteral("UDP= -Start     -S2")), 10000);

    ::kill(pid_t(l.processus.processId()), SIGTERM);
    QVERIFY(l.processus.waitForFinished(10000));
    QCOMPARE(l.processus.exitStatus(), QProcess::NormalExit);
    QCOMPARE(l.processus.exitCode(), 0);
    QCOMPARE(LignesJournal(l.journal).last(), QStringLiteral("ferme port COM"));
    QVERIFY(QString::fromUtf8(l.processus.readAllStandardError()).indexOf(QStringLiteral("ARRET du programme")) < 0);
#endif
}

void TestProcessus::secondeCopieActiveLaPremiere_data()
{
    // La copie unique ne tient qu'à la racine : ni le dossier temporaire ni
    // l'utilisateur n'y changent rien.
    QTest::addColumn<bool>("autreEnvironnement");
    QTest::newRow("meme environnement") << false;
    QTest::newRow("autre TMPDIR, sans USER") << true;
}

void TestProcessus::secondeCopieActiveLaPremiere()
{
    QFETCH(bool, autreEnvironnement);
    InstallationEssai essai;
    InstanceUnique premiere(essai.Racine());
    QVERIFY(!premiere.InstancePrecedente());
    QVERIFY(premiere.Ecoute());
    QSignalSpy activations(&premiere, &InstanceUnique::activationDemandee);

    Lancement l;
    l.essai.EcritReglage(QString());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), l.essai.DossierReglages());
    if (autreEnvironnement) {
        QVERIFY(QDir().mkpath(essai.Chemin(QStringLiteral("tmp"))));
        env.insert(QStringLiteral("TMPDIR"), essai.Chemin(QStringLiteral("tmp")));
        env.remove(QStringLiteral("USER"));
    }
    l.processus.setProcessEnvironment(env);
    const QString journal = essai.Chemin(QStringLiteral("journal.txt"));
    {
        QFile existant(journal);
        QVERIFY(existant.open(QIODevice::WriteOnly));
        existant.write("2026-01-01 00:00:00.000 ligne d'avant\n");
    }
    l.processus.start(m_binaire, { QStringLiteral("--racine"), essai.Racine(), QStringLiteral("--journal"), journal });
    QVERIFY(l.processus.waitForFinished(10000));
    QCOMPARE(l.processus.exitCode(), 0);
    QTRY_COMPARE(activations.size(), 1);
    // Le journal est ouvert en ajout et la seconde copie n'y écrit rien.
    QCOMPARE(LignesJournal(journal), QStringList{ QStringLiteral("ligne d'avant") });
    QCOMPARE(l.processus.readAllStandardError().contains("Vous devez lancer"), false);
}

void TestProcessus::aideEtVersion()
{
    QProcess p;
    p.start(m_binaire, { QStringLiteral("--version") });
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), 0);
    QVERIFY(p.readAllStandardOutput().startsWith("pelorane "));
    p.start(m_binaire, { QStringLiteral("--help") });
    QVERIFY(p.waitForFinished(5000));
    const QString aide = QString::fromUtf8(p.readAllStandardOutput());
    for (const char* option : { "--racine", "--port-serie", "--journal", "--version", "--help" })
        QVERIFY2(aide.contains(QLatin1String(option)), option);
    p.start(m_binaire, { QStringLiteral("--inconnue") });
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), 64);
    InstallationEssai essai;
    p.start(m_binaire, { QStringLiteral("--racine"), essai.Racine(), QStringLiteral("--action"),
                         QStringLiteral("test-liaison-cdapi") });
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 1);
    QCOMPARE(QString::fromUtf8(p.readAllStandardError()).trimmed().split(QLatin1Char('\n')).last(),
             QStringLiteral("aucune copie de pelorane ne tourne pour la racine ") + essai.Racine());
    p.start(m_binaire, { QStringLiteral("--action"), QStringLiteral("danser") });
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), 64);
}

QTEST_GUILESS_MAIN(TestProcessus)
#include "TestProcessus.moc"
