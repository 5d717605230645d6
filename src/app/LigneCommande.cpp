#include "LigneCommande.h"

#include "VersionPelorane.h"
#include "app/CommandeRapport.h"
#include "app/F1Pelorane.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace {

// Les options de pelorane, dans l'ordre de l'aide.
struct Options
{
    const QCommandLineOption aide{ QStringList{ QStringLiteral("h"), QStringLiteral("help") },
                                  QStringLiteral("Affiche cette aide.") };
    const QCommandLineOption version{ QStringList{ QStringLiteral("v"), QStringLiteral("version") },
                                     QStringLiteral("Affiche la version.") };
    const QCommandLineOption optRacine{ QStringLiteral("racine"),
                                       QStringLiteral("Dossier racine (dossier d'échange DOSSIER/Echanges/ et fichier "
                                                      "de passation DOSSIER/zCdeMnl.txt). Par défaut : %1")
                                           .arg(LigneCommande::RacineParDefaut()),
                                       QStringLiteral("DOSSIER"), LigneCommande::RacineParDefaut() };
    const QCommandLineOption optPortSerie{ QStringLiteral("port-serie"),
                                          QStringLiteral("Périphérique série des cartes, à la place de celui que donne "
                                                         "Param_Com_Tiroirs."),
                                          QStringLiteral("PERIPHERIQUE") };
    const QCommandLineOption optJournal{ QStringLiteral("journal"),
                                        QStringLiteral("Recopie chaque ligne du journal d'état, horodatée, à la fin de "
                                                       "FICHIER (UTF-8)."),
                                        QStringLiteral("FICHIER") };
    // Rotation du journal fichier : un fichier par jour, gardé N jours.
    const QCommandLineOption optJournalJours{
        QStringLiteral("journal-jours"),
        QStringLiteral("Avec --journal : chaque jour, FICHIER devient FICHIER.AAAA-MM-JJ ; les fichiers tournés "
                       "de plus de N jours sont effacés (défaut : 31)."),
        QStringLiteral("N"), QStringLiteral("31") };
    const QCommandLineOption optAction{
        QStringLiteral("action"),
        QStringLiteral("Demande à la copie qui tourne pour cette racine de lancer une action, comme un clic "
                       "sur son bouton : test-liaison-cdapi, test-liaison-cartes, montrer."),
        QStringLiteral("ACTION") };
    const QCommandLineOption optRegistre{ QStringLiteral("registre"),
                                         QStringLiteral("Registre durable des remises (SQLite). Par défaut : "
                                                        "DOSSIER/pelorane-registre.db, à côté du fichier de passation."),
                                         QStringLiteral("FICHIER") };
    const QCommandLineOption optHistorique{ QStringLiteral("historique"),
                                           QStringLiteral("N'ouvre pas de service : écrit les commandes remises, les "
                                                          "plus anciennes d'abord, lues dans le registre (en lecture "
                                                          "seule).") };
    const QCommandLineOption optDepuis{ QStringLiteral("depuis"),
                                       QStringLiteral("Avec --historique : seulement les remises depuis ce jour."),
                                       QStringLiteral("AAAA-MM-JJ") };
    const QCommandLineOption optCsv{ QStringLiteral("csv"),
                                    QStringLiteral("Avec --historique : en CSV (séparateur ;) plutôt qu'en tableau.") };

    const QCommandLineOption optSourceUdp{ QStringLiteral("source-udp"),
                                           QStringLiteral("N'accepte les datagrammes de fin de convoyage que de cette "
                                                          "adresse (répétable) ; sans elle, de toute adresse."),
                                           QStringLiteral("ADRESSE") };

    void Declare(QCommandLineParser& analyseur) const
    {
        analyseur.setApplicationDescription(
            QStringLiteral("Pelorane : lance les commandes du dossier d'échange vers les tiroirs du robot."));
        analyseur.addOptions({ aide, optAction, version, optRacine, optPortSerie, optJournal, optRegistre,
                               optHistorique, optDepuis, optCsv, optJournalJours, optSourceUdp });
    }
};

} // namespace

