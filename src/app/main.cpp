#include "VersionPelorane.h"
#include "base/CheminAffiche.h"
#include "app/DialoguesQt.h"
#include "app/F1Pelorane.h"
#include "base/HorlogeSysteme.h"
#include "service/InstanceUnique.h"
#include "base/JournalStatut.h"
#include "app/TraductionQt.h"
#include "orders/HistoriqueRemises.h"
#include "orders/LecteurHistorique.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX
int tubeSignaux[2] = { -1, -1 };

// Le gestionnaire de signal ne fait qu'écrire un octet : la fermeture elle-même a
// lieu sur le fil de la fenêtre, au prochain passage des événements.
void SurSignal(int)
{
    const char octet = 1;
    [[maybe_unused]] const auto n = ::write(tubeSignaux[1], &octet, 1);
}

void InstalleSignaux(F1Pelorane& fenetre)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, tubeSignaux) != 0)
        return;
    auto* notificateur = new QSocketNotifier(tubeSignaux[0], QSocketNotifier::Read, &fenetre);
    QObject::connect(notificateur, &QSocketNotifier::activated, &fenetre, [&fenetre] {
        char octet;
        [[maybe_unused]] const auto n = ::read(tubeSignaux[0], &octet, 1);
        fenetre.ArreteSansQuestion();
    });
    struct sigaction action = {};
    action.sa_handler = SurSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}
#endif

QString RacineParDefaut()
{
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\grindel\\");
#else
    return QDir::homePath() + QStringLiteral("/grindel/");
#endif
}

QString RegistreParDefaut(const QString& racine)
{
    return QDir(racine).absolutePath() + QStringLiteral("/pelorane-registre.db");
}

// pelorane --historique : les remises du registre, les plus anciennes d'abord.
int MontreHistorique(const QString& registre, const QString& depuis, bool csv)
{
    qint64 depuisMs = 0;
    if (!depuis.isEmpty()) {
        const QDate date = QDate::fromString(depuis, QStringLiteral("yyyy-MM-dd"));
        if (!date.isValid()) {
            std::fprintf(stderr, "date incorrecte pour --depuis : %s (attendu AAAA-MM-JJ)\n", qPrintable(depuis));
            return 64;
        }
        depuisMs = date.startOfDay().toMSecsSinceEpoch();
    }
    QList<LecteurHistorique::Ligne> lignes;
    QString erreur;
    if (!LecteurHistorique::Lit(registre, depuisMs, &lignes, &erreur)) {
        std::fprintf(stderr, "impossible de lire le registre des remises %s : %s\n",
                     qPrintable(CheminAffiche(registre)), qPrintable(erreur));
        return 1;
    }
    const QByteArray texte = csv ? HistoriqueRemises::Csv(lignes) : HistoriqueRemises::Tableau(lignes);
    std::fwrite(texte.constData(), 1, size_t(texte.size()), stdout);
    return 0;
}

// Fin immédiate : ni la boucle de traitement ni un gestionnaire en cours ne reprennent.
void TermineProcessus(int code)
{
    InstanceUnique::LibereALaSortie(); // ni verrou ni canal laissés derrière
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(code);
}

} // namespace

