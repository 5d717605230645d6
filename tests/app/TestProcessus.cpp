#include "service/InstanceUnique.h"
#include "commun/FichiersEssai.h"
#include "commun/InstallationEssai.h"
#ifdef Q_OS_UNIX
#include "drawers/EmulateurCartes.h"
#endif

#include <QDir>
#include <QLockFile>
#include <QProcess>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSysInfo>
#include <QTemporaryDir>
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
    void racineParUnAutreChemin_data();
    void verrouTenuSansCanal_data();
    void secondeCopieParUnLienLong();
    void verrouTenuSansCanal();
    void racineParUnAutreChemin();
    void ligneDeCommandeFausse_data();
    void ligneDeCommandeFausse();

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
    // Le programme écrit en UTF-8 sur toute plateforme, fins de ligne en \r\n sous Windows.
    const QString erreur =
        QString::fromUtf8(l.processus.readAllStandardError()).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
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
    QTest::addColumn<int>("occupeeMs"); // la première copie ne lit pas son canal pendant ce temps
    QTest::newRow("meme environnement") << false << 0;
    QTest::newRow("autre TMPDIR, sans USER") << true << 0;
    QTest::newRow("premiere copie occupee 1,5 s") << false << 1500;
}

void TestProcessus::secondeCopieActiveLaPremiere()
{
    QFETCH(bool, autreEnvironnement);
    QFETCH(int, occupeeMs);
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
    // La première copie, c'est ce test : sa boucle d'événements doit tourner pour lire la
    // demande (sous Windows, l'écriture sur le canal attend que l'autre bout lise). Occupée,
    // elle ne la fait pas tourner un moment (sous Unix, la seconde a pu finir pendant ce temps).
    if (occupeeMs > 0)
        l.processus.waitForFinished(occupeeMs);
    QTRY_VERIFY_WITH_TIMEOUT(l.processus.state() == QProcess::NotRunning, 10000);
    QCOMPARE(l.processus.exitCode(), 0);
    QTRY_COMPARE(activations.size(), 1);
    const QByteArray erreur = l.processus.readAllStandardError();
    // Une ligne dit pourquoi aucune fenêtre ne s'ouvre.
    QCOMPARE(QString::fromUtf8(erreur).trimmed().split(QLatin1Char('\n')).last(),
             QStringLiteral("une copie tourne déjà pour la racine ") + QDir::toNativeSeparators(QDir::cleanPath(essai.Racine()))
                 + QStringLiteral(" : sa fenêtre est ramenée"));
    // Le journal est ouvert en ajout et la seconde copie n'y écrit rien.
    QCOMPARE(LignesJournal(journal), QStringList{ QStringLiteral("ligne d'avant") });
    QCOMPARE(erreur.contains("Vous devez lancer"), false);
}

void TestProcessus::ligneDeCommandeFausse_data()
{
    // %1 : un dossier temporaire qui sert de HOME neuf (sans réglage) ; le dossier
    // « absent » ne doit pas exister après la sortie.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("derniereLigne");
    QTest::addColumn<QString>("absent");
    QTest::newRow("argument en trop") << QStringList{ "foo" } << 64
                                      << "argument inattendu : foo ; voir pelorane --help" << "%1/grindel";
    QTest::newRow("option inconnue") << QStringList{ "--inconnue" } << 64
                                     << "Option inconnue \"inconnue\" ; voir pelorane --help" << "%1/grindel";
    QTest::newRow("racine absente")
        << QStringList{ "--racine", "%1/pharma/racine" } << 64
        << "le dossier racine %1/pharma/racine n'existe pas : créez-le, ou donnez un dossier existant à --racine"
        << "%1/pharma";
    QTest::newRow("action sur une racine absente")
        << QStringList{ "--racine", "%1/pharma", "--action", "montrer" } << 64
        << "le dossier racine %1/pharma n'existe pas : créez-le, ou donnez un dossier existant à --racine"
        << "%1/pharma";
    QTest::newRow("action, racine par défaut absente")
        << QStringList{ "--action", "montrer" } << 1 << "aucune copie de pelorane ne tourne pour la racine %R"
        << "%R";
    // Démarrage manqué d'un nouvel utilisateur : pas de racine vide laissée derrière.
    QTest::newRow("démarrage manqué, HOME neuf")
        << QStringList{} << 2
        << "[VBpelorane] Vous devez lancer VBtrevix ce programme pour creer le chemin de la base de données"
        << "%R";
}

void TestProcessus::ligneDeCommandeFausse()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QFETCH(QString, derniereLigne);
    QFETCH(QString, absent);
    QTemporaryDir home;
    const QString h = QDir(home.path()).canonicalPath();
    for (QString& a : arguments)
        a.replace(QStringLiteral("%1"), h);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), h);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), h + QStringLiteral("/.config"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(m_binaire, arguments);
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), code);
    // %R : la racine par défaut telle que le programme l'affiche (sous Windows, elle ne
    // dépend pas de HOME).
