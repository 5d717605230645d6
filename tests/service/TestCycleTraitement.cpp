#include "service/CycleTraitement.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include "base/JournalStatut.h"
#include "commun/DialoguesScriptes.h"
#include "commun/FichiersEssai.h"
#include "commun/HorlogeTest.h"
#include "config/Configuration.h"
#include "drawers/LigneCartes.h"
#include "drawers/TableauTiroirs.h"
#include "orders/ListesEchange.h"
#include "orders/Passation.h"

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

const QByteArray Commande1("protocol: CDE\r\nposte: 003\r\nordre: 41\r\nP.Recept: 009\r\n"
                           "cip Qt    : 3400930000001        001\r\n");
const QByteArray Commande2("ordre: 42\nP.Recept: 001\nprotocol: X\n");

// Le service en mode simulation : cartes jamais interrogées, tiroirs verts par un clic.
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
        journal.MessageStatus(QStringLiteral("clear"));
    }
    QString Chemin(const QString& nom) const { return config.DossierEchange + nom; }
    // Une passe qui relève les commandes déposées, puis le délai qui les rend stables.
    void Observe()
    {
        cycle.Passe();
        horloge.Avance(ListesEchange::DelaiStabiliteMs);
    }
    void Verts(const QList<int>& numeros)
    {
        for (int n : numeros)
            tiroirs.Lbl_Tiroir_Click(n);
        journal.MessageStatus(QStringLiteral("clear"));
    }

    Configuration config;
    JournalStatut journal;
    HorlogeTest horloge;
    DialoguesScriptes dialogues;
    LigneCartes ligne{ journal, dialogues, config };
    std::function<void()> apresReleve; // appelé quand la sortie 8 change, juste après la relecture
    ListesEchange listes{ journal, horloge, config, [this](const QString& num, const QString& etat) {
                             if (apresReleve)
                                 apresReleve();
                             return ligne.AuxGri2(num, etat);
                         } };
    TableauTiroirs tiroirs{ journal, horloge, ligne, config };
    Passation passation{ journal, config };
    CycleTraitement cycle{ journal, horloge, listes, tiroirs, passation };
};

} // namespace

class TestCycleTraitement : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void aucunTiroirLibre();
    void commandeDisparueAvantAffichage();
    void commandeIneffacableLanceeUneFois();
    void commandeIllisibleNeBloquePasLesAutres();
    void affichagesSuccessifs();
    void commandeEcriteEnDeuxFois();
    void tailleDeCommande_data();
    void tailleDeCommande();
    void passationDossier();
    void nomHorsUtf8Lance();
    void passeJamaisReentree();
    void compteur();
    void boucleDetruitLesObjetsDifferes();
    void commandePreteEntreDeuxPasses();
    void tempsDepasse_data();
    void tempsDepasse();

private:
    std::unique_ptr<QTemporaryDir> m_racine;
    std::unique_ptr<Service> m_s;
};

void TestCycleTraitement::init()
{
    m_s.reset();
    m_racine = std::make_unique<QTemporaryDir>();
    QVERIFY(m_racine->isValid());
    m_s = std::make_unique<Service>(m_racine->path());
}

void TestCycleTraitement::aucunTiroirLibre()
{
    Service& s = *m_s;
    s.tiroirs.MetCouleur(2, TableauTiroirs::CdeEnCours);
    Ecrit(s.Chemin(QStringLiteral("CD1.txt")), Commande1);
    for (int i = 0; i < 3; ++i)
        s.cycle.Passe();
    QCOMPARE(s.journal.Texte(), QStringLiteral("Aux8: ON (Z45)\r\n"));
    QCOMPARE(s.cycle.TexteDerniereCde(), QString());
    QCOMPARE(Lit(s.config.FichierPassation), QByteArray("<absent>"));
    QCOMPARE(Lit(s.Chemin(QStringLiteral("CD1.txt"))), Commande1);
}

