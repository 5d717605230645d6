#include "commun/FichiersEssai.h"
#include "commun/InstallationEssai.h"
#include "drawers/EmulateurCartes.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTimer>
#include <QTest>
#include <QUdpSocket>

#include <csignal>
#include <unistd.h>

// Le vrai programme arrêté puis relancé sur la même racine : un tiroir dont les
// boîtes sont en route reste en cours, l'historique se lit pendant que le service
// tourne, et des arrêts brutaux répétés pendant que le simulateur dépose des
// commandes ne doublent, ne perdent ni ne mélangent aucune commande.
class TestRepriseProcessus : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void tiroirEnRouteApresRedemarrage();
    void arretsBrutauxPendantLeTravail();
    void surLeDisqueAvantDeLeNoter();
    void illisibleAuRedemarrage();
    void heureAvanceePendantLArret();
    void copieNonConfirmeeParLeDisque();
    void passationReVideeSurLeDisque();
    void effacementNonConfirme();
    void registreEnPanneUnInstant_data();
    void registreEnPanneUnInstant();
    void lecturesServiceArreteSansJournaux();
    void registreSurUnPartage();

private:
    static int Compte(const QStringList& lignes, const QString& debut);
    // Un tiroir dont la carte dit toujours "00" (boîtes en route) et une installation
    // d'essai ; rend la racine (sans lien ni '/' final) et les arguments du service.
    static bool PrepareUnTiroir(EmulateurCartes& cartes, InstallationEssai& essai, const QString& tempsMax,
                                QString* racine, QStringList* arguments);
    static quint16 PortUdpLibre();
    // Le service sous strace (options `strace` avant le programme) ; l'arrêter, c'est
    // lui envoyer SIGTERM à lui, l'enfant de strace (strace le lâcherait).
    bool LanceSousStrace(QProcess& p, const InstallationEssai& essai, const QStringList& strace,
                         const QStringList& arguments) const;
    static void ArreteSousStrace(QProcess& p);
    // "FICHIER:etat" de chaque ligne du registre, dans l'ordre des lignes.
    static QStringList EtatsRegistre(const QString& chemin);
    QProcessEnvironment Environnement(const InstallationEssai& essai) const;
    QString m_service;
    QString m_simulateur;
};

void TestRepriseProcessus::initTestCase()
{
    m_service = qEnvironmentVariable("PELORANE_BINAIRE");
    m_simulateur = qEnvironmentVariable("PELORANE_SIMULATEUR");
    QVERIFY2(QFileInfo(m_service).isExecutable(), qPrintable(m_service));
    QVERIFY2(QFileInfo(m_simulateur).isExecutable(), qPrintable(m_simulateur));
}

int TestRepriseProcessus::Compte(const QStringList& lignes, const QString& debut)
{
    int n = 0;
    for (const QString& l : lignes)
        n += l.startsWith(debut) ? 1 : 0;
    return n;
}

bool TestRepriseProcessus::PrepareUnTiroir(EmulateurCartes& cartes, InstallationEssai& essai,
                                           const QString& tempsMax, QString* racine, QStringList* arguments)
{
    if (!cartes.Ouvre())
        return false;
    cartes.DeclareCarte(QByteArrayLiteral("Z]"));
    cartes.MetReponse(QByteArrayLiteral("Z]"), 'G', QByteArrayLiteral("00"));
    essai.EcritReglage(essai.CreeBase());
    *racine = QFileInfo(essai.Racine()).canonicalFilePath();
    *arguments = { QStringLiteral("--racine"), *racine, QStringLiteral("--journal"),
                   essai.Chemin(QStringLiteral("journal.txt")), QStringLiteral("--port-serie"), cartes.CheminEsclave() };
    return QDir().mkpath(*racine + QStringLiteral("/Echanges"))
        && essai.Execute(QStringLiteral("INSERT INTO paramINITtrevix (codevariable, valeur) VALUES ('UDP_Port', '%1'), "
                                        "('Nb_Tiroirs', '1'), ('TempsMaxAttenteProduit', '%2')")
                             .arg(PortUdpLibre())
                             .arg(tempsMax));
}

quint16 TestRepriseProcessus::PortUdpLibre()
{
    QUdpSocket libre;
    libre.bind(QHostAddress::LocalHost, 0);
    return libre.localPort();
}

QProcessEnvironment TestRepriseProcessus::Environnement(const InstallationEssai& essai) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), essai.DossierReglages());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QDir().mkpath(essai.Chemin(QStringLiteral("tmp")));
    env.insert(QStringLiteral("TMPDIR"), essai.Chemin(QStringLiteral("tmp")));
    return env;
}