#ifdef Q_OS_WIN
    const QString racineParDefaut = QStringLiteral("C:\\grindel\\");
#else
    const QString racineParDefaut = h + QStringLiteral("/grindel/");
#endif
    const auto remplace = [&](QString texte) {
        return texte.replace(QStringLiteral("%R"), racineParDefaut).replace(QStringLiteral("%1"), h);
    };
    QCOMPARE(QString::fromUtf8(p.readAllStandardError()).trimmed().split(QLatin1Char('\n')).last(),
             remplace(derniereLigne));
    QVERIFY2(!QFileInfo::exists(remplace(absent)), qPrintable(remplace(absent)));
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

void TestProcessus::racineParUnAutreChemin_data()
{
    // Le service démarre une fois par `premier` (le registre y note sa racine), puis
    // par `second`. Le même dossier atteint par un lien garde son registre (le
    // démarrage va jusqu'au port des cartes, absent : code 6) ; un registre porté
    // dans une autre racine est toujours refusé (code 7).
    QTest::addColumn<QString>("premier"); // chemins relatifs au dossier d'essai
    QTest::addColumn<QString>("second");
    QTest::addColumn<int>("code");
    QTest::newRow("lien vers la racine") << "racine" << "lien" << 6;
    QTest::newRow("racine, apres un demarrage par le lien") << "lien" << "racine" << 6;
    QTest::newRow("lien de lien") << "racine" << "lien2" << 6;
    QTest::newRow("registre porte dans une autre racine") << "racine" << "autre" << 7;
}

void TestProcessus::racineParUnAutreChemin()
{
    QFETCH(QString, premier);
    QFETCH(QString, second);
    QFETCH(int, code);
#ifdef Q_OS_WIN
    if (premier.startsWith(QLatin1String("lien")) || second.startsWith(QLatin1String("lien")))
        QSKIP("QFile::link fait un raccourci .lnk sous Windows, pas un lien vers un dossier");
#endif
    InstallationEssai essai;
    essai.EcritReglage(essai.CreeBase());
    const QString racine = essai.Chemin(QStringLiteral("racine"));
    QVERIFY(QFile::link(racine, essai.Chemin(QStringLiteral("lien"))));
    QVERIFY(QFile::link(essai.Chemin(QStringLiteral("lien")), essai.Chemin(QStringLiteral("lien2"))));
    QVERIFY(QDir().mkpath(essai.Chemin(QStringLiteral("autre"))));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), essai.DossierReglages());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const auto lance = [&](const QString& dossier, QString* erreur) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(m_binaire, { QStringLiteral("--racine"), essai.Chemin(dossier), QStringLiteral("--port-serie"),
                             essai.Chemin(QStringLiteral("pas-de-carte")) });
        if (!p.waitForFinished(20000))
            return -1;
        *erreur = QString::fromUtf8(p.readAllStandardError());
        return p.exitCode();
    };
    QString erreur;
    QCOMPARE(lance(premier, &erreur), 6);
    if (second == QLatin1String("autre"))
        QVERIFY(QFile::copy(racine + QStringLiteral("/pelorane-registre.db"),
                            essai.Chemin(QStringLiteral("autre/pelorane-registre.db"))));
    QCOMPARE(lance(second, &erreur), code);
    const QString refus = QStringLiteral("le registre des remises %1/pelorane-registre.db appartient a la racine %2 : il "
                                         "ne peut pas servir a la racine %1/")
                              .arg(essai.Chemin(second), racine);
    QCOMPARE(erreur.contains(QDir::toNativeSeparators(refus)), code == 7);
    QVERIFY2(erreur.contains(QStringLiteral("[erreur ouverture port COM]")) == (code == 6), qPrintable(erreur));
}

void TestProcessus::verrouTenuSansCanal_data()
{
    // Le verrou de la racine est là, mais aucune copie n'écoute sur son canal.
    QTest::addColumn<QString>("detenteur"); // "vivant" : ce test le tient ; "autre-hote" ; "arrete"
    QTest::addColumn<int>("code");
    QTest::newRow("tenu par un processus vivant de cet hote") << "vivant" << 8;
    QTest::newRow("tenu depuis une autre machine") << "autre-hote" << 8;
    // Repris, avec sa ligne ; le démarrage va jusqu'au port des cartes, absent.
    QTest::newRow("laisse par un processus arrete de cet hote") << "arrete" << 6;
}

