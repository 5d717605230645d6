#include "OptionsSimulation.h"
#include "SimulateurRobot.h"
#include "VersionPelorane.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>
#include <QTimer>
#include <QTranslator>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int tubeSignaux[2] = { -1, -1 };

void SurSignal(int)
{
    const char octet = 1;
    [[maybe_unused]] const auto n = ::write(tubeSignaux[1], &octet, 1);
}

void Ecrit(const QString& ligne)
{
    std::fputs(qPrintable(ligne + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pelorane-simulateur"));
    // Textes propres de Qt en français, comme pour pelorane.
    QTranslator traduction;
    if (traduction.load(QStringLiteral(":/traductions/qtbase_fr.qm")))
        QCoreApplication::installTranslator(&traduction);

    QCommandLineParser analyseur;
    analyseur.setApplicationDescription(QStringLiteral(
        "Simule tout ce qui entoure Pelorane : le programme hôte (fichier de passation, CDAPI), les cartes "
        "d'extension sur un pseudo-terminal, le convoyeur (datagrammes de fin de convoyage) et les comptoirs "
        "de vente (fichiers de commande et de retour). Lancer ensuite : pelorane --racine RACINE --port-serie "
        "RACINE/cartes-serie"));
    // Aide et version en français, comme pelorane (addHelpOption les écrirait en anglais).
    const QCommandLineOption aide(QStringList{ QStringLiteral("h"), QStringLiteral("help") },
                                  QStringLiteral("Affiche cette aide."));
    const QCommandLineOption version(QStringList{ QStringLiteral("v"), QStringLiteral("version") },
                                     QStringLiteral("Affiche la version."));
    analyseur.addOption(aide);
    analyseur.addOption(version);
    struct Option
    {
        const char* nom;
        const char* aide;
        const char* valeur;
        QString defaut;
    };
    const OptionsSimulation d;
    const QList<Option> options = {
        { "racine", "Dossier racine, le même que celui du service.", "DOSSIER", QString() },
        { "duree", "Arrête la simulation au bout de N secondes et écrit le bilan (0 : jusqu'à SIGTERM).", "N",
          QString::number(d.dureeS) },
        { "commandes", "Nombre de commandes à déposer (-1 : sans limite).", "N", QString::number(d.commandes) },
        { "intervalle", "Une commande déposée toutes les N ms.", "MS", QString::number(d.intervalleCommandeMs) },
        { "retours", "Un fichier de retour toutes les N commandes (0 : jamais).", "N", QString::number(d.retourToutesLes) },
        { "delai-hote", "L'hôte prend la commande du fichier de passation après N ms.", "MS",
          QString::number(d.delaiHoteMs) },
        { "delai-convoyeur", "Les boîtes arrivent au tiroir N ms après la prise.", "MS",
          QString::number(d.delaiConvoyeurMs) },
        { "collecte", "Les boîtes restent N ms dans le tiroir (entrée de la carte à \"1\").", "MS",
          QString::number(d.collecteMs) },
        { "perte-datagramme", "Un datagramme de fin de convoyage sur N est perdu (0 : aucun).", "N",
          QString::number(d.perteDatagramme) },
        { "tiroirs", "Nombre de tiroirs (clé Nb_Tiroirs si elle manque).", "N", QString::number(d.nbTiroirs) },
        { "port-cdapi", "Port TCP du CDAPI de l'hôte.", "PORT", QString::number(d.portCdapi) },
        { "port-udp", "Port UDP du service pour les datagrammes.", "PORT", QString::number(d.portUdp) },
        { "norme", "Variante CDAPI (CDAPI-A ou CDAPI-B).", "NORME", d.normeCdapi },
        { "demande-a", "Envoie une demande d'éjection \"A\" toutes les N secondes (0 : jamais).", "N",
          QString::number(d.demandeAToutesLesS) },
        { "demande-a-ms", "Envoie une demande \"A\" toutes les N ms, pour inonder la liaison (prime sur --demande-a).",
          "MS", QString::number(d.demandeAToutesLesMs) },
        { "lignes-a", "Lignes de chaque demande \"A\" (1 à 99).", "N", QString::number(d.lignesDemandeA) },
        { "demande-r", "Envoie une identification \"R\" toutes les N secondes (0 : jamais).", "N",
          QString::number(d.identificationToutesLesS) },
        { "retard-cartes", "Les cartes répondent N ms après chaque trame (au-delà de 1000, une lecture échoue).", "MS",
          QString::number(d.retardCartesMs) },
        { "carte-en-retard", "Carte concernée par --retard-cartes, par son nom (Z45…) ; répétable ; toutes sans elle.",
          "NOM", QString() },
        { "carte-fautive",
          "Carte en panne, NOM:GENRE : muette (ne répond plus), somme (somme toujours fausse), nul (un NUL dans "
          "chaque réponse), bavarde (300 octets de bruit au lieu de la réponse) ; répétable.",
          "PANNE", QString() },
        { "sommes-fausses", "N % des réponses de chaque carte envoyées avec une somme fausse.", "N",
          QString::number(d.pourcentSommesFausses) },
        { "param", "Clé de paramètre ajoutée à la base si elle manque (répétable).", "CLE=VALEUR", QString() },
    };
    for (const Option& o : options) {
        QCommandLineOption option(QString::fromLatin1(o.nom), QString::fromUtf8(o.aide), QString::fromLatin1(o.valeur));
        if (!o.defaut.isEmpty())
            option.setDefaultValue(o.defaut);
        analyseur.addOption(option);
    }
    analyseur.addOption(QCommandLineOption(QStringLiteral("hote-muet"), QStringLiteral("L'hôte CDAPI n'acquitte rien.")));
    analyseur.addOption(QCommandLineOption(QStringLiteral("demandes-variees"),
                                           QStringLiteral("Chaque demande \"A\" porte un numéro de commande nouveau.")));
    analyseur.addOption(QCommandLineOption(QStringLiteral("hote-sourd"),
                                           QStringLiteral("L'hôte CDAPI ne lit jamais sa socket (ni ACK ni réponse lus).")));
    if (!analyseur.parse(application.arguments())) {
        std::fprintf(stderr, "%s\n", qPrintable(analyseur.errorText()));
        return 64;
    }
    if (analyseur.isSet(aide)) {
        std::fputs(qPrintable(analyseur.helpText()), stdout);
        return 0;
    }
    if (analyseur.isSet(version)) {
        std::printf("pelorane-simulateur %s\n", PELORANE_VERSION_TEXTE);
        return 0;
    }
    auto entier = [&](const char* nom) { return analyseur.value(QString::fromLatin1(nom)).toInt(); };

    OptionsSimulation o;
    o.racine = analyseur.value(QStringLiteral("racine"));
    if (o.racine.isEmpty()) {
        std::fputs("il faut donner --racine\n", stderr);
        return 64;
    }
    o.racine = QDir(o.racine).absolutePath();
    o.dureeS = entier("duree");
    o.commandes = entier("commandes");
    o.intervalleCommandeMs = qMax(50, entier("intervalle"));
    o.retourToutesLes = entier("retours");
    o.delaiHoteMs = entier("delai-hote");
    o.delaiConvoyeurMs = entier("delai-convoyeur");
    o.collecteMs = entier("collecte");
    o.perteDatagramme = entier("perte-datagramme");
    o.nbTiroirs = qBound(1, entier("tiroirs"), 8);
    o.portCdapi = quint16(entier("port-cdapi"));
    o.portUdp = quint16(entier("port-udp"));
    o.normeCdapi = analyseur.value(QStringLiteral("norme"));
    o.demandeAToutesLesS = entier("demande-a");
    o.identificationToutesLesS = entier("demande-r");
    o.demandeAToutesLesMs = qMax(0, entier("demande-a-ms"));
    o.lignesDemandeA = qBound(1, entier("lignes-a"), 99);
    o.hoteMuet = analyseur.isSet(QStringLiteral("hote-muet"));
    o.demandesADifferentes = analyseur.isSet(QStringLiteral("demandes-variees"));
    o.hoteSourd = analyseur.isSet(QStringLiteral("hote-sourd"));
    o.retardCartesMs = qMax(0, entier("retard-cartes"));
    o.cartesEnRetard = analyseur.values(QStringLiteral("carte-en-retard"));
    o.cartesFautives = analyseur.values(QStringLiteral("carte-fautive"));
    o.pourcentSommesFausses = qBound(0, entier("sommes-fausses"), 100);
    for (const QString& p : analyseur.values(QStringLiteral("param"))) {
        const int egal = int(p.indexOf(QLatin1Char('=')));
        if (egal > 0)
            o.parametres.insert(p.left(egal), p.mid(egal + 1));
    }

    SimulateurRobot simulateur(o);
    QObject::connect(&simulateur, &SimulateurRobot::message, &Ecrit);
    QString erreur;
    if (!simulateur.Demarre(&erreur)) {
        std::fprintf(stderr, "simulation impossible : %s\n", qPrintable(erreur));
        return 1;
    }
    Ecrit(QStringLiteral("pret: cartes=%1 lien=%2").arg(simulateur.CheminCartes(), simulateur.LienCartes()));

    auto termine = [&simulateur] {
        for (const QString& ligne : simulateur.Bilan())
            Ecrit(ligne);
        QCoreApplication::quit();
    };
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, tubeSignaux) == 0) {
        auto* notificateur = new QSocketNotifier(tubeSignaux[0], QSocketNotifier::Read, &application);
        QObject::connect(notificateur, &QSocketNotifier::activated, &application, termine);
        std::signal(SIGTERM, SurSignal);
        std::signal(SIGINT, SurSignal);
    }
    if (o.dureeS > 0)
        QTimer::singleShot(o.dureeS * 1000, &application, termine);
    return application.exec();
}