void TestRepriseProcessus::tiroirEnRouteApresRedemarrage()
{
    // Un tiroir, sa carte dit toujours "0" : les boîtes ne sont pas encore arrivées.
    EmulateurCartes cartes;
    QVERIFY(cartes.Ouvre());
    cartes.DeclareCarte(QByteArrayLiteral("Z]"));
    cartes.MetReponse(QByteArrayLiteral("Z]"), 'G', QByteArrayLiteral("00"));
    InstallationEssai essai;
    essai.EcritReglage(essai.CreeBase());
    const quint16 portUdp = PortUdpLibre();
    QVERIFY(essai.Execute(QStringLiteral("INSERT INTO paramINITtrevix (codevariable, valeur) VALUES ('UDP_Port', '%1'), "
                                         "('Nb_Tiroirs', '1'), ('TempsMaxAttenteProduit', '120')")
                              .arg(portUdp)));
    const QString racine = essai.Racine();
    const QString journal = essai.Chemin(QStringLiteral("journal.txt"));
    const QString passation = racine + QStringLiteral("zCdeMnl.txt");
    const QStringList arguments = { QStringLiteral("--racine"), racine, QStringLiteral("--journal"), journal,
                                    QStringLiteral("--port-serie"), cartes.CheminEsclave() };
    QDir().mkpath(racine + QStringLiteral("Echanges"));
    auto ecrit = [](const QString& chemin, const QByteArray& octets) {
        QFile f(chemin);
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(octets) == octets.size();
    };
    const QString attente = QStringLiteral("- En attente de commande (fichiers) ou BP -");

    QProcess premier;
    premier.setProcessEnvironment(Environnement(essai));
    premier.start(m_service, arguments);
    QVERIFY(premier.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(LignesJournal(journal).contains(attente), 15000);
    QVERIFY(ecrit(racine + QStringLiteral("Echanges/CD1.txt"), "ordre:    71\r\nP.Recept: 000\r\n"));
    QTRY_VERIFY_WITH_TIMEOUT(Compte(LignesJournal(journal), QStringLiteral("supp fich: ")) == 1, 10000);
    QVERIFY(ecrit(passation, QByteArray())); // l'hôte prend la commande
    ::kill(pid_t(premier.processId()), SIGTERM);
    QVERIFY(premier.waitForFinished(10000));
    QCOMPARE(premier.exitCode(), 0);

    // Redémarrage : le tiroir 1 attend toujours les boîtes de CD1.txt.
    QProcess second;
    second.setProcessEnvironment(Environnement(essai));
    second.start(m_service, arguments);
    QVERIFY(second.waitForStarted(5000));
    QTRY_VERIFY2_WITH_TIMEOUT(Compte(LignesJournal(journal), attente) == 2,
                              qPrintable(LignesJournal(journal).join(QLatin1Char('\n'))), 15000);
    const QStringList apres = LignesJournal(journal).mid(LignesJournal(journal).lastIndexOf(QStringLiteral("libere tiroir: 1   ")));
    QVERIFY2(QRegularExpression(QStringLiteral("^tiroir 1 : commande CD1\\.txt \\(ordre 71\\) remise avant l'arret il "
                                               "y a \\d+ s, ses boites sont attendues : le tiroir reste en cours$"))
                 .match(apres.value(1))
                 .hasMatch(),
             qPrintable(apres.value(1)));
    QVERIFY(ecrit(racine + QStringLiteral("Echanges/CD2.txt"), "ordre:    72\r\nP.Recept: 000\r\n"));
    QTest::qWait(3000); // une dizaine de passes : le tiroir ne prend rien
    QCOMPARE(Compte(LignesJournal(journal), QStringLiteral("envoi le fichier ")), 1);

    // L'historique se lit pendant que le service tourne.
    QProcess historique;
    historique.setProcessEnvironment(Environnement(essai));
    historique.start(m_service, { QStringLiteral("--racine"), racine, QStringLiteral("--historique"), QStringLiteral("--csv") });
    QVERIFY(historique.waitForFinished(10000));
    QCOMPARE(historique.exitCode(), 0);
    const QString h = QStringLiteral("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}");
    QVERIFY2(QRegularExpression(QStringLiteral("^fichier;ordre;tiroir;vue_le;remise_le;effacee_le;liberee_le;liberation\n"
                                               "CD1\\.txt;71;1;%1;%1;%1;;\n$")
                                    .arg(h))
                 .match(QString::fromUtf8(historique.readAllStandardOutput()))
                 .hasMatch(),
             "historique inattendu");

    // Les boîtes arrivent : le datagramme libère le tiroir, qui prend CD2.txt.
    QUdpSocket convoyeur;
    convoyeur.writeDatagram(QByteArrayLiteral("-Start     -S1"), QHostAddress::LocalHost, portUdp);
    QTRY_VERIFY_WITH_TIMEOUT(Compte(LignesJournal(journal), QStringLiteral("envoi le fichier ")) == 2, 10000);
    ::kill(pid_t(second.processId()), SIGTERM);
    QVERIFY(second.waitForFinished(10000));
    // Un arrêt propre ne laisse ni verrou ni canal (racine et dossier temporaire)
    // ni journal WAL à côté du registre. Seul reste le dossier d'exécution privé de
    // l'utilisateur, un seul, repris à chaque démarrage.
    QCOMPARE(QDir(racine).entryList(QDir::Files | QDir::System | QDir::Hidden).join(QLatin1Char(' ')),
             QStringLiteral("pelorane-registre.db zCdeMnl.txt"));
    QCOMPARE(QDir(essai.Chemin(QStringLiteral("tmp")))
                 .entryList({ QStringLiteral("pelorane*") }, QDir::AllEntries | QDir::System | QDir::Hidden)
                 .join(QLatin1Char(' ')),
             QStringLiteral("pelorane-execution-%1").arg(::getuid()));

    historique.start(m_service, { QStringLiteral("--racine"), racine, QStringLiteral("--historique"), QStringLiteral("--csv") });
    QVERIFY(historique.waitForFinished(10000));
    const QStringList csv = QString::fromUtf8(historique.readAllStandardOutput()).split(QLatin1Char('\n'));
    QCOMPARE(csv.size(), 4);
    QVERIFY2(csv[1].endsWith(QStringLiteral(";datagramme")), qPrintable(csv[1]));
    QVERIFY2(csv[2].startsWith(QStringLiteral("CD2.txt;72;1;")) && csv[2].endsWith(QStringLiteral(";;")),
             qPrintable(csv[2]));
    // Le tableau pour une personne, puis un registre absent.
    historique.start(m_service, { QStringLiteral("--racine"), racine, QStringLiteral("--historique") });
    QVERIFY(historique.waitForFinished(10000));
    const QStringList tableau = QString::fromUtf8(historique.readAllStandardOutput()).split(QLatin1Char('\n'));
    QVERIFY2(tableau.value(0).startsWith(QStringLiteral("Fichier  Ordre  Tiroir  Vue le")), qPrintable(tableau.value(0)));
    QVERIFY2(tableau.value(1).contains(QStringLiteral("fin de convoyage")), qPrintable(tableau.value(1)));
    QCOMPARE(tableau.value(3), QStringLiteral("2 commande(s)"));
    historique.start(m_service, { QStringLiteral("--registre"), essai.Chemin(QStringLiteral("absent.db")),
                                  QStringLiteral("--historique") });
    QVERIFY(historique.waitForFinished(10000));
    QCOMPARE(historique.exitCode(), 1);
    QCOMPARE(QString::fromUtf8(historique.readAllStandardError()).trimmed().split(QLatin1Char('\n')).last(),
             QStringLiteral("impossible de lire le registre des remises %1 : registre introuvable")
                 .arg(essai.Chemin(QStringLiteral("absent.db"))));
}

void TestRepriseProcessus::arretsBrutauxPendantLeTravail()
{
    QTcpServer tcpLibre;
    QVERIFY(tcpLibre.listen(QHostAddress::LocalHost, 0));
    const quint16 portCdapi = tcpLibre.serverPort();
    tcpLibre.close();
    const quint16 portUdp = PortUdpLibre();

    InstallationEssai essai;
    const QString racine = essai.Racine();
    const QString journal = essai.Chemin(QStringLiteral("journal.txt"));
    const QString journalSimulateur = essai.Chemin(QStringLiteral("simulateur.txt"));
    const int commandes = 40;
    QProcess robot;
    robot.setProcessEnvironment(Environnement(essai));
    robot.setStandardOutputFile(journalSimulateur);
    robot.start(m_simulateur,
                { QStringLiteral("--racine"), racine, QStringLiteral("--commandes"), QString::number(commandes),
                  QStringLiteral("--intervalle"), QStringLiteral("400"), QStringLiteral("--delai-hote"),
                  QStringLiteral("200"), QStringLiteral("--delai-convoyeur"), QStringLiteral("1500"),
                  QStringLiteral("--collecte"), QStringLiteral("600"), QStringLiteral("--perte-datagramme"),
                  QStringLiteral("4"), QStringLiteral("--retours"), QStringLiteral("0"), QStringLiteral("--port-cdapi"),
                  QString::number(portCdapi), QStringLiteral("--port-udp"), QString::number(portUdp),
                  QStringLiteral("--param"), QStringLiteral("TempsMaxAttenteProduit=4") });
    QVERIFY(robot.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(racine + QStringLiteral("cartes-serie")), 10000);
    const QStringList arguments = { QStringLiteral("--racine"), racine, QStringLiteral("--port-serie"),
                                    racine + QStringLiteral("cartes-serie"), QStringLiteral("--journal"), journal };
    const QString attente = QStringLiteral("- En attente de commande (fichiers) ou BP -");

    // Vingt arrêts brutaux (kill -9), chacun à un moment tiré au hasard du travail.
    const int arrets = 20;
    for (int i = 0; i < arrets; ++i) {
        QProcess service;
        service.setProcessEnvironment(Environnement(essai));
        service.start(m_service, arguments);
        QVERIFY(service.waitForStarted(5000));
        QTRY_VERIFY2_WITH_TIMEOUT(Compte(LignesJournal(journal), attente) == i + 1,
                              qPrintable(LignesJournal(journal).join(QLatin1Char('\n'))), 15000);
        QTest::qWait(int(QRandomGenerator::global()->bounded(300, 1500)));
        ::kill(pid_t(service.processId()), SIGKILL);
        QVERIFY(service.waitForFinished(10000));
    }

    // Un dernier service finit le travail.
    QProcess service;
    service.setProcessEnvironment(Environnement(essai));
    service.start(m_service, arguments);
    QVERIFY(service.waitForStarted(5000));
    const QString echanges = racine + QStringLiteral("Echanges/");
    auto restantes = [&] { return QDir(echanges).entryList({ QStringLiteral("CD*.txt") }, QDir::Files); };
    // Restent seulement les commandes mises de côté (l'opérateur décide).
    auto miseDeCote = [&](const QStringList& journalService, const QString& nom) {
        return !journalService.filter(QStringLiteral("commande ") + nom).filter(QStringLiteral("mise de cote")).isEmpty();
    };
    auto seulesMisesDeCote = [&] {
        const QStringList s = LignesJournal(journal);
        for (const QString& nom : restantes())
            if (!miseDeCote(s, nom))
                return false;
        return true;
    };
    QTRY_VERIFY_WITH_TIMEOUT(QString::fromUtf8([&] {
                                 QFile f(journalSimulateur);
                                 return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
                             }())
                                     .contains(QStringLiteral("dépose CD%1.txt").arg(commandes, 6, 10, QLatin1Char('0')))
                                 && seulesMisesDeCote(),
                             60000);
    QTest::qWait(3000); // les dernières boîtes arrivent
    ::kill(pid_t(service.processId()), SIGTERM);
    QVERIFY(service.waitForFinished(10000));
    ::kill(pid_t(robot.processId()), SIGTERM);
    QVERIFY(robot.waitForFinished(10000));

    // Une commande mise de côté reste dans le dossier, avec sa ligne au journal :
    // elle n'est ni perdue ni remise deux fois.
    const QStringList s = LignesJournal(journal);
    const int laissees = int(restantes().size());
    const QStringList bilan = QString::fromUtf8([&] {
        QFile f(journalSimulateur);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }()).split(QLatin1Char('\n'));
    qInfo("%d arrets brutaux ; commandes mises de cote : %d ; effacees au redemarrage sans nouvelle remise : %d ; "
          "tiroirs repris en cours : %d",
          arrets, laissees, Compte(s, QStringLiteral("commande CD")) - laissees,
          int(s.filter(QStringLiteral("ses boites sont attendues")).size()));
    // Une commande mise de côté a pu être prise par l'hôte avant l'arrêt, ou non.
    const QRegularExpression jamais(QStringLiteral("^commandes jamais prises: (\\d+)$"));
    int jamaisPrises = -1;
    for (const QString& ligne : bilan)
        if (jamais.match(ligne).hasMatch())
            jamaisPrises = jamais.match(ligne).captured(1).toInt();
    QVERIFY2(jamaisPrises >= 0 && jamaisPrises <= laissees, qPrintable(bilan.join(QLatin1Char('\n'))));
    for (const QString& ligne : { QStringLiteral("commandes deposees: %1").arg(commandes),
                                  QStringLiteral("commandes prises deux fois: 0"),
                                  QStringLiteral("commandes vers un tiroir occupe: 0"),
                                  QStringLiteral("commandes vers un tiroir inconnu: 0") })
        QVERIFY2(bilan.contains(ligne), qPrintable(ligne + QStringLiteral(" absent de :\n") + bilan.join(QLatin1Char('\n'))));
}

void TestRepriseProcessus::surLeDisqueAvantDeLeNoter()
{
    // Les appels système du vrai service, dans l'ordre : la copie écrite puis
    // poussée sur le disque avant que le registre ne note « remise » ; la commande
    // effacée, son dossier poussé sur le disque, puis « effacee ».
    if (QStandardPaths::findExecutable(QStringLiteral("strace")).isEmpty())
        QSKIP("strace absent");
    EmulateurCartes cartes;
    InstallationEssai essai;
    QString racine;
    QStringList arguments;
    QVERIFY(PrepareUnTiroir(cartes, essai, QStringLiteral("30"), &racine, &arguments));
    const QString journal = essai.Chemin(QStringLiteral("journal.txt"));
    const QString trace = essai.Chemin(QStringLiteral("strace.txt"));
    Ecrit(racine + QStringLiteral("/Echanges/CD1.txt"), "ordre:    81\r\nP.Recept: 000\r\n");
    QProcess service;
    service.setProcessEnvironment(Environnement(essai));
    service.start(QStringLiteral("strace"),
                  QStringList{ QStringLiteral("-f"), QStringLiteral("-y"), QStringLiteral("-qq"), QStringLiteral("-o"), trace,
                    QStringLiteral("-e"), QStringLiteral("trace=write,pwrite64,fsync,fdatasync,unlink,unlinkat"),
                    m_service } + arguments);
    QVERIFY(service.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(Compte(LignesJournal(journal), QStringLiteral("supp fich: ")) == 1, 30000);
    QTest::qWait(500);
    // strace, lui, lâcherait le service sur SIGTERM : c'est le service qu'on arrête
    // (son numéro ouvre chaque ligne de la trace).
    QStringList lignes = QString::fromUtf8(Lit(trace)).split(QLatin1Char('\n'));
    ::kill(pid_t(lignes.value(0).section(QLatin1Char(' '), 0, 0).toInt()), SIGTERM);
    QVERIFY(service.waitForFinished(10000));
    lignes = QString::fromUtf8(Lit(trace)).split(QLatin1Char('\n'));
    // Premier appel `appel` ("sync(" : fsync ou fdatasync) sur `objet` (un descripteur montré <chemin>, ou un
    // chemin entre guillemets) à partir de la ligne `depuis` ; -1 s'il n'y en a pas.
    const auto premier = [&](int depuis, const QString& appel, const QString& objet) {
        for (int i = qMax(0, depuis); i < lignes.size(); ++i)
            if (lignes[i].contains(appel) && lignes[i].contains(objet))
                return i;
        return -1;
    };
    const QString copie = QStringLiteral("<") + racine + QStringLiteral("/zCdeMnl.txt>");
    const QString wal = QStringLiteral("<") + racine + QStringLiteral("/pelorane-registre.db-wal>");
    const int ecriture = premier(0, QStringLiteral(" write("), copie);
    const int copieSurDisque = premier(ecriture, QStringLiteral("sync("), copie);
    const int dossierCopie = premier(copieSurDisque, QStringLiteral("sync("), QStringLiteral("<") + racine + QStringLiteral(">)"));
    const int noteRemise = premier(premier(copieSurDisque, QStringLiteral("pwrite64("), wal), QStringLiteral("sync("), wal);
    const int effacement = premier(noteRemise, QStringLiteral("unlink"), QStringLiteral("/Echanges/CD1.txt\""));
    const int dossierEchange = premier(effacement, QStringLiteral("sync("), racine + QStringLiteral("/Echanges>)"));
    const int noteEffacee = premier(premier(dossierEchange, QStringLiteral("pwrite64("), wal), QStringLiteral("sync("), wal);
    const QString ordre = QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
                              .arg(ecriture).arg(copieSurDisque).arg(dossierCopie).arg(noteRemise)
                              .arg(effacement).arg(dossierEchange).arg(noteEffacee);
    QVERIFY2(ecriture >= 0 && copieSurDisque > ecriture && dossierCopie > copieSurDisque && noteRemise > dossierCopie
                 && effacement > noteRemise && dossierEchange > effacement && noteEffacee > dossierEchange,
             qPrintable(ordre + QStringLiteral("\n") + lignes.mid(qMax(0, ecriture - 2), 40).join(QLatin1Char('\n'))));
}

void TestRepriseProcessus::illisibleAuRedemarrage()
{
    // Arrêt brutal à l'effacement même de la commande remise, puis un redémarrage où
    // elle ne se lit pas (EIO) : sa remise reste ouverte. Au redémarrage suivant,
    // lisible, elle est effacée sans nouvelle remise.
    if (QStandardPaths::findExecutable(QStringLiteral("strace")).isEmpty())
        QSKIP("strace absent");
    EmulateurCartes cartes;
    InstallationEssai essai;
    QString racine;
    QStringList arguments;
    QVERIFY(PrepareUnTiroir(cartes, essai, QStringLiteral("2"), &racine, &arguments));
    const QString journal = essai.Chemin(QStringLiteral("journal.txt"));
    const QString cd1 = racine + QStringLiteral("/Echanges/CD1.txt");
    Ecrit(cd1, "ordre:    91\r\nP.Recept: 000\r\n");
    const QStringList service = QStringList{ m_service } + arguments;
    const QString attente = QStringLiteral("- En attente de commande (fichiers) ou BP -");
    // strace ne touche qu'aux appels sur CD1.txt (-P).
    const auto lance = [&](QProcess& p, const QString& injection) {
        p.setProcessEnvironment(Environnement(essai));
        p.start(QStringLiteral("strace"), QStringList{ QStringLiteral("-f"), QStringLiteral("-qq"), QStringLiteral("-o"),
                                                       QStringLiteral("/dev/null"), QStringLiteral("-P"), cd1,
                                                       QStringLiteral("-e"), injection } + service);
        return p.waitForStarted(5000);
    };
    QProcess premier;
    QVERIFY(lance(premier, QStringLiteral("inject=unlink,unlinkat:signal=SIGKILL")));
    QVERIFY(premier.waitForFinished(30000));
    QVERIFY(QFileInfo::exists(cd1));
    QCOMPARE(Compte(LignesJournal(journal), QStringLiteral("envoi le fichier ")), 1);
    Ecrit(racine + QStringLiteral("/zCdeMnl.txt"), QByteArray()); // l'hôte a pris la commande

    QProcess second;
    QVERIFY(lance(second, QStringLiteral("inject=openat:error=EIO")));
    // strace lâcherait le service sur SIGTERM : c'est le service, son enfant, qu'on arrête.
    const auto arreteSousStrace = [&] {
        const QByteArray enfants = Lit(QStringLiteral("/proc/%1/task/%1/children").arg(second.processId()));
        ::kill(pid_t(enfants.trimmed().split(' ').value(0).toInt()), SIGTERM);
    };
    auto arrete = qScopeGuard(arreteSousStrace);
    QTRY_VERIFY2_WITH_TIMEOUT(Compte(LignesJournal(journal), attente) == 1,
                              qPrintable(LignesJournal(journal).join(QLatin1Char('\n'))), 30000);
    QTest::qWait(4000); // le tiroir repris est libéré au bout de 2 s
    const QRegularExpression ligneCommande(QStringLiteral("^commande CD1\\.txt"));
    QCOMPARE(LignesJournal(journal).filter(ligneCommande).join(QLatin1Char('\n')),
             QStringLiteral("commande CD1.txt (ordre 91) : fichier %1 illisible au redemarrage ; sa remise "
                            "au tiroir 1 reste ouverte au registre et il n'est pas relance")
                 .arg(cd1));
    arrete.dismiss();
    arreteSousStrace();
    QVERIFY(second.waitForFinished(10000));

    QProcess troisieme;
    troisieme.setProcessEnvironment(Environnement(essai));
    troisieme.start(m_service, service.mid(1));
    QVERIFY(troisieme.waitForStarted(5000));
    QTRY_VERIFY2_WITH_TIMEOUT(Compte(LignesJournal(journal), attente) == 2,
                              qPrintable(LignesJournal(journal).join(QLatin1Char('\n'))), 30000);
    QTest::qWait(4000);
    ::kill(pid_t(troisieme.processId()), SIGTERM);
    QVERIFY(troisieme.waitForFinished(10000));
    QCOMPARE(Compte(LignesJournal(journal), QStringLiteral("envoi le fichier ")), 1);
    QCOMPARE(LignesJournal(journal).filter(ligneCommande).value(1),
             QStringLiteral("commande CD1.txt (ordre 91) deja remise au tiroir 1 avant l'arret : fichier %1 efface sans "
                            "nouvelle remise")
                 .arg(cd1));
    QVERIFY(!QFileInfo::exists(cd1));
}

void TestRepriseProcessus::heureAvanceePendantLArret()
{
    // L'heure murale avance d'une heure pendant l'arrêt (libfaketime ; l'horloge
    // monotone reste vraie) : le tiroir en vol attend tout son temps (4 s) après
    // le redémarrage, il n'est ni libéré au démarrage ni donné à la commande suivante.
    const QString faketime = QStringLiteral("/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1");
    if (!QFileInfo::exists(faketime))
        QSKIP("libfaketime absente");
    EmulateurCartes cartes;
    InstallationEssai essai;
    QString racine;
    QStringList arguments;
    QVERIFY(PrepareUnTiroir(cartes, essai, QStringLiteral("4"), &racine, &arguments));
    const QString journal = essai.Chemin(QStringLiteral("journal.txt"));
    const QString attente = QStringLiteral("- En attente de commande (fichiers) ou BP -");
    QProcess premier;
    premier.setProcessEnvironment(Environnement(essai));
    premier.start(m_service, arguments);
    QVERIFY(premier.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(LignesJournal(journal).contains(attente), 15000);
    Ecrit(racine + QStringLiteral("/Echanges/CD1.txt"), "ordre:    61\r\nP.Recept: 000\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(Compte(LignesJournal(journal), QStringLiteral("supp fich: ")) == 1, 10000);
    Ecrit(racine + QStringLiteral("/zCdeMnl.txt"), QByteArray()); // l'hôte prend la commande
    ::kill(pid_t(premier.processId()), SIGKILL);
    QVERIFY(premier.waitForFinished(10000));

    QProcessEnvironment env = Environnement(essai);
    env.insert(QStringLiteral("LD_PRELOAD"), faketime);
    env.insert(QStringLiteral("FAKETIME"), QStringLiteral("+3600"));
    env.insert(QStringLiteral("FAKETIME_DONT_FAKE_MONOTONIC"), QStringLiteral("1"));
    // Construit avec AddressSanitizer, le service refuserait de démarrer derrière une
    // bibliothèque préchargée avant la sienne.
    env.insert(QStringLiteral("ASAN_OPTIONS"),
               env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":verify_asan_link_order=0"));
    QProcess second;
    second.setProcessEnvironment(env);
    second.start(m_service, arguments);
    QVERIFY(second.waitForStarted(5000));
    QTRY_VERIFY2_WITH_TIMEOUT(Compte(LignesJournal(journal), attente) == 2,
                              qPrintable(LignesJournal(journal).join(QLatin1Char('\n'))), 15000);
    QElapsedTimer depuisLeDemarrage;
    depuisLeDemarrage.start();
    Ecrit(racine + QStringLiteral("/Echanges/CD2.txt"), "ordre:    62\r\nP.Recept: 000\r\n");
    const QString libere = QStringLiteral("libere le tiroir 1 car le temps est depasse");
    QTRY_VERIFY_WITH_TIMEOUT(LignesJournal(journal).contains(libere), 15000);
    const qint64 tenu = depuisLeDemarrage.elapsed();
    QTRY_VERIFY_WITH_TIMEOUT(Compte(LignesJournal(journal), QStringLiteral("envoi le fichier ")) == 2, 10000);
    ::kill(pid_t(second.processId()), SIGTERM);
    QVERIFY(second.waitForFinished(10000));
    const QStringList lignes = LignesJournal(journal);
    QVERIFY2(lignes.filter(QStringLiteral("tiroir 1 : commande CD1.txt (ordre 61) remise avant l'arret il y a 36")).size() == 1,
             qPrintable(lignes.join(QLatin1Char('\n'))));
    // Tenu les 4 s depuis le redémarrage (la ligne d'attente vient un peu après lui),
    // et CD2.txt n'est parti qu'ensuite.
    QVERIFY2(tenu >= 3000 && tenu <= 8000, qPrintable(QString::number(tenu)));
    const auto envoiCd2 = QRegularExpression(QStringLiteral("^envoi le fichier .*CD2\\.txt vers 001$"));
    QVERIFY2(lignes.indexOf(envoiCd2) > lignes.indexOf(libere), qPrintable(lignes.join(QLatin1Char('\n'))));
}

bool TestRepriseProcessus::LanceSousStrace(QProcess& p, const InstallationEssai& essai, const QStringList& strace,
                                           const QStringList& arguments) const
{
    p.setProcessEnvironment(Environnement(essai));
    p.start(QStringLiteral("strace"), QStringList{ QStringLiteral("-f"), QStringLiteral("-qq") } + strace
                                          + QStringList{ m_service } + arguments);
    return p.waitForStarted(5000);
}

void TestRepriseProcessus::ArreteSousStrace(QProcess& p)
{
    const QByteArray enfants = Lit(QStringLiteral("/proc/%1/task/%1/children").arg(p.processId()));
    ::kill(pid_t(enfants.trimmed().split(' ').value(0).toInt()), SIGTERM);
    p.waitForFinished(10000);
}

QStringList TestRepriseProcessus::EtatsRegistre(const QString& chemin)
{
    QStringList etats;
    {
        QSqlDatabase base = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("etats"));
        base.setDatabaseName(chemin);
        base.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (base.open()) {
            QSqlQuery q(base);
            q.exec(QStringLiteral("SELECT fichier, etat FROM remises ORDER BY id"));
            while (q.next())
                etats << q.value(0).toString() + QLatin1Char(':') + q.value(1).toString();
        }
        base.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("etats"));
    return etats;
}

void TestRepriseProcessus::copieNonConfirmeeParLeDisque()
{
    // La poussée sur le disque de la copie échoue au bout de 0,4 s ; l'hôte l'a lue
    // et vidée entre-temps. La commande n'est jamais relancée : elle est mise de
    // côté, une ligne le dit, et son tiroir reste en cours.
    if (QStandardPaths::findExecutable(QStringLiteral("strace")).isEmpty())
        QSKIP("strace absent");
    EmulateurCartes cartes;
    InstallationEssai essai;
    QString racine;
    QStringList arguments;
    QVERIFY(PrepareUnTiroir(cartes, essai, QStringLiteral("30"), &racine, &arguments));
    const QString journal = essai.Chemin(QStringLiteral("journal.txt"));
    const QString passation = racine + QStringLiteral("/zCdeMnl.txt");
    const QString cd1 = racine + QStringLiteral("/Echanges/CD1.txt");
    const QByteArray commande("ordre:    51\r\nP.Recept: 000\r\n");
    Ecrit(cd1, commande);
    // L'hôte : prend toute copie qu'il trouve et vide le fichier.
    QList<QByteArray> prises;
    QTimer hote;
    connect(&hote, &QTimer::timeout, this, [&] {
        const QByteArray copie = Lit(passation);
        if (copie.size() > 1 && copie != "<absent>") {
            prises << copie;
            Ecrit(passation, QByteArray());
        }
    });
    hote.start(10);
    QProcess service;
    QVERIFY(LanceSousStrace(service, essai,
                            { QStringLiteral("-o"), QStringLiteral("/dev/null"), QStringLiteral("-P"), passation,
                              QStringLiteral("-e"), QStringLiteral("trace=fsync,fdatasync"), QStringLiteral("-e"),
                              QStringLiteral("inject=fsync,fdatasync:error=EIO:delay_enter=400000") },
                            arguments));
    auto arrete = qScopeGuard([&] { ArreteSousStrace(service); });
    const QString ligne = QStringLiteral("commande CD1.txt (ordre 51) mise de cote : sa copie a ete ecrite entiere dans %1 "
                                         "pour le tiroir 001 mais le disque n'a pas confirme l'ecriture (erreur "
                                         "d'entrée-sortie), le robot l'a peut-etre prise. Elle n'est pas relancee : "
                                         "verifiez au robot, puis effacez %2 ou deposez-la de nouveau sous un autre nom "
                                         "pour la relancer")
                              .arg(passation, cd1);
    QTRY_VERIFY2_WITH_TIMEOUT(LignesJournal(journal).contains(ligne) || prises.size() > 1,
                              qPrintable(LignesJournal(journal).join(QLatin1Char('\n'))), 30000);
    // Le tiroir est tenu : la commande suivante n'y part pas.
    Ecrit(racine + QStringLiteral("/Echanges/CD2.txt"), "ordre:    52\r\nP.Recept: 000\r\n");
    QTest::qWait(3000);
    arrete.dismiss();
    ArreteSousStrace(service);
    hote.stop();
    QCOMPARE(prises, QList<QByteArray>{ "ordre:    51\r\nP.Recept: 001\r\n" });
    const QStringList lignes = LignesJournal(journal);
    QCOMPARE(lignes.filter(QStringLiteral("mise de cote")), QStringList{ ligne });
    QCOMPARE(Compte(lignes, QStringLiteral("envoi le fichier ")), 0);
    QCOMPARE(Lit(cd1), commande);
    QCOMPARE(EtatsRegistre(racine + QStringLiteral("/pelorane-registre.db")), QStringList{ "CD1.txt:mise_de_cote" });
}

void TestRepriseProcessus::passationReVideeSurLeDisque()
{
    // L'écriture de la copie échoue (disque plein) : le fichier de passation est
    // revidé et ce vide poussé sur le disque avant que le registre ne retire la
    // ligne de la remise.
    if (QStandardPaths::findExecutable(QStringLiteral("strace")).isEmpty())
        QSKIP("strace absent");
    EmulateurCartes cartes;
    InstallationEssai essai;
    QString racine;
    QStringList arguments;
    QVERIFY(PrepareUnTiroir(cartes, essai, QStringLiteral("30"), &racine, &arguments));
    const QString journal = essai.Chemin(QStringLiteral("journal.txt"));
    const QString trace = essai.Chemin(QStringLiteral("strace.txt"));
    const QString passation = racine + QStringLiteral("/zCdeMnl.txt");
    const QString wal = racine + QStringLiteral("/pelorane-registre.db-wal");
    Ecrit(passation, "x"); // un octet égaré : libre, et l'écriture le tronque d'abord
    Ecrit(racine + QStringLiteral("/Echanges/CD1.txt"), "ordre:    71\r\nP.Recept: 000\r\n");
    QProcess service;
    // SQLite écrit par pwrite64 : seul write (la copie) échoue.
    QVERIFY(LanceSousStrace(service, essai,
                            { QStringLiteral("-y"), QStringLiteral("-o"), trace, QStringLiteral("-P"), passation,
                              QStringLiteral("-P"), wal, QStringLiteral("-e"),
                              QStringLiteral("trace=write,pwrite64,ftruncate,fsync,fdatasync"), QStringLiteral("-e"),
                              QStringLiteral("inject=write:error=ENOSPC") },
                            arguments));
    auto arrete = qScopeGuard([&] { ArreteSousStrace(service); });
    QTRY_VERIFY_WITH_TIMEOUT(LignesJournal(journal).filter(QStringLiteral("Erreur d'ecriture du fichier de passation")).size() == 1,
                             30000);
    QTest::qWait(1000);
    arrete.dismiss();
    ArreteSousStrace(service);
    const QStringList lignes = QString::fromUtf8(Lit(trace)).split(QLatin1Char('\n'));
    const auto premier = [&](int depuis, const QString& appel, const QString& objet) {
        for (int i = qMax(0, depuis); i < lignes.size(); ++i)
            if (lignes[i].contains(appel) && lignes[i].contains(objet))
                return i;
        return -1;
    };
    const QString copie = QStringLiteral("<") + passation + QStringLiteral(">");
    const int echec = premier(0, QStringLiteral(" write("), copie);
    const int revide = premier(echec, QStringLiteral("ftruncate("), copie);
    const int videSurDisque = premier(revide, QStringLiteral("sync("), copie);
    const int ligneRetiree = premier(echec, QStringLiteral("pwrite64("), QStringLiteral("<") + wal + QStringLiteral(">"));
    QVERIFY2(lignes.value(echec).contains(QStringLiteral("ENOSPC")) && revide > echec && videSurDisque > revide
                 && ligneRetiree > videSurDisque,
             qPrintable(QStringLiteral("%1 %2 %3 %4\n").arg(echec).arg(revide).arg(videSurDisque).arg(ligneRetiree)
                        + lignes.mid(qMax(0, echec - 2), 30).join(QLatin1Char('\n'))));
    QCOMPARE(Lit(passation), QByteArray());
    QCOMPARE(EtatsRegistre(racine + QStringLiteral("/pelorane-registre.db")), QStringList());
}

void TestRepriseProcessus::effacementNonConfirme()
{
    // Le dossier d'échange refuse d'être poussé sur le disque (comme certains
    // partages) : la commande remise est effacée, mais le registre ne la dit pas
    // effacée ; le démarrage suivant la règle sans nouvelle remise.
    if (QStandardPaths::findExecutable(QStringLiteral("strace")).isEmpty())
        QSKIP("strace absent");
    EmulateurCartes cartes;
    InstallationEssai essai;
    QString racine;
    QStringList arguments;
    QVERIFY(PrepareUnTiroir(cartes, essai, QStringLiteral("30"), &racine, &arguments));
    const QString journal = essai.Chemin(QStringLiteral("journal.txt"));
    const QString echanges = racine + QStringLiteral("/Echanges");
    const QString registre = racine + QStringLiteral("/pelorane-registre.db");
    Ecrit(echanges + QStringLiteral("/CD1.txt"), "ordre:    72\r\nP.Recept: 000\r\n");
    QProcess service;
    QVERIFY(LanceSousStrace(service, essai,
                            { QStringLiteral("-o"), QStringLiteral("/dev/null"), QStringLiteral("-P"), echanges,
                              QStringLiteral("-e"), QStringLiteral("trace=fsync,fdatasync"), QStringLiteral("-e"),
                              QStringLiteral("inject=fsync,fdatasync:error=EINVAL") },
                            arguments));
    auto arrete = qScopeGuard([&] { ArreteSousStrace(service); });
    QTRY_VERIFY_WITH_TIMEOUT(Compte(LignesJournal(journal), QStringLiteral("supp fich: ")) == 1, 30000);
    QTest::qWait(500);
    arrete.dismiss();
    ArreteSousStrace(service);
    QCOMPARE(LignesJournal(journal).filter(QStringLiteral("confirme")),
             QStringList{ QStringLiteral("dossier %1 : le disque ne confirme pas l'effacement des commandes remises ; "
                                         "elles restent notees remises au registre, le prochain demarrage les reglera")
                              .arg(echanges) });
    QCOMPARE(EtatsRegistre(registre), QStringList{ "CD1.txt:remise" });

    // Redémarrage sans refus : fichier parti, la ligne est close.
    QProcess second;
    second.setProcessEnvironment(Environnement(essai));
    second.start(m_service, arguments);
    QVERIFY(second.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(Compte(LignesJournal(journal), QStringLiteral("- En attente de commande")) == 2, 15000);
    ::kill(pid_t(second.processId()), SIGTERM);
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(EtatsRegistre(registre), QStringList{ "CD1.txt:effacee" });
    QCOMPARE(Compte(LignesJournal(journal), QStringLiteral("envoi le fichier ")), 1);
}

void TestRepriseProcessus::registreEnPanneUnInstant_data()
{
    QTest::addColumn<QString>("injection"); // erreurs d'écriture sur le -wal, strace attaché après CD1
    QTest::addColumn<bool>("revient");
    QTest::newRow("une seule erreur") << "inject=pwrite64:error=EIO:when=1" << true;
    QTest::newRow("erreurs jusqu'a l'arret") << "inject=pwrite64:error=EIO" << false;
}

void TestRepriseProcessus::registreEnPanneUnInstant()
{
    // Une seule erreur d'entrée-sortie sur le -wal du registre (strace attaché au
    // service en marche) : la protection ne se coupe que pour la remise touchée,
    // les suivantes sont notées. À l'arrêt propre, en panne ou non, ni -wal ni -shm.
    QFETCH(QString, injection);
    QFETCH(bool, revient);
    if (QStandardPaths::findExecutable(QStringLiteral("strace")).isEmpty())
        QSKIP("strace absent");
    EmulateurCartes cartes;
    InstallationEssai essai;
    QString racine;
    QStringList arguments;
    QVERIFY(PrepareUnTiroir(cartes, essai, QStringLiteral("1"), &racine, &arguments));
    const QString journal = essai.Chemin(QStringLiteral("journal.txt"));
    const QString registre = racine + QStringLiteral("/pelorane-registre.db");
    QProcess service;
    service.setProcessEnvironment(Environnement(essai));
    service.start(m_service, arguments);
    QVERIFY(service.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(LignesJournal(journal).contains(QStringLiteral("- En attente de commande (fichiers) ou BP -")),
                             15000);
    const auto depose = [&](int n) {
        Ecrit(racine + QStringLiteral("/Echanges/CD%1.txt").arg(n), QByteArray("ordre:    ") + QByteArray::number(n)
                                                                         + "\r\nP.Recept: 000\r\n");
        // Le tiroir est libéré au bout d'une seconde ; l'hôte prend chaque copie.
        return QTest::qWaitFor([&] { return Compte(LignesJournal(journal), QStringLiteral("envoi le fichier ")) == n; },
                               15000)
            && (Ecrit(racine + QStringLiteral("/zCdeMnl.txt"), QByteArray()), true);
    };
    QVERIFY(depose(1));
    QProcess strace;
    strace.start(QStringLiteral("strace"),
                 { QStringLiteral("-qq"), QStringLiteral("-o"), QStringLiteral("/dev/null"), QStringLiteral("-p"),
                   QString::number(service.processId()), QStringLiteral("-P"), registre + QStringLiteral("-wal"),
                   QStringLiteral("-e"), QStringLiteral("trace=pwrite64"), QStringLiteral("-e"), injection });
    QVERIFY(strace.waitForStarted(5000));
    QTest::qWait(1000); // attaché
    for (int n = 2; n <= 5; ++n)
        QVERIFY(depose(n));
    ::kill(pid_t(service.processId()), SIGTERM);
    QVERIFY(service.waitForFinished(10000));
    strace.waitForFinished(5000);
    const QStringList lignes = LignesJournal(journal);
    QCOMPARE(lignes.filter(QStringLiteral("registre des remises")).size(), revient ? 2 : 1);
    QVERIFY2(lignes.filter(QStringLiteral("registre des remises indisponible")).size() == 1,
             qPrintable(lignes.join(QLatin1Char('\n'))));
    // CD1 et, si le registre revient, au moins les trois dernières : une remise au
    // plus n'est pas notée.
    const QStringList etats = EtatsRegistre(registre);
    QVERIFY2(!etats.filter(QStringLiteral("CD1.txt")).isEmpty(), qPrintable(etats.join(QLatin1Char(' '))));
    for (const char* nom : { "CD3.txt", "CD4.txt", "CD5.txt" })
        QVERIFY2(etats.filter(QLatin1String(nom)).isEmpty() != revient, qPrintable(etats.join(QLatin1Char(' '))));
    QCOMPARE(QDir(racine).entryList({ QStringLiteral("pelorane-registre.db*") }, QDir::Files),
             QStringList{ QStringLiteral("pelorane-registre.db") });
}

void TestRepriseProcessus::lecturesServiceArreteSansJournaux()
{
    // Service arrêté proprement : --historique et --rapport lisent le registre sans
    // laisser de -wal ni de -shm derrière eux.
    EmulateurCartes cartes;
    InstallationEssai essai;
    QString racine;
    QStringList arguments;
    QVERIFY(PrepareUnTiroir(cartes, essai, QStringLiteral("30"), &racine, &arguments));
    const QString journal = essai.Chemin(QStringLiteral("journal.txt"));
    Ecrit(racine + QStringLiteral("/Echanges/CD1.txt"), "ordre:    81\r\nP.Recept: 000\r\n");
    QProcess service;
    service.setProcessEnvironment(Environnement(essai));
    service.start(m_service, arguments);
    QVERIFY(service.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(Compte(LignesJournal(journal), QStringLiteral("supp fich: ")) == 1, 15000);
    ::kill(pid_t(service.processId()), SIGTERM);
    QVERIFY(service.waitForFinished(10000));
    const QStringList fichiers{ QStringLiteral("pelorane-registre.db"), QStringLiteral("zCdeMnl.txt") };
    QCOMPARE(QDir(racine).entryList(QDir::Files | QDir::Hidden), fichiers);
    const QString jour = QDate::currentDate().toString(Qt::ISODate);
    for (const QStringList& lecture : { QStringList{ QStringLiteral("--historique") },
                                        QStringList{ QStringLiteral("--rapport"), QStringLiteral("--du"), jour,
                                                     QStringLiteral("--au"), jour, QStringLiteral("--pdf"),
                                                     essai.Chemin(QStringLiteral("rapport.pdf")) } }) {
        QProcess p;
        p.setProcessEnvironment(Environnement(essai));
        p.start(m_service, QStringList{ QStringLiteral("--racine"), racine } + lecture);
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(QDir(racine).entryList(QDir::Files | QDir::Hidden), fichiers);
    }
}

void TestRepriseProcessus::registreSurUnPartage()
{
    // Registre sur un système de fichiers en espace utilisateur (bindfs, FUSE),
    // comme sur un partage : journal classique, une ligne le dit, jamais de -wal.
    if (::geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("bindfs")).isEmpty())
        QSKIP("bindfs absent ou pas root");
    EmulateurCartes cartes;
    InstallationEssai essai;
    QString racine;
    QStringList arguments;
    QVERIFY(PrepareUnTiroir(cartes, essai, QStringLiteral("30"), &racine, &arguments));
    const QString source = essai.Chemin(QStringLiteral("source"));
    const QString partage = essai.Chemin(QStringLiteral("partage"));
    QVERIFY(QDir().mkpath(source) && QDir().mkpath(partage));
    QCOMPARE(QProcess::execute(QStringLiteral("bindfs"), { source, partage }), 0);
    auto demonte = qScopeGuard([&] { QProcess::execute(QStringLiteral("fusermount"), { QStringLiteral("-u"), partage }); });
    const QString registre = partage + QStringLiteral("/registre.db");
    const QString journal = essai.Chemin(QStringLiteral("journal.txt"));
    Ecrit(racine + QStringLiteral("/Echanges/CD1.txt"), "ordre:    82\r\nP.Recept: 000\r\n");
    QProcess service;
    service.setProcessEnvironment(Environnement(essai));
    service.start(m_service, arguments + QStringList{ QStringLiteral("--registre"), registre });
    QVERIFY(service.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(Compte(LignesJournal(journal), QStringLiteral("supp fich: ")) == 1, 15000);
    // En marche : octets 18 et 19 de l'en-tête à 1 (journal classique ; 2 : WAL).
    QCOMPARE(Lit(registre).mid(18, 2), QByteArray("\x01\x01", 2));
    // Un "-journal" peut exister le temps d'une écriture ; jamais de -wal ni de -shm.
    QCOMPARE(QDir(partage).entryList({ QStringLiteral("*-wal"), QStringLiteral("*-shm") }, QDir::Files | QDir::Hidden),
             QStringList());
    ::kill(pid_t(service.processId()), SIGTERM);
    QVERIFY(service.waitForFinished(10000));
    QCOMPARE(LignesJournal(journal).filter(QStringLiteral("partage reseau")),
             QStringList{ QStringLiteral("registre des remises %1 sur un partage reseau (FUSE) : journal classique (DELETE) "
                                         "au lieu du WAL, qui demande une memoire partagee que le partage ne donne pas")
                              .arg(registre) });
    QCOMPARE(EtatsRegistre(registre), QStringList{ "CD1.txt:effacee" });
}

QTEST_GUILESS_MAIN(TestRepriseProcessus)
#include "TestRepriseProcessus.moc"
