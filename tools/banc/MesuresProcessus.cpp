#include "MesuresProcessus.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QThread>
#include <QUdpSocket>
#include <algorithm>
#include <csignal>
#include <unistd.h>
#include <vector>

namespace {

const QByteArray Commande("ordre     00004521\r\nposte     003\r\nP.Recept: 000\r\nprotocol: Comptoir\r\n"
                          "cip Qt    3400930000001          001\r\n");

quint16 PortTcpLibre()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

quint16 PortUdpLibre()
{
    QUdpSocket s;
    s.bind(QHostAddress::LocalHost, 0);
    return s.localPort();
}

// Temps processeur consommé (utilisateur + système), en millisecondes.
double TempsProcesseurMs(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray texte = stat.readAll();
    const QList<QByteArray> champs = texte.mid(texte.lastIndexOf(')') + 2).split(' ');
    if (champs.size() < 13)
        return -1;
    const double tics = double(sysconf(_SC_CLK_TCK));
    return (champs.at(11).toDouble() + champs.at(12).toDouble()) * 1000.0 / tics;
}

long MemoireProcessusKio(qint64 pid)
{
    QFile statm(QStringLiteral("/proc/%1/statm").arg(pid));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    return statm.readAll().split(' ').value(1).toLong() * (sysconf(_SC_PAGESIZE) / 1024);
}

void Attend(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
}

bool AttendQue(const std::function<bool()>& condition, int delaiMs)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < delaiMs) {
        if (condition())
            return true;
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
    return condition();
}

bool Depose(const QString& dossier, const QString& nom)
{
    const QString provisoire = dossier + QStringLiteral(".") + nom + QStringLiteral(".part");
    QFile f(provisoire);
    if (!f.open(QIODevice::WriteOnly) || f.write(Commande) != Commande.size())
        return false;
    f.close();
    return QFile::rename(provisoire, dossier + nom);
}

// Écrite directement sous son nom, sans renommage.
bool DeposeSurPlace(const QString& dossier, const QString& nom)
{
    QFile f(dossier + nom);
    return f.open(QIODevice::WriteOnly) && f.write(Commande) == Commande.size();
}

int Compte(const QString& fichier, const QByteArray& debut)
{
    QFile f(fichier);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    int n = 0;
    for (const QByteArray& ligne : f.readAll().split('\n'))
        n += ligne.mid(24).startsWith(debut) ? 1 : 0;
    return n;
}

// Le simulateur (options en plus : pannes de cartes…) puis le service contre lui, jusqu'à
// l'attente des commandes. Vide quand tout tourne, sinon ce qui n'a pas démarré.
QString Lance(QProcess& robot, QProcess& service, const QString& pelorane, const QString& simulateur,
              const QString& dossier, const QStringList& optionsRobot)
{
    const QString racine = dossier + QStringLiteral("/racine/");
    QDir().mkpath(racine);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dossier + QStringLiteral("/reglages"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    // L'hôte prend vite la commande ; le tiroir est occupé 0,3 s par le convoyeur
    // puis 0,3 s par le retrait des boîtes.
    robot.setProcessEnvironment(env);
    robot.setStandardOutputFile(dossier + QStringLiteral("/simulateur.txt"));
    const QStringList argumentsRobot = QStringList{ QStringLiteral("--racine"), racine, QStringLiteral("--commandes"),
                                                    QStringLiteral("0"), QStringLiteral("--delai-hote"), QStringLiteral("50"),
                                                    QStringLiteral("--delai-convoyeur"), QStringLiteral("300"),
                                                    QStringLiteral("--collecte"), QStringLiteral("300"),
                                                    QStringLiteral("--port-cdapi"), QString::number(PortTcpLibre()),
                                                    QStringLiteral("--port-udp"), QString::number(PortUdpLibre()) }
        + optionsRobot;
    robot.start(simulateur, argumentsRobot);
    if (!robot.waitForStarted(5000)
        || !AttendQue([&] { return QFileInfo::exists(racine + QStringLiteral("cartes-serie")); }, 10000))
        return QStringLiteral("le simulateur ne démarre pas");
    const QString journal = dossier + QStringLiteral("/journal.txt");
    service.setProcessEnvironment(env);
    service.start(pelorane, { QStringLiteral("--racine"), racine, QStringLiteral("--port-serie"),
                              racine + QStringLiteral("cartes-serie"), QStringLiteral("--journal"), journal });
    if (!service.waitForStarted(5000)
        || !AttendQue([&] { return Compte(journal, "- En attente de commande") > 0; }, 20000))
        return QStringLiteral("le service ne démarre pas");
    return QString();
}

void Arrete(QProcess& robot, QProcess& service)
{
    ::kill(pid_t(service.processId()), SIGTERM);
    service.waitForFinished(10000);
    ::kill(pid_t(robot.processId()), SIGTERM);
    robot.waitForFinished(10000);
}

} // namespace