void TestCycleTraitement::commandeDisparueAvantAffichage()
{
    Service& s = *m_s;
    s.Verts({ 2 });
    const QString cd1 = s.Chemin(QStringLiteral("CD1.txt"));
    Ecrit(cd1, Commande1);
    // Son auteur la retire juste après la relecture du dossier : le relevé de
    // la commande ne la trouve plus, rien n'est lu ni lancé.
    s.apresReleve = [&] { QFile::remove(cd1); };
    s.Observe();
    s.cycle.Passe();
    QCOMPARE(s.journal.Texte(), QStringLiteral("Aux8: ON (Z45)\r\nAux8: OFF (Z45)\r\n"));
    QCOMPARE(s.tiroirs.Couleur(2), int(TableauTiroirs::AutoriseCde));
    QCOMPARE(Lit(s.config.FichierPassation), QByteArray("<absent>"));
    QCOMPARE(s.cycle.TexteDerniereCde(), QString());

    // Affichage demandé d'un fichier parti : une ligne, une seule tant que ça dure.
    s.journal.MessageStatus(QStringLiteral("clear"));
    s.cycle.afficheFichierCdeBrut(cd1);
    s.cycle.afficheFichierCdeBrut(cd1);
    QCOMPARE(s.journal.Texte(), QStringLiteral("Impossible de lire le fichier ") + QDir::toNativeSeparators(cd1)
                                    + QStringLiteral(", il n'est pas lance\r\n"));
    QCOMPARE(s.cycle.TexteDerniereCde(), QString());
}

void TestCycleTraitement::commandeIneffacableLanceeUneFois()
{
    Service& s = *m_s;
    s.Verts({ 2 });
    const QString cd1 = s.Chemin(QStringLiteral("CD1.txt"));
    const QString cd2 = s.Chemin(QStringLiteral("CD2.txt"));
    Ecrit(cd1, Commande1);
    Ecrit(cd2, Commande2);
    QStringList effacements;
    // CD1.txt refuse de partir (fichier verrouillé) ; les autres s'effacent.
    s.cycle.MetSuppression([&](const QString& chemin) {
        effacements.append(chemin);
        return chemin == cd1 ? false : QFile::remove(chemin);
    });

    s.Observe();
    s.cycle.Passe();
    QCOMPARE(s.journal.Texte(), QStringLiteral("Aux8: ON (Z45)\r\nenvoi le fichier ") + QDir::toNativeSeparators(cd1)
                                    + QStringLiteral(" vers 002\r\nsupp fich: ") + QDir::toNativeSeparators(cd1)
                                    + QStringLiteral("\r\nImpossible d'effacer le fichier ") + QDir::toNativeSeparators(cd1)
                                    + QStringLiteral(" : deja envoye, il ne sera plus lance\r\n"));

    // Le frontal prend la commande, le tiroir redevient vert.
    Ecrit(s.config.FichierPassation, QByteArray());
    s.tiroirs.Lbl_Tiroir_Click(2);
    s.tiroirs.Lbl_Tiroir_Click(2);
    s.journal.MessageStatus(QStringLiteral("clear"));
    s.cycle.Passe();
    QCOMPARE(s.journal.Texte(), QStringLiteral("envoi le fichier ") + QDir::toNativeSeparators(cd2)
                                    + QStringLiteral(" vers 002\r\nsupp fich: ") + QDir::toNativeSeparators(cd2)
                                    + QStringLiteral("\r\n"));
    QCOMPARE(Lit(s.config.FichierPassation),
             QByteArray("ordre: 42\r\nP.Recept: 002\r\nprotocol: Fich-Pelorane\r\n"));

    // CD1.txt reste dans le dossier et dans la liste, mais ne repart jamais.
    Ecrit(s.config.FichierPassation, QByteArray());
    s.tiroirs.Lbl_Tiroir_Click(2);
    s.tiroirs.Lbl_Tiroir_Click(2);
    s.journal.MessageStatus(QStringLiteral("clear"));
    for (int i = 0; i < 3; ++i)
        s.cycle.Passe();
    // Seule la sortie 8 bouge (2 -> 1 fichier) ; rien n'est envoyé.
    QCOMPARE(s.journal.Texte(), QStringLiteral("Aux8: ON (Z45)\r\n"));
    QCOMPARE(s.listes.ListeCD(), QStringList{ "CD1.txt" });
    QCOMPARE(Lit(s.config.FichierPassation), QByteArray());
    QCOMPARE(effacements, (QStringList{ cd1, cd2 }));
    QCOMPARE(s.tiroirs.Couleur(2), int(TableauTiroirs::AutoriseCde));
}