void TestProcessus::verrouTenuSansCanal()
{
    QFETCH(QString, detenteur);
    QFETCH(int, code);
    Lancement l;
    l.essai.EcritReglage(l.essai.CreeBase());
    const QString verrou = l.essai.Chemin(QStringLiteral("racine/pelorane.verrou"));
    const QString hote = QSysInfo::machineHostName();
    // Un processus qui a vécu : son numéro n'est plus celui d'aucun processus.
    QProcess court;
    court.start(m_binaire, { QStringLiteral("--version") });
    QVERIFY(court.waitForStarted(5000));
    const qint64 mort = court.processId();
    QVERIFY(court.waitForFinished(5000));
    QLockFile tenu(verrou);
    QByteArray contenu;
    if (detenteur == QLatin1String("vivant")) {
        QVERIFY(tenu.tryLock(0));
    } else {
        contenu = QByteArray::number(mort) + "\npelorane\n"
            + (detenteur == QLatin1String("autre-hote") ? QByteArray("poste-caisse-2\nautre-machine\nautre-amorcage\n")
                                                       : hote.toUtf8() + '\n' + QSysInfo::machineUniqueId() + '\n'
                       + QSysInfo::bootUniqueId() + '\n');
        Ecrit(verrou, contenu);
    }
    Lance(l, { QStringLiteral("--port-serie"), l.essai.Chemin(QStringLiteral("pas-de-carte")) });
    QVERIFY(l.processus.waitForFinished(20000));
    QCOMPARE(l.processus.exitCode(), code);
    const QString erreur = QString::fromUtf8(l.processus.readAllStandardError());
    const QStringList lignes = LignesJournal(l.journal);
    if (code == 6) {
        QCOMPARE(lignes.value(1), QStringLiteral("verrou %1 laisse par le processus %2 (pelorane), arrete sur cet hote : "
                                                 "repris")
                                      .arg(QDir::toNativeSeparators(verrou))
                                      .arg(mort));
        return;
    }
    // L'hôte tel que le verrou l'écrit (sous Windows, le nom NetBIOS, en capitales).
    QString hoteDuVerrou;
    if (detenteur == QLatin1String("vivant"))
        QVERIFY(tenu.getLockInfo(nullptr, &hoteDuVerrou, nullptr));
    const QString nom = detenteur == QLatin1String("vivant")
        ? QStringLiteral("processus %1 (%2) sur l'hote %3")
              .arg(QCoreApplication::applicationPid())
              .arg(QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName(), hoteDuVerrou)
        : QStringLiteral("processus %1 (pelorane) sur l'hote poste-caisse-2").arg(mort);
    QCOMPARE(erreur.trimmed().split(QLatin1Char('\n')).last(),
             QStringLiteral("[VBpelorane] une autre copie de pelorane tient la racine %1 (verrou %2 : %3) mais ne repond "
                            "pas sur son canal : ce service ne demarre pas. Arretez l'autre copie ; si elle est arretee "
                            "sur l'autre hote, effacez le verrou.")
                 .arg(QDir::toNativeSeparators(l.essai.Racine()), QDir::toNativeSeparators(verrou), nom));
    // Rien n'a été écrit ni pris : le verrou de l'autre est intact.
    QCOMPARE(lignes, QStringList());
    if (!contenu.isEmpty())
        QCOMPARE(Lit(verrou), contenu);
}

void TestProcessus::secondeCopieParUnLienLong()
{
    // Racine et lien aux chemins trop longs pour une prise Unix (le canal va dans
    // /tmp, nommé d'après la racine) : lancée par le lien, la seconde copie trouve
    // quand même la première et s'arrête (code 0, pas 8).
#ifdef Q_OS_WIN
    QSKIP("canaux nommés de Windows, sans la limite de taille des prises Unix ; QFile::link y fait un raccourci");
#endif
    InstallationEssai essai;
    const QString longue = essai.Chemin(QStringLiteral("un-dossier-de-pharmacie-au-nom-tres-long-pour-que-la-prise-"
                                                       "ne-tienne-pas-dans-la-racine/racine"));
    const QString lien = essai.Chemin(QStringLiteral("lien-long-vers-la-racine-de-la-pharmacie-pour-depasser-la-"
                                                     "taille-d-une-prise-unix"));
    QVERIFY(QDir().mkpath(longue));
    QVERIFY(QFile::link(longue, lien));
    InstanceUnique premiere(longue);
    QVERIFY(premiere.NomCanal().startsWith(QStringLiteral("/tmp/pelorane-")));
    QVERIFY(!premiere.InstancePrecedente());
    QVERIFY(premiere.Ecoute());
    QSignalSpy activations(&premiere, &InstanceUnique::activationDemandee);
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), essai.DossierReglages());
    p.setProcessEnvironment(env);
    p.start(m_binaire, { QStringLiteral("--racine"), lien });
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 0);
    QTRY_COMPARE(activations.size(), 1);
}

QTEST_GUILESS_MAIN(TestProcessus)
#include "TestProcessus.moc"
