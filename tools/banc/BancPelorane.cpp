// Banc du service. Sans option : un tableau de synthèse (travail d'une passe avec
// 0, 1 000 et 10 000 fichiers en attente, mémoire, puis, sur le service et le
// simulateur lancés pour de vrai : latence dépôt -> passation, débit avec quatre
// tiroirs, processeur au repos). --detail : coût d'une passe selon le nombre de
// commandes en attente et mémoire sur des passes enchaînées ; --long : plus de passes.
//
// Mode simulation des cartes ("N") et horloge virtuelle : les pauses de la
// lecture simulée des tiroirs et de la sortie auxiliaire font avancer le temps
// sans dormir ; seules restent leurs cessions d'événements (quelques
// microsecondes). Ce qui est mesuré est donc le travail propre du service :
// relecture du dossier, listes, choix, affichage, passation, effacement.

#include "service/CycleTraitement.h"
#include "base/Dialogues.h"
#include "base/Horloge.h"
#include "base/JournalStatut.h"
#include "config/Configuration.h"
#include "drawers/LigneCartes.h"
#include "drawers/TableauTiroirs.h"
#include "orders/ListesEchange.h"
#include "orders/Passation.h"
#include "orders/RegistreRemises.h"

#include "MesureRapport.h"
#include "MesuresProcessus.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <functional>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

class HorlogeBanc : public Horloge
{
public:
    qint64 get_exact_milli_second() override { return m_maintenant; }
    void Cede() override { QCoreApplication::processEvents(); }
    // Avance le temps du banc sans bloquer.
    void Dort(int millisecondes)
    {
        m_maintenant += millisecondes;
        QCoreApplication::processEvents();
    }

private:
    qint64 m_maintenant = 1000000;
};

class DialoguesMuets : public Dialogues
{
public:
    void Message(Icone, const QString&, const QString&) override {}
    Reponse QuestionOuiNon(Icone, const QString&, const QString&, Reponse parDefaut) override
    {
        return parDefaut;
    }
};

// Mémoire résidente en Kio (Linux) ; -1 ailleurs.
long MemoireResidenteKio()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> champs = statm.readAll().split(' ');
    if (champs.size() < 2)
        return -1;
    return champs.at(1).toLong() * 4; // pages de 4 Kio
}

const QByteArray Commande("protocol: CDE\r\nposte: 003\r\nordre: 4521\r\nP.Recept: 009\r\n"
                          "date: 12/03/2024\r\ncip Qt    : 3400930000001        001\r\n"
                          "cip Qt    : 3400930000002        002\r\n");

struct Service
{
    explicit Service(const QString& racine)
    {
        config.NbTiroirs = 4;
        config.LectReelleEtatTiroirs = QStringLiteral("N");
        config.DossierEchange = racine + QStringLiteral("/Echanges/");
        config.FichierPassation = racine + QStringLiteral("/zCdeMnl.txt");
        QDir().mkpath(config.DossierEchange);
        tiroirs.OuvreTiroir(0);
    }
    void CreeCommandes(int debut, int nombre)
    {
        for (int i = debut; i < debut + nombre; ++i) {
            QFile f(config.DossierEchange + QStringLiteral("CD%1.txt").arg(i, 6, 10, QLatin1Char('0')));
            f.open(QIODevice::WriteOnly);
            f.write(Commande);
        }
    }

    Configuration config;
    JournalStatut journal;
    HorlogeBanc horloge;
    DialoguesMuets dialogues;
    LigneCartes ligne{ journal, dialogues, config };
    ListesEchange listes{ journal, horloge, config,
                          [this](const QString& n, const QString& e) { return ligne.AuxGri2(n, e); } };
    TableauTiroirs tiroirs{ journal, horloge, ligne, config };
    Passation passation{ journal, config };
    CycleTraitement cycle{ journal, horloge, listes, tiroirs, passation };
};

struct Mesure
{
    double moyenne = 0, mediane = 0, p95 = 0, maximum = 0;
};