void TestCycleTraitement::commandeIllisibleNeBloquePasLesAutres()
{
    Service& s = *m_s;
    s.Verts({ 1, 2, 3 });
    const QString cd1 = s.Chemin(QStringLiteral("CD1.txt"));
    const QString cd2 = s.Chemin(QStringLiteral("CD2.txt"));
    const QString cd3 = s.Chemin(QStringLiteral("CD3.txt"));
    Ecrit(cd1, Commande1);
    Ecrit(cd2, Commande2);
    Ecrit(cd3, Commande2);
    // CD1.txt ne se lit pas (tenu par son comptoir, droits) ; root lit tout, d'où la lecture remplacée.
    bool cd1Lisible = false;
    s.cycle.MetLecture([&](const QString& chemin, QByteArray* contenu) {
        if (chemin == cd1 && !cd1Lisible)
            return ListesEchange::Lecture::Illisible;
        return s.listes.LitCommande(chemin, contenu);
    });
    auto videPassation = [&] { Ecrit(s.config.FichierPassation, QByteArray()); };

    s.Observe();
    s.cycle.Passe();
    QCOMPARE(s.journal.Texte(), QStringLiteral("Aux8: ON (Z45)\r\nImpossible de lire le fichier ") + QDir::toNativeSeparators(cd1)
                                    + QStringLiteral(", il n'est pas lance\r\n"));
    s.journal.MessageStatus(QStringLiteral("clear"));
    s.horloge.Avance(1000);
    s.cycle.Passe(); // la suivante passe devant
    QCOMPARE(s.journal.Texte(), QStringLiteral("envoi le fichier ") + QDir::toNativeSeparators(cd2) + QStringLiteral(" vers 002\r\nsupp fich: ")
                                    + QDir::toNativeSeparators(cd2) + QStringLiteral("\r\n"));

    // 2 s après son essai, elle reprend sa place en tête de liste, devant CD3.txt ;
    // toujours illisible : pas de nouvelle ligne, CD3.txt passe encore.
    videPassation();
    s.journal.MessageStatus(QStringLiteral("clear"));
    s.horloge.Avance(1000);
    s.cycle.Passe();
    QCOMPARE(s.journal.Texte(), QStringLiteral("Aux8: ON (Z45)\r\n")); // 3 -> 2 fichiers, rien de lancé
    QCOMPARE(Lit(s.config.FichierPassation), QByteArray());
    s.journal.MessageStatus(QStringLiteral("clear"));
    s.cycle.Passe();
    // Le tiroir 3 a été pris par l'essai de CD1.txt : la recherche repart du suivant, le 1 est libre.
    QCOMPARE(s.journal.Texte(), QStringLiteral("envoi le fichier ") + QDir::toNativeSeparators(cd3) + QStringLiteral(" vers 001\r\nsupp fich: ")
                                    + QDir::toNativeSeparators(cd3) + QStringLiteral("\r\n"));

    // Lisible à nouveau : repris 2 s après le dernier essai.
    videPassation();
    cd1Lisible = true;
    s.journal.MessageStatus(QStringLiteral("clear"));
    s.horloge.Avance(1500);
    s.cycle.Passe();
    QCOMPARE(s.journal.Texte(), QStringLiteral("Aux8: ON (Z45)\r\n")); // 2 -> 1 fichier, rien de lancé
    s.horloge.Avance(600);
    s.cycle.Passe();
    QCOMPARE(s.journal.Texte(), QStringLiteral("Aux8: ON (Z45)\r\nenvoi le fichier ") + QDir::toNativeSeparators(cd1) + QStringLiteral(" vers 003\r\nsupp fich: ")
                                    + QDir::toNativeSeparators(cd1) + QStringLiteral("\r\n"));
}