ResultatsProcessus MesureProcessus(const QString& pelorane, const QString& simulateur, const QString& dossier)
{
    ResultatsProcessus r;
    const QString racine = dossier + QStringLiteral("/racine/");
    const QString echanges = racine + QStringLiteral("Echanges/");
    const QString passation = racine + QStringLiteral("zCdeMnl.txt");
    const QString journal = dossier + QStringLiteral("/journal.txt");
    QProcess robot;
    QProcess service;
    r.erreur = Lance(robot, service, pelorane, simulateur, dossier, {});
    if (!r.erreur.isEmpty())
        return r;
    const qint64 pid = service.processId();
    Attend(1500);
    r.memoireServiceDebutKio = MemoireProcessusKio(pid);

    // Processeur au repos : 10 s sans commande.
    const double cpu0 = TempsProcesseurMs(pid);
    QElapsedTimer mur;
    mur.start();
    Attend(10000);
    r.processeurReposPourcent = (TempsProcesseurMs(pid) - cpu0) * 100.0 / double(mur.elapsed());

    // Latence : une commande à la fois, du dépôt dans le dossier au fichier de
    // passation rempli ; renommée dans le dossier, puis écrite sur place.
    std::vector<double> latences;
    std::vector<double> latencesSurPlace;
    for (int i = 0; i < 25; ++i) {
        if (!AttendQue([&] { return QFileInfo(passation).size() < 2; }, 5000))
            break;
        Attend(1200); // le tiroir précédent redevient libre
        const QString nom = QStringLiteral("CD%1.txt").arg(i, 6, 10, QLatin1Char('0'));
        QElapsedTimer t;
        t.start();
        if (!(i < 15 ? Depose(echanges, nom) : DeposeSurPlace(echanges, nom)))
            break;
        if (!AttendQue([&] { return QFileInfo(passation).size() >= 2; }, 5000))
            break;
        (i < 15 ? latences : latencesSurPlace).push_back(double(t.nsecsElapsed()) / 1e6);
    }
    if (latences.size() < 10 || latencesSurPlace.size() < 10) {
        r.erreur = QStringLiteral("latence : %1 commande(s) seulement remise(s)")
                       .arg(latences.size() + latencesSurPlace.size());
        return r;
    }
    std::sort(latences.begin(), latences.end());
    r.latenceMedianeMs = latences[latences.size() / 2];
    r.latenceP95Ms = latences[std::min(latences.size() - 1, latences.size() * 95 / 100)];
    std::sort(latencesSurPlace.begin(), latencesSurPlace.end());
    r.latenceSurPlaceMedianeMs = latencesSurPlace[latencesSurPlace.size() / 2];
    r.latenceSurPlaceP95Ms = latencesSurPlace[std::min(latencesSurPlace.size() - 1, latencesSurPlace.size() * 95 / 100)];

    // Débit : 40 commandes déposées d'un coup, jusqu'à la dernière remise.
    Attend(1500);
    const int avant = Compte(journal, "supp fich: ");
    const int lot = 40;
    QElapsedTimer debit;
    debit.start();
    for (int i = 0; i < lot; ++i)
        Depose(echanges, QStringLiteral("CD%1.txt").arg(1000 + i, 6, 10, QLatin1Char('0')));
    if (!AttendQue([&] { return Compte(journal, "supp fich: ") >= avant + lot; }, 120000)) {
        r.erreur = QStringLiteral("débit : les %1 commandes ne sont pas toutes parties").arg(lot);
        return r;
    }
    r.commandesParMinute = double(lot) * 60000.0 / double(debit.elapsed());
    r.memoireServiceFinKio = MemoireProcessusKio(pid);

    Arrete(robot, service);
    r.conditions = QStringLiteral("conditions : cartes émulées sur pseudo-terminal (4 tiroirs, 2 cartes), hôte simulé "
                                  "qui relève le fichier de passation toutes les 100 ms et le prend 50 ms après, "
                                  "convoyeur 300 ms, retrait des boîtes 300 ms ; latence sur %1 commandes isolées renommées "
                                  "dans le dossier et %2 écrites sur place ; débit sur %3 commandes déposées d'un "
                                  "coup (renommées).")
                       .arg(latences.size())
                       .arg(latencesSurPlace.size())
                       .arg(lot);
    return r;
}

DebitCartes MesureDebitCartes(const QString& pelorane, const QString& simulateur, const QString& dossier,
                              const QStringList& panne)
{
    DebitCartes d;
    QProcess robot;
    QProcess service;
    d.erreur = Lance(robot, service, pelorane, simulateur, dossier, QStringList{ QStringLiteral("--tiroirs"), QStringLiteral("6") } + panne);
    if (!d.erreur.isEmpty())
        return d;
    const QString echanges = dossier + QStringLiteral("/racine/Echanges/");
    const QString journal = dossier + QStringLiteral("/journal.txt");
    Attend(2000); // les tiroirs sains passent au vert, la carte en panne est dite en retard
    const int avant = Compte(journal, "supp fich: ");
    const int lot = 60;
    QElapsedTimer debit;
    debit.start();
    for (int i = 0; i < lot; ++i)
        Depose(echanges, QStringLiteral("CD%1.txt").arg(2000 + i, 6, 10, QLatin1Char('0')));
    // Au plus 60 s : une panne qui arrête tout se voit comme un débit nul, pas comme une attente.
    AttendQue([&] { return Compte(journal, "supp fich: ") >= avant + lot; }, 60000);
    const int remises = Compte(journal, "supp fich: ") - avant;
    d.commandesParMinute = double(remises) * 60000.0 / double(debit.elapsed());
    QFile f(journal);
    if (f.open(QIODevice::ReadOnly))
        for (const QByteArray& ligne : f.readAll().split('\n'))
            d.versCartePanne += (ligne.contains("envoi le fichier ") && (ligne.endsWith(" vers 001") || ligne.endsWith(" vers 002"))) ? 1 : 0;
    Arrete(robot, service);
    QFile bilan(dossier + QStringLiteral("/simulateur.txt"));
    if (bilan.open(QIODevice::ReadOnly)) {
        for (const QByteArray& ligne : bilan.readAll().split('\n'))
            if (ligne.startsWith("commandes vers un tiroir occupe: "))
                d.versTiroirOccupe = ligne.mid(33).trimmed().toInt();
    }
    return d;
}
