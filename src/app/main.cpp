#include "app/CommandesConsole.h"
#include "app/DialoguesQt.h"
#include "app/F1Pelorane.h"
#include "app/LigneCommande.h"
#include "app/SignauxArret.h"
#include "app/TraductionQt.h"
#include "VersionPelorane.h"
#include "base/DossierExecution.h"
#include "base/HorlogeSysteme.h"
#include "base/JournalStatut.h"
#include "service/InstanceUnique.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

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
#ifdef Q_OS_WIN
    // Le programme écrit sur la console en UTF-8 (messages, aide, historique) ; une vraie
    // console de Windows les affiche ainsi. Un tube ou un fichier reçoit les mêmes octets.
    SetConsoleOutputCP(CP_UTF8);
#endif
    PrepareDossierExecution();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("pelorane"));
    QApplication::setApplicationVersion(QStringLiteral(PELORANE_VERSION_TEXTE));
    // Boutons et boîtes de Qt en français, quelle que soit la langue du système.
    if (!ChargeTraductionQt(application))
        std::fputs("traduction française de Qt non chargée\n", stderr);

    LigneCommande ligne;
    switch (ligne.Lit(application.arguments())) {
    case LigneCommande::Suite::Sortie:
        return ligne.CodeSortie();
    case LigneCommande::Suite::Historique:
        return MontreHistorique(ligne.CheminRegistre(), ligne.depuis, ligne.csv);
    case LigneCommande::Suite::Action:
        return DemandeAction(ligne.racine, ligne.racineDonnee, ligne.action);
    case LigneCommande::Suite::Service:
        break;
    }

    JournalStatut journalStatut;
    journalStatut.ActiveResumes();
    journalStatut.ActiveFiltreSortiesAux();
    if (ligne.avecJournal) {
        QString erreur;
        if (!journalStatut.OuvreFichierJournal(ligne.journal, &erreur, ligne.journalJours))
            std::fprintf(stderr, "impossible d'ouvrir le journal %s : %s\n", qUtf8Printable(ligne.journal),
                         qUtf8Printable(erreur));
    }

    HorlogeSysteme horloge;
    DialoguesQt dialogues;
    // Sans --registre, le service prend RACINE/pelorane-registre.db et crée la racine.
    const F1Pelorane::Options options{ ligne.racine, ligne.portSerie, ligne.registre, ligne.sourcesUdp };
    InstanceUnique instance(options.racine);
    F1Pelorane fenetre(horloge, dialogues, journalStatut, &instance, options, TermineProcessus);
    dialogues.ChangeParent(&fenetre);
    InstalleSignauxArret(fenetre);

    // Le démarrage tourne dans la boucle d'événements de Qt, comme tout le reste.
    QTimer::singleShot(0, &fenetre, [&fenetre] { fenetre.Form_Load(); });
    const int code = application.exec();
    TermineProcessus(code);
}