void TestCycleTraitement::affichagesSuccessifs()
{
    Service& s = *m_s;
    const QString a = s.Chemin(QStringLiteral("CDa.txt"));
    const QString b = s.Chemin(QStringLiteral("CDb.txt"));
    Ecrit(a, "ordre: 1\r\nstatus: 2\r\n status: 3\r\n");
    Ecrit(b, "date: 4");
    s.cycle.afficheFichierCdeBrut(a);
    QCOMPARE(s.cycle.TexteDerniereCde(), a + QStringLiteral("\r\nordre: 1\r\n status: 3\r\n"));
    s.cycle.afficheFichierCdeBrut(b);
    QCOMPARE(s.cycle.TexteDerniereCde(), b + QStringLiteral("\r\ndate: 4\r\n"));
    QCOMPARE(s.journal.Texte(), QString());
}

void TestCycleTraitement::commandeEcriteEnDeuxFois()
{
    Service& s = *m_s;
    s.Verts({ 1 });
    const QString cd1 = s.Chemin(QStringLiteral("CD1.txt"));
    const QByteArray debut = Commande1.left(30);
    // Un comptoir écrit sur place, en deux fois, fichier gardé ouvert plus
    // longtemps que la fenêtre de stabilité entre les deux. La veille est posée
    // sur le dossier vide.
    s.cycle.Passe();
    QFile f(cd1);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    QCOMPARE(f.write(debut), debut.size());
    for (int i = 0; i < 3; ++i) {
        s.cycle.Passe();
        s.horloge.Avance(ListesEchange::DelaiStabiliteMs);
    }
    s.cycle.Passe();
    QCOMPARE(Lit(s.config.FichierPassation), QByteArray("<absent>"));
    QCOMPARE(f.write(Commande1.mid(30)), Commande1.size() - 30);
    f.close();
    // Fermé : la passe suivante ne lance rien, celle d'après le délai qui suit
    // la fermeture la lance.
    s.cycle.Passe();
    QCOMPARE(Lit(s.config.FichierPassation), QByteArray("<absent>"));
    s.horloge.Avance(CommandesPretes::DelaiApresFermetureMs);
    s.cycle.Passe();
    QCOMPARE(Lit(s.config.FichierPassation),
             QByteArray("protocol: Fich-Pelorane\r\nposte: 003\r\nordre: 41\r\nP.Recept: 001\r\n"
                        "cip Qt    : 3400930000001        001\r\n"));
    QCOMPARE(s.journal.Texte(), QStringLiteral("Aux8: ON (Z45)\r\nenvoi le fichier ") + QDir::toNativeSeparators(cd1)
                                    + QStringLiteral(" vers 001\r\nsupp fich: ") + QDir::toNativeSeparators(cd1) + QStringLiteral("\r\n"));
}

void TestCycleTraitement::tailleDeCommande_data()
{
    QTest::addColumn<int>("taille");
    QTest::addColumn<bool>("lancee");
    QTest::addColumn<bool>("affichageCoupe");
    QTest::newRow("64 Kio tout juste") << 64 * 1024 << true << false;
    QTest::newRow("64 Kio + 1") << 64 * 1024 + 1 << true << true;
    QTest::newRow("1 Mio tout juste") << 1024 * 1024 << true << true;
    QTest::newRow("1 Mio + 1") << 1024 * 1024 + 1 << false << false;
    QTest::newRow("200 Mo") << 200 * 1024 * 1024 << false << false;
}