QString LigneCommande::RacineParDefaut()
{
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\grindel\\");
#else
    return QDir::homePath() + QStringLiteral("/grindel/");
#endif
}

QString LigneCommande::CheminRegistre() const
{
    return registre.isEmpty() ? racine + QStringLiteral("pelorane-registre.db") : registre;
}

LigneCommande::Suite LigneCommande::Sort(int code)
{
    m_codeSortie = code;
    return Suite::Sortie;
}

LigneCommande::Suite LigneCommande::Lit(const QStringList& arguments)
{
    const Options o;
    QCommandLineParser analyseur;
    o.Declare(analyseur);
    const CommandeRapport rapport(analyseur);
    if (!analyseur.parse(arguments)) {
        QString erreur = analyseur.errorText();
        if (erreur.endsWith(QLatin1Char('.')))
            erreur.chop(1);
        std::fprintf(stderr, "%s ; voir pelorane --help\n", qUtf8Printable(erreur));
        return Sort(64);
    }
    if (analyseur.isSet(o.aide)) {
        std::fputs(qUtf8Printable(analyseur.helpText()), stdout);
        return Sort(0);
    }
    if (analyseur.isSet(o.version)) {
        std::printf("pelorane %s\n", PELORANE_VERSION_TEXTE);
        return Sort(0);
    }

    // Un argument sans option n'a pas de sens : mieux vaut le dire que l'ignorer.
    if (const QStringList restes = analyseur.positionalArguments(); !restes.isEmpty()) {
        std::fprintf(stderr, "argument inattendu : %s ; voir pelorane --help\n", qUtf8Printable(restes.first()));
        return Sort(64);
    }

    racineDonnee = analyseur.value(o.optRacine);
    racine = QDir(racineDonnee).absolutePath();
    // La racine d'un lecteur (C:/ sous Windows, / sous Unix) finit déjà par son séparateur.
    if (!racine.endsWith(QLatin1Char('/')))
        racine += QLatin1Char('/');
    // Une racine donnée doit exister : une faute de frappe ne doit pas faire naître
    // une autre installation. La racine par défaut, elle, est créée au besoin.
    if (analyseur.isSet(o.optRacine) && !QFileInfo(racine).isDir()) {
        std::fprintf(stderr, "le dossier racine %s n'existe pas : créez-le, ou donnez un dossier existant à --racine\n",
                     qUtf8Printable(racineDonnee));
        return Sort(64);
    }
    portSerie = analyseur.value(o.optPortSerie);
    sourcesUdp = analyseur.values(o.optSourceUdp);
    avecJournal = analyseur.isSet(o.optJournal);
    journal = analyseur.value(o.optJournal);
    registre = analyseur.isSet(o.optRegistre) ? analyseur.value(o.optRegistre) : QString();
    depuis = analyseur.value(o.optDepuis);
    csv = analyseur.isSet(o.optCsv);
    if (analyseur.isSet(o.optHistorique))
        return Suite::Historique;
    // Le rapport s'écrit ici : ses options ne vivent que dans l'analyseur.
    if (const int code = rapport.Traite(CheminRegistre()); code >= 0)
        return Sort(code);
    if (analyseur.isSet(o.optDepuis) || analyseur.isSet(o.optCsv)) {
        std::fprintf(stderr, "--depuis et --csv ne vont qu'avec --historique\n");
        return Sort(64);
    }

    if (analyseur.isSet(o.optAction)) {
        action = analyseur.value(o.optAction);
        if (!F1Pelorane::ActionsConnues().contains(action)) {
            std::fprintf(stderr, "action inconnue : %s (actions : %s)\n", qUtf8Printable(action),
                         qUtf8Printable(F1Pelorane::ActionsConnues().join(QStringLiteral(", "))));
            return Sort(64);
        }
        return Suite::Action;
    }

    bool joursValides = false;
    journalJours = analyseur.value(o.optJournalJours).toInt(&joursValides);
    if (!joursValides || journalJours < 0) {
        std::fprintf(stderr, "--journal-jours attend un nombre de jours positif ou nul : %s\n",
                     qUtf8Printable(analyseur.value(o.optJournalJours)));
        return Sort(64);
    }
    return Suite::Service;
}