int main(int argc, char* argv[])
{
#ifdef Q_OS_UNIX
    // Sans écran (service lancé par un script, machine d'essai), la fenêtre vit hors
    // écran plutôt que d'empêcher le service de démarrer.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("pelorane"));
    QApplication::setApplicationVersion(QStringLiteral(PELORANE_VERSION_TEXTE));
    // Boutons et boîtes de Qt en français, quelle que soit la langue du système.
    if (!ChargeTraductionQt(application))
        std::fputs("traduction française de Qt non chargée\n", stderr);

    QCommandLineParser analyseur;
    analyseur.setApplicationDescription(
        QStringLiteral("Pelorane : lance les commandes du dossier d'échange vers les tiroirs du robot."));
    const QCommandLineOption aide(QStringList{ QStringLiteral("h"), QStringLiteral("help") },
                                  QStringLiteral("Affiche cette aide."));
    const QCommandLineOption version(QStringList{ QStringLiteral("v"), QStringLiteral("version") },
                                     QStringLiteral("Affiche la version."));
    const QCommandLineOption racine(QStringLiteral("racine"),
                                    QStringLiteral("Dossier racine (dossier d'échange DOSSIER/Echanges/ et fichier de "
                                                   "passation DOSSIER/zCdeMnl.txt). Par défaut : %1")
                                        .arg(RacineParDefaut()),
                                    QStringLiteral("DOSSIER"), RacineParDefaut());
    const QCommandLineOption portSerie(QStringLiteral("port-serie"),
                                       QStringLiteral("Périphérique série des cartes, à la place de celui que donne "
                                                      "Param_Com_Tiroirs."),
                                       QStringLiteral("PERIPHERIQUE"));
    const QCommandLineOption journal(QStringLiteral("journal"),
                                     QStringLiteral("Recopie chaque ligne du journal d'état, horodatée, à la fin de "
                                                    "FICHIER (UTF-8)."),
                                     QStringLiteral("FICHIER"));
    // Rotation du journal fichier : un fichier par jour, gardé N jours.
    const QCommandLineOption journalJours(
        QStringLiteral("journal-jours"),
        QStringLiteral("Avec --journal : chaque jour, FICHIER devient FICHIER.AAAA-MM-JJ ; les fichiers tournés "
                       "de plus de N jours sont effacés (défaut : 31)."),
        QStringLiteral("N"), QStringLiteral("31"));
    const QCommandLineOption action(
        QStringLiteral("action"),
        QStringLiteral("Demande à la copie qui tourne pour cette racine de lancer une action, comme un clic "
                       "sur son bouton : test-liaison-cdapi, test-liaison-cartes, montrer."),
        QStringLiteral("ACTION"));
    const QCommandLineOption registre(QStringLiteral("registre"),
                                      QStringLiteral("Registre durable des remises (SQLite). Par défaut : "
                                                     "DOSSIER/pelorane-registre.db, à côté du fichier de passation."),
                                      QStringLiteral("FICHIER"));
    const QCommandLineOption historique(QStringLiteral("historique"),
                                        QStringLiteral("N'ouvre pas de service : écrit les commandes remises, les plus "
                                                       "anciennes d'abord, lues dans le registre (en lecture seule)."));
    const QCommandLineOption depuis(QStringLiteral("depuis"),
                                    QStringLiteral("Avec --historique : seulement les remises depuis ce jour."),
                                    QStringLiteral("AAAA-MM-JJ"));
    const QCommandLineOption csv(QStringLiteral("csv"),
                                 QStringLiteral("Avec --historique : en CSV (séparateur ;) plutôt qu'en tableau."));
    analyseur.addOption(aide);
    analyseur.addOption(action);
    analyseur.addOption(version);
    analyseur.addOption(racine);
    analyseur.addOption(portSerie);
    analyseur.addOption(journal);
    analyseur.addOption(registre);
    analyseur.addOption(historique);
    analyseur.addOption(depuis);
    analyseur.addOption(csv);
    analyseur.addOption(journalJours);
    if (!analyseur.parse(application.arguments())) {
        std::fprintf(stderr, "%s\n", qPrintable(analyseur.errorText()));
        return 64;
    }
    if (analyseur.isSet(aide)) {
        std::fputs(qPrintable(analyseur.helpText()), stdout);
        return 0;
    }
    if (analyseur.isSet(version)) {
        std::printf("pelorane %s\n", PELORANE_VERSION_TEXTE);
        return 0;
    }

    const QString cheminRegistre =
        analyseur.isSet(registre) ? analyseur.value(registre) : RegistreParDefaut(analyseur.value(racine));
    if (analyseur.isSet(historique))
        return MontreHistorique(cheminRegistre, analyseur.value(depuis), analyseur.isSet(csv));
    if (analyseur.isSet(depuis) || analyseur.isSet(csv)) {
        std::fprintf(stderr, "--depuis et --csv ne vont qu'avec --historique\n");
        return 64;
    }

    if (analyseur.isSet(action)) {
        const QString nom = analyseur.value(action);
        if (!F1Pelorane::ActionsConnues().contains(nom)) {
            std::fprintf(stderr, "action inconnue : %s (actions : %s)\n", qPrintable(nom),
                         qPrintable(F1Pelorane::ActionsConnues().join(QStringLiteral(", "))));
            return 64;
        }
        InstanceUnique instance(QDir(analyseur.value(racine)).absolutePath() + QLatin1Char('/'));
        if (!instance.InstancePrecedente()
            || !instance.ActiveInstancePrecedente(QStringLiteral("action ") + nom)) {
            std::fprintf(stderr, "aucune copie de pelorane ne tourne pour la racine %s\n",
                         qPrintable(analyseur.value(racine)));
            return 1;
        }
        return 0;
    }

    bool joursValides = false;
    const int joursConservation = analyseur.value(journalJours).toInt(&joursValides);
    if (!joursValides || joursConservation < 0) {
        std::fprintf(stderr, "--journal-jours attend un nombre de jours positif ou nul : %s\n",
                     qPrintable(analyseur.value(journalJours)));
        return 64;
    }

    JournalStatut journalStatut;
    if (analyseur.isSet(journal)) {
        QString erreur;
        if (!journalStatut.OuvreFichierJournal(analyseur.value(journal), &erreur, joursConservation))
            std::fprintf(stderr, "impossible d'ouvrir le journal %s : %s\n", qPrintable(analyseur.value(journal)),
                         qPrintable(erreur));
    }

    HorlogeSysteme horloge;
    DialoguesQt dialogues;
    F1Pelorane::Options options;
    options.racine = QDir(analyseur.value(racine)).absolutePath() + QLatin1Char('/');
    options.portSerie = analyseur.value(portSerie);
    // Sans --registre, la fenêtre prend RACINE/pelorane-registre.db et crée la racine.
    if (analyseur.isSet(registre))
        options.registre = analyseur.value(registre);
    InstanceUnique instance(options.racine);
    F1Pelorane fenetre(horloge, dialogues, journalStatut, &instance, options, TermineProcessus);
    dialogues.ChangeParent(&fenetre);

#ifdef Q_OS_UNIX
    InstalleSignaux(fenetre);
#endif

    // Le démarrage tourne dans la boucle d'événements de Qt, comme tout le reste.
    QTimer::singleShot(0, &fenetre, [&fenetre] { fenetre.Form_Load(); });
    const int code = application.exec();
    TermineProcessus(code);
}