void TestCycleTraitement::tailleDeCommande()
{
    QFETCH(int, taille);
    QFETCH(bool, lancee);
    QFETCH(bool, affichageCoupe);
    Service& s = *m_s;
    s.Verts({ 1, 2 });
    const QString cd1 = s.Chemin(QStringLiteral("CD1.txt"));
    const QString cd2 = s.Chemin(QStringLiteral("CD2.txt"));
    // "P.Recept" en tête, puis des lignes de produits jusqu'à la taille voulue.
    QByteArray contenu("P.Recept: 009\r\n");
    const QByteArray ligne("cip Qt    : 3400930000001        001\r\n"); // 38 octets
    contenu.reserve(taille);
    while (contenu.size() + ligne.size() <= taille)
        contenu += ligne;
    contenu += QByteArray(taille - contenu.size(), 'x');
    QCOMPARE(contenu.size(), taille);
    Ecrit(cd1, contenu);
    Ecrit(cd2, Commande2);
    QStringList textes;
    connect(&s.cycle, &CycleTraitement::texteDerniereCdeChange, this, [&](const QString& t) { textes.append(t); });

    s.Observe();
    s.cycle.Passe();
    if (lancee) {
        QCOMPARE(Lit(s.config.FichierPassation), QByteArray("P.Recept: 001\r\n") + contenu.mid(15) + "\r\n");
        QCOMPARE(Lit(cd1), QByteArray("<absent>"));
        QCOMPARE(textes.size(), 1);
        const QString texte = textes.first();
        QVERIFY(texte.startsWith(cd1 + QStringLiteral("\r\nP.Recept: 009\r\ncip Qt")));
        const QString coupure = QStringLiteral("------ affichage coupé : seuls les 65536 premiers octets sont montrés ------\r\n");
        QCOMPARE(texte.endsWith(coupure), affichageCoupe);
        QVERIFY(texte.size() <= cd1.size() + 2 + 65536 + 2 + coupure.size());
        return;
    }
    // Trop grosse : une ligne, elle reste, la suivante part, et plus rien aux passes suivantes.
    const QString ligneJournal = QStringLiteral("Le fichier ") + QDir::toNativeSeparators(cd1) + QStringLiteral(" depasse 1048576 octets, il n'est pas lance\r\n");
    QCOMPARE(s.journal.Texte(), QStringLiteral("Aux8: ON (Z45)\r\n") + ligneJournal);
    s.cycle.Passe();
    QCOMPARE(s.journal.Texte(), QStringLiteral("Aux8: ON (Z45)\r\n") + ligneJournal + QStringLiteral("envoi le fichier ")
                                    + QDir::toNativeSeparators(cd2) + QStringLiteral(" vers 002\r\nsupp fich: ") + QDir::toNativeSeparators(cd2) + QStringLiteral("\r\n"));
    Ecrit(s.config.FichierPassation, QByteArray());
    s.journal.MessageStatus(QStringLiteral("clear"));
    for (int i = 0; i < 5; ++i) {
        s.cycle.Passe();
        s.horloge.Avance(300);
    }
    QCOMPARE(s.journal.Texte(), QStringLiteral("Aux8: ON (Z45)\r\n"));
    QCOMPARE(QFileInfo(cd1).size(), qint64(taille));
    QCOMPARE(Lit(s.config.FichierPassation), QByteArray());
    QVERIFY(textes.isEmpty() || !textes.last().contains(QStringLiteral("cip Qt")) || textes.size() == 1);
}