Mesure Resume(std::vector<double> ms)
{
    Mesure m;
    if (ms.empty())
        return m;
    double somme = 0;
    for (double v : ms)
        somme += v;
    std::sort(ms.begin(), ms.end());
    m.moyenne = somme / double(ms.size());
    m.mediane = ms[ms.size() / 2];
    m.p95 = ms[std::min(ms.size() - 1, ms.size() * 95 / 100)];
    m.maximum = ms.back();
    return m;
}

double DureeMs(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

void Affiche(const char* titre, const Mesure& m)
{
    std::printf("%-58s moyenne %8.3f ms  médiane %8.3f ms  max %8.3f ms\n", titre, m.moyenne,
                m.mediane, m.maximum);
}

// Durée (ms) de chacune de `passes` passes enchaînées ; `avant` prépare chaque passe
// hors chronomètre ; *memoire1000 reçoit la mémoire résidente après la 1 000e.
std::vector<double> ChronometrePasses(Service& s, int passes, const std::function<void()>& avant = {},
                                      long* memoire1000 = nullptr)
{
    std::vector<double> durees;
    durees.reserve(size_t(passes));
    for (int i = 0; i < passes; ++i) {
        if (avant)
            avant();
        QElapsedTimer t;
        t.start();
        s.cycle.Passe();
        durees.push_back(DureeMs(t));
        if (i == 999 && memoire1000)
            *memoire1000 = MemoireResidenteKio();
    }
    return durees;
}

// Coût du registre durable sur une remise : une commande lancée par passe, avec
// et sans registre ; puis les requêtes au registre pendant des passes sans
// commande à lancer (il doit y en avoir zéro).
void MesureRegistre(const QTemporaryDir& racine)
{
    for (bool avecRegistre : { false, true }) {
        Service s(racine.path() + (avecRegistre ? QStringLiteral("/registre") : QStringLiteral("/sans-registre")));
        RegistreRemises registre(s.journal);
        if (avecRegistre) {
            registre.Ouvre(racine.path() + QStringLiteral("/registre/pelorane-registre.db"));
            s.cycle.MetRegistre(&registre);
        }
        s.CreeCommandes(0, 300);
        s.cycle.Passe();
        // Trouvées au démarrage, les commandes attendent la fenêtre de stabilité de
        // repli : le temps virtuel la passe, pour que chaque passe mesurée en remette une.
        s.horloge.Dort(int(ListesEchange::DelaiStabiliteMs) + 100);
        s.cycle.Passe();
        // Seules comptent les passes qui remettent une commande : une passe qui n'en
        // trouve pas de prête (fenêtre de stabilité, veille du dossier) ne coûte rien.
        std::vector<double> remises;
        for (int essai = 0; essai < 3000 && remises.size() < 300; ++essai) {
            QFile::resize(s.config.FichierPassation, 0); // le frontal a pris la commande
            s.tiroirs.MetCouleur(1, TableauTiroirs::AutoriseCde);
            QElapsedTimer t;
            t.start();
            s.cycle.Passe();
            const double duree = DureeMs(t);
            if (QFileInfo(s.config.FichierPassation).size() > 0)
                remises.push_back(duree);
        }
        const Mesure m = Resume(remises);
        std::printf("%-62s %9.3f ms %9.3f ms\n",
                    avecRegistre ? "remise d'une commande, registre durable (WAL, FULL)"
                                 : "remise d'une commande, sans registre",
                    m.mediane, m.p95);
        if (avecRegistre) {
            const int avant = registre.NombreRequetes();
            for (int i = 0; i < 1000; ++i)
                s.cycle.Passe(); // plus de tiroir libre : rien à lancer
            std::printf("%-62s %9d\n", "requêtes au registre pendant 1 000 passes sans remise",
                        registre.NombreRequetes() - avant);
        }
    }
}

// Une commande déposée comme le font les comptoirs bien écrits : écrite sous un
// autre nom puis renommée dans le dossier (prête dès la passe qui la voit).
void DeposeCommande(Service& s, int numero)
{
    const QString provisoire = s.config.DossierEchange + QStringLiteral(".depot.part");
    QFile f(provisoire);
    f.open(QIODevice::WriteOnly);
    f.write(Commande);
    f.close();
    const QString nom = s.config.DossierEchange + QStringLiteral("CD%1.txt").arg(numero, 6, 10, QLatin1Char('0'));
    std::rename(QFile::encodeName(provisoire).constData(), QFile::encodeName(nom).constData());
}

void CreeRetours(Service& s, int debut, int nombre)
{
    for (int i = debut; i < debut + nombre; ++i) {
        QFile f(s.config.DossierEchange + QStringLiteral("RT%1.txt").arg(i, 6, 10, QLatin1Char('0')));
        f.open(QIODevice::WriteOnly);
        f.write("retour\r\n");
    }
}

// Le frontal a pris la commande précédente et un tiroir est libre : la passe
// suivante peut remettre une commande.
void PrepareRemise(Service& s)
{
    QFile::resize(s.config.FichierPassation, 0);
    s.tiroirs.MetCouleur(1, TableauTiroirs::AutoriseCde);
}

// Temps de processeur de ce fil (ms), appels au système compris : la machine
// partagée fausse les durées murales, pas celui-ci.
double ProcesseurFilMs()
{
#ifdef Q_OS_UNIX
    timespec ts {};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
#else
    // Ailleurs, la durée murale (à lire sur une machine au repos).
    static QElapsedTimer depuis;
    if (!depuis.isValid())
        depuis.start();
    return double(depuis.nsecsElapsed()) / 1e6;
#endif
}

// Coût de l'arrivée d'une commande et de sa remise selon le nombre de retours
// "RT" qui attendent dans le dossier (personne ne les prend) : la passe qui la
// voit arriver et la remet, plus celle qui voit son effacement, en temps de
// processeur du fil. Le relevé du filet (toutes les 5 s de temps virtuel, soit
// toutes les trois mesures environ ici, toutes les seize passes en service)
// tombe dans certaines : le 95e centile le montre.
void MesureRetoursEnAttente(const QTemporaryDir& racine)
{
    double reference = 0;
    for (int n : { 0, 1000, 10000 }) {
        Service s(racine.path() + QStringLiteral("/retours%1").arg(n));
        CreeRetours(s, 0, n);
        s.cycle.Passe();
        s.cycle.Passe();
        std::vector<double> couts;
        int manquees = 0;
        for (int i = 0; i < 300; ++i) {
            PrepareRemise(s);
            DeposeCommande(s, i);
            const double debut = ProcesseurFilMs();
            s.cycle.Passe();
            s.cycle.Passe();
            couts.push_back(ProcesseurFilMs() - debut);
            manquees += QFileInfo(s.config.FichierPassation).size() > 0 ? 0 : 1;
        }
        const Mesure m = Resume(couts);
        if (n == 0)
            reference = m.mediane;
        const QByteArray titre =
            QStringLiteral("arrivée et remise d'une commande, %1 retours en attente").arg(n).toUtf8();
        std::printf("%-62s %9.3f ms %9.3f ms  (x%.2f%s)\n", titre.constData(), m.mediane, m.p95,
                    reference > 0 ? m.mediane / reference : 1.0,
                    manquees ? qPrintable(QStringLiteral(", %1 non remises").arg(manquees)) : "");
    }
}

// Mémoire résidente pendant `commandes` remises, chacune suivie d'un retour
// "RT" déposé : retours pris (effacés toutes les 10 commandes) ou laissés à
// s'accumuler. Relevés au quart et à la fin.
void MesureMemoireRetours(const QTemporaryDir& racine, int commandes)
{
    for (bool pris : { true, false }) {
        Service s(racine.path() + (pris ? QStringLiteral("/memoire-pris") : QStringLiteral("/memoire-accumules")));
        s.cycle.Passe();
        long auQuart = 0;
        const long debut = MemoireResidenteKio();
        for (int i = 0; i < commandes; ++i) {
            PrepareRemise(s);
            DeposeCommande(s, i);
            CreeRetours(s, i, 1);
            s.cycle.Passe();
            s.cycle.Passe();
            if (pris && i % 10 == 9)
                for (int j = i - 9; j <= i; ++j)
                    QFile::remove(s.config.DossierEchange + QStringLiteral("RT%1.txt").arg(j, 6, 10, QLatin1Char('0')));
            if (i == commandes / 4 - 1)
                auQuart = MemoireResidenteKio();
        }
        const QByteArray titre = (pris ? QStringLiteral("mémoire, %1 remises, retours pris au fur et à mesure")
                                       : QStringLiteral("mémoire, %1 remises, retours qui s'accumulent"))
                                     .arg(commandes)
                                     .toUtf8();
        std::printf("%-62s %6ld -> %ld (1/4) -> %ld Kio (liste : %lld retours)\n", titre.constData(), debut, auQuart,
                    MemoireResidenteKio(), qlonglong(s.listes.ListeRT().size()));
    }
}

// Le tableau de synthèse : travail propre d'une passe selon le nombre de fichiers
// en attente, mémoire, puis les mesures sur les vrais processus.
int TableauResume(const QTemporaryDir& racine)
{
    std::printf("banc_pelorane : synthèse (passes sans l'attente de 300 ms, cartes en simulation,\n"
                "horloge virtuelle ; puis le service et le simulateur en vrais processus)\n\n");
    std::printf("%-62s %12s %12s\n", "mesure", "médiane", "95e centile");
    for (int n : { 0, 1000, 10000 }) {
        Service s(racine.path() + QStringLiteral("/tableau%1").arg(n));
        s.CreeCommandes(0, n);
        long memoireDebut = 0;
        if (n == 0) {
            s.cycle.Passe();
            memoireDebut = MemoireResidenteKio();
        }
        s.cycle.Passe();
        const int passes = n == 0 ? 10000 : 300;
        const Mesure m = Resume(ChronometrePasses(s, passes));
        const QByteArray titre =
            QStringLiteral("travail d'une passe, %1 fichiers en attente (%2 passes)").arg(n).arg(passes).toUtf8();
        std::printf("%-62s %9.3f ms %9.3f ms\n", titre.constData(), m.mediane, m.p95);
        if (n == 0)
            std::printf("%-62s %9ld Kio -> %ld Kio\n", "mémoire résidente au départ -> après 10 000 passes",
                        memoireDebut, MemoireResidenteKio());
    }
    MesureRetoursEnAttente(racine);
    MesureRegistre(racine);
    MesureRapport(QStringLiteral(PELORANE_BINAIRE), racine.path() + QStringLiteral("/rapport"));
    std::fflush(stdout);

    // PELORANE_BANC_SERVICE : un autre programme de service à mesurer (une version d'avant).
    const ResultatsProcessus r =
        MesureProcessus(qEnvironmentVariable("PELORANE_BANC_SERVICE", QStringLiteral(PELORANE_BINAIRE)),
                        QStringLiteral(SIMULATEUR_BINAIRE), racine.path() + QStringLiteral("/processus"));
    if (!r.erreur.isEmpty()) {
        std::printf("mesures sur les processus impossibles : %s\n", qPrintable(r.erreur));
        return 1;
    }
    std::printf("%-62s %9.0f ms %9.0f ms\n", "latence dépôt -> fichier de passation (service au repos)",
                r.latenceMedianeMs, r.latenceP95Ms);
    std::printf("%-62s %9.0f ms %9.0f ms\n", "  même latence, commande écrite sur place puis fermée",
                r.latenceSurPlaceMedianeMs, r.latenceSurPlaceP95Ms);
    std::printf("%-62s %9.1f /min\n", "commandes remises par minute, 4 tiroirs", r.commandesParMinute);
    std::printf("%-62s %9.2f %%\n", "processeur au repos (dossier vide, 4 tiroirs verts)", r.processeurReposPourcent);
    std::printf("%-62s %9ld Kio -> %ld Kio\n", "mémoire résidente du service : prêt -> après les mesures",
                r.memoireServiceDebutKio, r.memoireServiceFinKio);
    std::printf("\n%s\n", qPrintable(r.conditions));
    return 0;
}

// Service sous une carte en panne : les tiroirs des autres cartes gardent leur débit.
int DebitsCartes(const QTemporaryDir& racine)
{
    const QString service = qEnvironmentVariable("PELORANE_BANC_SERVICE", QStringLiteral(PELORANE_BINAIRE));
    std::printf("banc_pelorane --cartes : 60 commandes d'un coup, 6 tiroirs sur 3 cartes (%s)\n\n", qPrintable(service));
    const QList<QPair<const char*, QStringList>> cas = {
        { "toutes les cartes saines", {} },
        { "Z45 muette", { QStringLiteral("--carte-fautive"), QStringLiteral("Z45:muette") } },
        { "Z45 somme toujours fausse", { QStringLiteral("--carte-fautive"), QStringLiteral("Z45:somme") } },
        { "Z45 avec un NUL", { QStringLiteral("--carte-fautive"), QStringLiteral("Z45:nul") } },
        { "Z45 bavarde (bruit sans CR)", { QStringLiteral("--carte-fautive"), QStringLiteral("Z45:bavarde") } },
        { "10 % de sommes fausses sur chaque carte", { QStringLiteral("--sommes-fausses"), QStringLiteral("10") } },
        { "Z45 en retard de 1600 ms",
          { QStringLiteral("--retard-cartes"), QStringLiteral("1600"), QStringLiteral("--carte-en-retard"), QStringLiteral("Z45") } },
    };
    int i = 0;
    for (const auto& [titre, panne] : cas) {
        const DebitCartes d = MesureDebitCartes(service, QStringLiteral(SIMULATEUR_BINAIRE),
                                                racine.path() + QStringLiteral("/cartes%1").arg(++i), panne);
        if (!d.erreur.isEmpty()) {
            std::printf("%-44s impossible : %s\n", titre, qPrintable(d.erreur));
            continue;
        }
        std::printf("%-44s %7.1f /min   vers 1-2 : %2d   vers un tiroir occupé : %d\n", titre, d.commandesParMinute,
                    d.versCartePanne, d.versTiroirOccupe);
        std::fflush(stdout);
    }
    return 0;
}

int Details(const QTemporaryDir& racine, bool long_)
{
    const int passesOccupe = long_ ? 10000 : 2000;

    std::printf("banc_pelorane : passes du cycle sans l'attente de 300 ms, cartes en simulation,\n"
                "horloge virtuelle ; dossier d'échange sous %s\n\n",
                qPrintable(racine.path()));

    // 1. Dossier vide : 10 000 passes enchaînées, mémoire au fil des passes.
    {
        Service s(racine.path() + QStringLiteral("/vide"));
        long memoire1000 = 0;
        Affiche("dossier vide, 10 000 passes", Resume(ChronometrePasses(s, 10000, {}, &memoire1000)));
        std::printf("  mémoire résidente après 1 000 passes : %ld Kio, après 10 000 : %ld Kio\n\n",
                    memoire1000, MemoireResidenteKio());
    }

    // 2. Croissance : n commandes en attente, aucun tiroir libre (rien ne part).
    std::printf("commandes en attente, aucun tiroir libre (dossier inchangé entre deux passes) :\n");
    for (int n : { 100, 1000, 2000, 5000, 10000, 20000 }) {
        Service s(racine.path() + QStringLiteral("/n%1").arg(n));
        s.CreeCommandes(0, n);
        QElapsedTimer t;
        t.start();
        s.cycle.Passe(); // première relecture : tri et liste neuve
        const double premiere = DureeMs(t);
        const Mesure m = Resume(ChronometrePasses(s, 200));
        // Une commande arrive avant chaque passe : la liste change, il faut trier.
        int arrivee = n;
        const Mesure c = Resume(ChronometrePasses(s, 20, [&] { s.CreeCommandes(arrivee++, 1); }));
        std::printf("  %6d fichiers : passe %8.3f ms (médiane %8.3f, max %8.3f) ; "
                    "avec arrivée %8.3f ms ; première %8.3f ms\n",
                    n, m.moyenne, m.mediane, m.maximum, c.moyenne, premiere);
    }
    std::printf("\n");

    // 3. 10 000 commandes en attente, un tiroir libre à chaque passe et le
    //    fichier de passation vidé entre deux passes : une commande part par passe.
    {
        Service s(racine.path() + QStringLiteral("/lance"));
        s.CreeCommandes(0, 10000);
        s.cycle.Passe();
        const long memoireDebut = MemoireResidenteKio();
        long memoireMilieu = 0;
        const auto durees = ChronometrePasses(
            s, 2000,
            [&] {
                QFile::resize(s.config.FichierPassation, 0); // le frontal a pris la commande
                s.tiroirs.MetCouleur(1, TableauTiroirs::AutoriseCde);
                s.tiroirs.MetCouleur(2, TableauTiroirs::AutoriseCde);
            },
            &memoireMilieu);
        Affiche("10 000 en attente, une commande lancée par passe (2 000)", Resume(durees));
        std::printf("  restent %d fichiers ; mémoire %ld -> %ld -> %ld Kio\n\n",
                    int(s.listes.ListeCD().size()), memoireDebut, memoireMilieu,
                    MemoireResidenteKio());
    }

    // 4. 10 000 commandes en attente, fichier de passation occupé : refus à chaque
    //    passe (affichage, avis), passes enchaînées pour la mémoire.
    {
        Service s(racine.path() + QStringLiteral("/occupe"));
        s.CreeCommandes(0, 10000);
        QFile occupe(s.config.FichierPassation);
        occupe.open(QIODevice::WriteOnly);
        occupe.write("P.Recept: 001\r\n");
        occupe.close();
        s.tiroirs.MetCouleur(1, TableauTiroirs::AutoriseCde);
        long memoire1000 = 0;
        const auto durees = ChronometrePasses(s, passesOccupe, {}, &memoire1000);
        const QByteArray titre = QStringLiteral("10 000 en attente, passation occupée, %1 passes")
                                     .arg(passesOccupe)
                                     .toUtf8();
        Affiche(titre.constData(), Resume(durees));
        std::printf("  mémoire résidente après 1 000 passes : %ld Kio, après %d : %ld Kio\n",
                    memoire1000, passesOccupe, MemoireResidenteKio());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    QTemporaryDir racine;
    if (!racine.isValid())
        return 1;
    // --detail : les mesures détaillées du cycle ; --long : 10 000 passes aussi avec
    // 10 000 commandes en attente (6 min environ).
    // --rapport : seulement le rapport d'activité d'un mois.
    // --retours : seulement le coût d'une remise selon les retours en attente,
    // et la mémoire quand les retours sont pris ou s'accumulent.
    if (arguments.contains(QStringLiteral("--retours"))) {
        std::printf("%-62s %12s %12s\n", "mesure", "médiane", "95e centile");
        MesureRetoursEnAttente(racine);
        MesureMemoireRetours(racine, 8000);
        return 0;
    }
    if (arguments.contains(QStringLiteral("--rapport")))
        return MesureRapport(QStringLiteral(PELORANE_BINAIRE), racine.path() + QStringLiteral("/rapport")) ? 0 : 1;
    if (arguments.contains(QStringLiteral("--detail")) || arguments.contains(QStringLiteral("--long")))
        return Details(racine, arguments.contains(QStringLiteral("--long")));
    if (arguments.contains(QStringLiteral("--cartes")))
        return DebitsCartes(racine);
    return TableauResume(racine);
}