void TestCycleTraitement::passationDossier()
{
    Service& s = *m_s;
    s.Verts({ 1 });
    QVERIFY(QDir().mkpath(s.config.FichierPassation));
    const QString cd1 = s.Chemin(QStringLiteral("CD1.txt"));
    Ecrit(cd1, Commande1);
    s.Observe();
    for (int i = 0; i < 5; ++i) {
        s.cycle.Passe();
        s.horloge.Avance(300);
    }
    // Pas de faux « encore en attente » : une ligne qui dit ce qui ne va pas, la commande reste.
    QCOMPARE(s.journal.Texte(), QStringLiteral("Aux8: ON (Z45)\r\nfichier de passation inutilisable (dossier, pas un "
                                               "fichier ordinaire) : ")
                                    + QDir::toNativeSeparators(s.config.FichierPassation) + QStringLiteral(" ; aucune commande n'est envoyee\r\n"));
    QCOMPARE(s.cycle.TexteDerniereCde(), QStringLiteral("Fichier de passation inutilisable ...\r\n\r\nil est donc "
                                                        "impossible de lancer le fichier: ")
                                             + QDir::toNativeSeparators(cd1) + QStringLiteral(" vers la gare: 001\r\n"));
    QCOMPARE(Lit(cd1), Commande1);
    QCOMPARE(s.tiroirs.Couleur(1), int(TableauTiroirs::AutoriseCde));
}

void TestCycleTraitement::nomHorsUtf8Lance()
{
#ifndef Q_OS_UNIX
    QSKIP("noms de fichiers en octets propres à Unix");
#else
    Service& s = *m_s;
    s.Verts({ 1 });
    // "CDé.txt" écrit en Windows-1252 par un comptoir sur un partage Linux.
    const QByteArray brut = QFile::encodeName(s.config.DossierEchange) + "CD\xE9.txt";
    const int fd = ::open(brut.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, Commande2.constData(), size_t(Commande2.size())), ssize_t(Commande2.size()));
    ::close(fd);
    const QString montre = s.Chemin(QStringLiteral("CD\u00E9.txt"));

    s.Observe();
    QCOMPARE(s.listes.ListeCD(), QStringList{ QStringLiteral("CD\u00E9.txt") });
    s.cycle.Passe();
    QCOMPARE(s.journal.Texte(), QStringLiteral("nom de fichier hors UTF-8 : ") + s.config.DossierEchange
                                    + QStringLiteral("CD<E9>.txt, lu en Windows-1252 : CD\u00E9.txt\r\n"
                                                     "Aux8: ON (Z45)\r\nenvoi le fichier ")
                                    + montre + QStringLiteral(" vers 001\r\nsupp fich: ") + montre + QStringLiteral("\r\n"));
    QCOMPARE(Lit(s.config.FichierPassation), QByteArray("ordre: 42\r\nP.Recept: 001\r\nprotocol: Fich-Pelorane\r\n"));
    QVERIFY(::access(brut.constData(), F_OK) != 0); // effacé sous son vrai nom
#endif
}

void TestCycleTraitement::passeJamaisReentree()
{
    Service& s = *m_s;
    s.Verts({ 1, 2 });
    Ecrit(s.Chemin(QStringLiteral("CD1.txt")), Commande1);
    Ecrit(s.Chemin(QStringLiteral("CD2.txt")), Commande2);
    // Un événement traité pendant la passe (ici au changement de liste) relance une passe.
    int appels = 0;
    connect(&s.listes, &ListesEchange::listeCDChangee, this, [&] {
        ++appels;
        s.cycle.Passe();
    });
    s.Observe();
    s.cycle.Passe();
    QCOMPARE(appels, 1);
    const QString cd1 = s.Chemin(QStringLiteral("CD1.txt"));
    QCOMPARE(s.journal.Texte(), QStringLiteral("Aux8: ON (Z45)\r\nenvoi le fichier ") + QDir::toNativeSeparators(cd1)
                                    + QStringLiteral(" vers 001\r\nsupp fich: ") + QDir::toNativeSeparators(cd1)
                                    + QStringLiteral("\r\n"));
}

void TestCycleTraitement::compteur()
{
    Service& s = *m_s;
    QCOMPARE(s.cycle.Compteur(), QStringLiteral("1"));
    QStringList vus;
    connect(&s.cycle, &CycleTraitement::compteurChange, this, [&](const QString& c) {
        vus.append(c);
        if (vus.size() == 1001)
            s.cycle.Arrete();
    });
    s.cycle.MetPeriode(0);
    s.cycle.Demarre();
    QTRY_VERIFY_WITH_TIMEOUT(vus.size() >= 1001, 30000);
    QTest::qWait(20);

    QCOMPARE(vus.size(), 1001);
    QCOMPARE(vus.first(), QStringLiteral("2"));
    QCOMPARE(vus.at(997), QStringLiteral("999"));
    QCOMPARE(vus.at(998), QStringLiteral("0"));
    QCOMPARE(vus.at(999), QStringLiteral("1"));
    QCOMPARE(vus.last(), QStringLiteral("2"));
    QVERIFY(!vus.contains(QStringLiteral("1000")));

    QStringList textes;
    connect(&s.cycle, &CycleTraitement::texteDerniereCdeChange, this,
            [&](const QString& t) { textes.append(t); });
    s.cycle.Efface();
    QCOMPARE(s.cycle.Compteur(), QStringLiteral("1"));
    QCOMPARE(vus.last(), QStringLiteral("1"));
    // Démarrage : déjà vides, les valeurs sont publiées quand même pour la fenêtre.
    s.cycle.Efface();
    QCOMPARE(vus.size(), 1003);
    QCOMPARE(vus.last(), QStringLiteral("1"));
    QCOMPARE(textes, (QStringList{ QString(), QString() }));
    QCOMPARE(s.cycle.TexteDerniereCde(), QString());
}

void TestCycleTraitement::boucleDetruitLesObjetsDifferes()
{
    // Les passes rendent la main à la boucle d'événements : les objets détruits par
    // deleteLater (une fenêtre Liste fermée) le sont pendant qu'elles tournent, et deux
    // passes commencent au moins PeriodeMs l'une après l'autre.
    Service& s = *m_s;
    QPointer<QObject> differe = new QObject;
    QList<qint64> debuts;
    QElapsedTimer chrono;
    chrono.start();
    bool detruitPendantLaBoucle = false;
    connect(&s.cycle, &CycleTraitement::compteurChange, this, [&] {
        debuts.append(chrono.elapsed());
        if (debuts.size() == 1)
            differe->deleteLater();
        else if (debuts.size() == 4) {
            detruitPendantLaBoucle = differe.isNull();
            s.cycle.Arrete();
        }
    });
    s.cycle.Demarre();
    QTRY_VERIFY_WITH_TIMEOUT(debuts.size() == 4, 5000);
    QVERIFY(detruitPendantLaBoucle);
    for (qsizetype i = 1; i < debuts.size(); ++i)
        QVERIFY2(debuts[i] - debuts[i - 1] >= CycleTraitement::PeriodeMs - 5, qPrintable(QString::number(debuts[i] - debuts[i - 1])));
    QTest::qWait(CycleTraitement::PeriodeMs + 100);
    QCOMPARE(debuts.size(), 4); // arrêté : plus de passe
}

void TestCycleTraitement::commandePreteEntreDeuxPasses()
{
#ifndef Q_OS_LINUX
    QSKIP("sans veille du dossier, une commande attend la passe suivante");
#endif
    // Passes espacées de 5 s : une commande renommée dans le dossier part sans attendre la
    // passe suivante, vers un tiroir vu libre par la passe ; une seconde attend la suivante
    // (un seul lancement tenté par passe).
    Service& s = *m_s;
    s.Verts({ 1, 2 });
    s.cycle.MetPeriode(5000);
    QSignalSpy passes(&s.cycle, &CycleTraitement::passeTerminee);
    s.cycle.Demarre();
    QCOMPARE(passes.size(), 1);
    QTest::qWait(50);
    const QString ailleurs = m_racine->filePath(QStringLiteral("CD%1.txt"));
    for (int i = 1; i <= 2; ++i) {
        Ecrit(ailleurs.arg(i), Commande1);
        QVERIFY(QFile::rename(ailleurs.arg(i), s.Chemin(QStringLiteral("CD%1.txt").arg(i))));
    }
    QElapsedTimer chrono;
    chrono.start();
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(s.config.FichierPassation).size() > 1, 2000);
    QVERIFY2(chrono.elapsed() < 1000, qPrintable(QString::number(chrono.elapsed())));
    QTest::qWait(CommandesPretes::DelaiApresFermetureMs + 200); // le nouvel essai après les signes
    QCOMPARE(passes.size(), 1);
    QVERIFY(!QFileInfo::exists(s.Chemin(QStringLiteral("CD1.txt"))));
    QVERIFY(QFileInfo::exists(s.Chemin(QStringLiteral("CD2.txt"))));
    QVERIFY(!s.journal.Texte().contains(QStringLiteral("Impossible d'envoyer")));
    s.cycle.Arrete();
}

void TestCycleTraitement::tempsDepasse_data()
{
    QTest::addColumn<int>("couleur");
    QTest::addColumn<qint64>("tempsMax");
    QTest::addColumn<qint64>("attente");
    QTest::addColumn<bool>("libere");
    QTest::newRow("jaune, 30 s tout juste") << int(TableauTiroirs::CdeEnCours) << qint64(30000)
                                            << qint64(30000) << false;
    QTest::newRow("jaune, au-dela de 30 s") << int(TableauTiroirs::CdeEnCours) << qint64(30000)
                                            << qint64(30001) << true;
    QTest::newRow("vert, au-dela de 30 s") << int(TableauTiroirs::AutoriseCde) << qint64(30000)
                                           << qint64(30001) << true;
    QTest::newRow("blanc horodate") << int(TableauTiroirs::NonInitialise) << qint64(30000)
                                    << qint64(30001) << true;
    QTest::newRow("temps 0, tic suivant") << int(TableauTiroirs::CdeEnCours) << qint64(0)
                                          << qint64(500) << true;
    QTest::newRow("temps 0, meme instant") << int(TableauTiroirs::CdeEnCours) << qint64(0)
                                           << qint64(0) << false;
    QTest::newRow("rouge jamais libere") << int(TableauTiroirs::PasEnAttente) << qint64(30000)
                                         << qint64(1000000) << false;
}

void TestCycleTraitement::tempsDepasse()
{
    QFETCH(int, couleur);
    QFETCH(qint64, tempsMax);
    QFETCH(qint64, attente);
    QFETCH(bool, libere);
    Service& s = *m_s;
    const qint64 t = s.horloge.get_exact_milli_second();
    s.tiroirs.MetCouleur(3, couleur);
    s.tiroirs.MetHeureTiroirLibre(3, t);
    s.tiroirs.MetCouleur(1, TableauTiroirs::CdeEnCours); // sans horodatage : jamais libéré
    s.horloge.Avance(attente);

    s.cycle.ControleTempsTiroirs(tempsMax);
    if (libere) {
        QCOMPARE(s.journal.Texte(),
                 QStringLiteral("\r\nlibere le tiroir 3 car le temps est depasse\r\nlibere tiroir: 3   \r\n"));
        QCOMPARE(s.tiroirs.Couleur(3), int(TableauTiroirs::PasEnAttente));
        QCOMPARE(s.tiroirs.HeureTiroirLibre(3), qint64(0));
    } else {
        QCOMPARE(s.journal.Texte(), QString());
        QCOMPARE(s.tiroirs.Couleur(3), couleur);
        QCOMPARE(s.tiroirs.HeureTiroirLibre(3), t);
    }
    QCOMPARE(s.tiroirs.Couleur(1), int(TableauTiroirs::CdeEnCours));

    // Tic suivant : un tiroir libéré ne l'est pas deux fois.
    s.journal.MessageStatus(QStringLiteral("clear"));
    s.horloge.Avance(500);
    s.cycle.ControleTempsTiroirs(tempsMax);
    if (libere)
        QCOMPARE(s.journal.Texte(), QString());
}

QTEST_GUILESS_MAIN(TestCycleTraitement)
#include "TestCycleTraitement.moc"
