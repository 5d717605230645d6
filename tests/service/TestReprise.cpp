#include "service/CycleTraitement.h"
#include "base/JournalStatut.h"
#include "commun/DialoguesScriptes.h"
#include "commun/FichiersEssai.h"
#include "commun/HorlogeTest.h"
#include "config/Configuration.h"
#include "drawers/LigneCartes.h"
#include "drawers/TableauTiroirs.h"
#include "orders/FichierCommande.h"
#include "orders/HistoriqueRemises.h"
#include "orders/ListesEchange.h"
#include "orders/Passation.h"
#include "orders/LecteurHistorique.h"
#include "orders/RegistreRemises.h"
#include "service/PolitiqueReprise.h"

#include <QDateTime>
#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// Reprise après un arrêt : le registre durable des remises, un service arrêté à
// un point choisi de la remise puis un nouveau service sur la même racine et le
// même registre. Rien n'est remis deux fois, aucun tiroir en attente de boîtes ne
// reprend une commande, et l'historique dit ce qui s'est passé.
namespace {

const QByteArray Commande1("protocol: CDE\r\nordre:    41\r\nP.Recept: 009\r\ncip Qt    : 3400930000001        001\r\n");
const QByteArray Commande2("ordre:    42\r\nP.Recept: 001\r\nprotocol: X\r\n");

// Heure murale des tests : 2026-03-02 08:00:00 UTC, puis avancée à la main.
constexpr qint64 MuralDepart = 1772438400000;

// Un service en mode simulation (tiroirs verts par un clic) avec son registre ;
// le détruire, c'est l'arrêt brutal : rien n'est fermé proprement avant.
struct Service
{
    Service(const QString& racine, const QString& registre, qint64* mural, qint64* monotone)
    {
        config.NbTiroirs = 4;
        config.LectReelleEtatTiroirs = QStringLiteral("N");
        config.DossierEchange = racine + QStringLiteral("/Echanges/");
        config.FichierPassation = racine + QStringLiteral("/zCdeMnl.txt");
        QDir().mkpath(config.DossierEchange);
        registreRemises.MetHorlogeMurale([mural] { return *mural; });
        registreRemises.MetHorlogeMonotone([monotone] { return *monotone; });
        registreRemises.Ouvre(registre);
        cycle.MetRegistre(&registreRemises);
    }
    // Le démarrage : règlement, listes, libération de tous les tiroirs, reprise.
    void Demarre()
    {
        cycle.RegleRemisesInachevees(config.DossierEchange, config.FichierPassation);
        listes.MAJlisteFichierCD();
        tiroirs.OuvreTiroir(0);
        cycle.ReprendTiroirsEnVol();
    }
    // Quelques passes espacées, comme le cycle (300 ms entre deux débuts) : assez
    // pour qu'une commande trouvée au démarrage soit stable et parte après une autre.
    // hote : l'hôte prend aussitôt chaque commande remise (il vide le fichier).
    void Passes(int nombre = 12)
    {
        for (int i = 0; i < nombre; ++i) {
            cycle.Passe();
            horloge.Avance(300);
            if (hote && QFileInfo(config.FichierPassation).size() > 1)
                Ecrit(config.FichierPassation, QByteArray());
        }
    }
    QString Chemin(const QString& nom) const { return config.DossierEchange + nom; }
    QStringList Lignes() const { return journal.Texte().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts); }

    bool hote = true;
    Configuration config;
    JournalStatut journal;
    HorlogeTest horloge;
    DialoguesScriptes dialogues;
    LigneCartes ligne{ journal, dialogues, config };
    ListesEchange listes{ journal, horloge, config, {} };
    TableauTiroirs tiroirs{ journal, horloge, ligne, config };
    Passation passation{ journal, config };
    RegistreRemises registreRemises{ journal };
    CycleTraitement cycle{ journal, horloge, listes, tiroirs, passation };
};

int Compte(const QStringList& lignes, const QString& debut)
{
    int n = 0;
    for (const QString& l : lignes)
        n += l.startsWith(debut) ? 1 : 0;
    return n;
}

} // namespace

class TestReprise : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void arretPendantLaRemise_data();
    void arretPendantLaRemise();
    void tiroirEnVolTenuToutLeTemps_data();
    void tiroirEnVolTenuToutLeTemps();
    void historiqueDeDeuxCommandes();
    void registreEnPanneNArretePasLesCommandes();
    void registreVerrouilleParUnAutreProgramme();
    void commandeSansOrdre();
    void nouvelEssaiSelonLHorlogeMonotone();
    void purgeUneFoisParJour();
    void registreEffaceOuRemplaceEnMarche_data();
    void registreEffaceOuRemplaceEnMarche();
    void registreAbime_data();
    void registreAbime();

private:
    std::unique_ptr<Service> NouveauService()
    {
        return std::make_unique<Service>(m_dossier->path(), m_dossier->filePath(QStringLiteral("registre.db")), &m_mural,
                                         &m_monotone);
    }
    // Le temps passe : les deux horloges avancent ensemble.
    void Avance(qint64 ms)
    {
        m_mural += ms;
        m_monotone += ms;
    }
    std::unique_ptr<QTemporaryDir> m_dossier;
    qint64 m_mural = MuralDepart;
    qint64 m_monotone = 5000;
};

void TestReprise::init()
{
    m_dossier = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dossier->isValid());
    m_mural = MuralDepart;
}

void TestReprise::arretPendantLaRemise_data()
{
    QTest::addColumn<QString>("arret");         // où le premier service s'arrête
    QTest::addColumn<bool>("effacable");        // le second service peut-il effacer CD1.txt ?
    QTest::addColumn<QString>("ligneAttendue"); // %1 : chemin de CD1.txt (du fichier de passation si tronquee)
    QTest::addColumn<bool>("relancee");         // CD1.txt repart-il au second service ?

    const QString remise = QStringLiteral("commande CD1.txt (ordre 41) deja remise au tiroir 2 avant l'arret : "
                                          "fichier %1 efface sans nouvelle remise");
    QTest::newRow("effacement bloque puis arret") << "effacement" << true << remise << false;
    QTest::newRow("copie entiere, remise non notee") << "ecriture" << true << remise << false;
    QTest::newRow("encore ineffacable au redemarrage")
        << "effacement" << false
        << "commande CD1.txt (ordre 41) deja remise au tiroir 2 avant l'arret ; impossible d'effacer %1 : elle ne "
           "sera pas relancee"
        << false;
    QTest::newRow("arret entre la ligne et l'ecriture")
        << "ligne" << true
        << "commande CD1.txt (ordre 41) mise de cote : le service s'est arrete pendant sa remise au tiroir 2, on ne "
           "peut pas savoir si le robot l'a prise. Elle n'est pas relancee : verifiez au robot, puis effacez %1 ou "
           "deposez-la de nouveau sous un autre nom pour la relancer"
        << false;
    QTest::newRow("meme nom, autre contenu : nouvelle commande") << "autre-contenu" << true << QString() << true;
    // Arrêt au milieu de l'écriture : le début de la copie est resté, l'hôte ne l'a pas pris.
    QTest::newRow("copie tronquee par l'arret")
        << "tronquee" << true
        << "commande CD1.txt (ordre 41) : copie incomplete (20 octets sur 92) laissee par l'arret dans %1, videe ; "
           "la commande sera relancee"
        << true;
}

void TestReprise::arretPendantLaRemise()
{
    QFETCH(QString, arret);
    QFETCH(bool, effacable);
    QFETCH(QString, ligneAttendue);
    QFETCH(bool, relancee);

    auto premier = NouveauService();
    const QString cd1 = premier->Chemin(QStringLiteral("CD1.txt"));
    Ecrit(cd1, Commande1);
    premier->Demarre();
    premier->tiroirs.Lbl_Tiroir_Click(2);
    const QByteArray copie = FichierCommande::CopiePassation(Commande1, QStringLiteral("002"));
    if (arret == QLatin1String("effacement") || arret == QLatin1String("autre-contenu")) {
        // Le fichier ne s'efface pas, puis le processus est tué.
        premier->cycle.MetSuppression([](const QString&) { return false; });
        premier->hote = false;
        premier->Passes();
        QCOMPARE(Lit(premier->config.FichierPassation), copie);
    } else {
        // Arrêt juste après la ligne « remise commencée », la copie écrite ou non.
        QVERIFY(premier->registreRemises.DebutRemise(QStringLiteral("CD1.txt"), Commande1, QStringLiteral("002")) > 0);
        if (arret == QLatin1String("ecriture"))
            Ecrit(premier->config.FichierPassation, copie);
        if (arret == QLatin1String("tronquee"))
            Ecrit(premier->config.FichierPassation, copie.left(20));
    }
    premier.reset();

    // L'hôte a pris ce qu'il y avait dans le fichier de passation (la copie
    // entière, elle, attend encore au redémarrage).
    if (arret != QLatin1String("ecriture") && arret != QLatin1String("tronquee"))
        Ecrit(m_dossier->filePath(QStringLiteral("zCdeMnl.txt")), QByteArray());
    if (arret == QLatin1String("autre-contenu"))
        Ecrit(cd1, Commande2);
    Ecrit(m_dossier->filePath(QStringLiteral("Echanges/CD2.txt")), Commande2);

    m_mural += 5000;
    auto second = NouveauService();
    if (!effacable)
        second->cycle.Reprise()->MetSuppression([](const QString&) { return false; });
    second->Demarre();
    QStringList attendues;
    const bool tronquee = arret == QLatin1String("tronquee");
    if (!ligneAttendue.isEmpty())
        attendues << ligneAttendue.arg(QDir::toNativeSeparators(tronquee ? second->config.FichierPassation : cd1));
    for (int i = 1; i <= 4; ++i)
        attendues << QStringLiteral("libere tiroir: %1   ").arg(i);
    // Le tiroir 2 attend peut-être encore les boîtes de CD1.txt : il reste en cours
    // (sauf si rien n'est parti).
    if (!tronquee)
        attendues << QStringLiteral("tiroir 2 : commande CD1.txt (ordre 41) remise avant l'arret il y a 5 s, ses boites "
                                    "sont attendues : le tiroir reste en cours");
    QCOMPARE(second->Lignes(), attendues);
    QCOMPARE(second->tiroirs.Couleur(2), int(tronquee ? TableauTiroirs::PasEnAttente : TableauTiroirs::CdeEnCours));
    if (tronquee)
        QCOMPARE(Lit(second->config.FichierPassation), QByteArray());
    QCOMPARE(QFileInfo::exists(cd1), !effacable || arret == QLatin1String("ligne") || relancee);
    if (arret == QLatin1String("ligne"))
        QCOMPARE(second->cycle.TexteDerniereCde(), ligneAttendue.arg(QDir::toNativeSeparators(cd1)) + QStringLiteral("\r\n"));

    // Les tiroirs sont libres : seule une commande jamais remise part.
    Ecrit(second->config.FichierPassation, QByteArray());
    second->tiroirs.OuvreTiroir(0);
    second->tiroirs.Lbl_Tiroir_Click(3);
    second->tiroirs.Lbl_Tiroir_Click(4);
    second->Passes();
    const QStringList lignes = second->Lignes();
    QCOMPARE(Compte(lignes, QStringLiteral("envoi le fichier ") + QDir::toNativeSeparators(cd1)), relancee ? 1 : 0);
    QCOMPARE(Compte(lignes, QStringLiteral("envoi le fichier ") + QDir::toNativeSeparators(second->Chemin(QStringLiteral("CD2.txt")))), 1);
}

void TestReprise::tiroirEnVolTenuToutLeTemps_data()
{
    QTest::addColumn<qint64>("pasMural"); // heure murale entre la remise et le redémarrage
    QTest::addColumn<int>("ecouleAffiche");
    QTest::newRow("arret de 10 s") << qint64(10000) << 10;
    QTest::newRow("heure avancee d'une heure pendant l'arret") << qint64(3600000) << 3600;
    QTest::newRow("heure reculee d'une heure pendant l'arret") << qint64(-3600000) << 0;
}

void TestReprise::tiroirEnVolTenuToutLeTemps()
{
    // Un tiroir repris au démarrage attend tout TempsMaxAttenteProduit compté depuis
    // le redémarrage, ni plus ni moins, quoi que dise l'heure murale.
    QFETCH(qint64, pasMural);
    QFETCH(int, ecouleAffiche);
    auto premier = NouveauService();
    Ecrit(premier->Chemin(QStringLiteral("CD1.txt")), Commande1);
    premier->Demarre();
    premier->tiroirs.Lbl_Tiroir_Click(2);
    premier->Passes(); // CD1.txt au tiroir 2
    QCOMPARE(premier->tiroirs.Couleur(2), int(TableauTiroirs::CdeEnCours));
    premier.reset();

    m_mural += pasMural;
    auto second = NouveauService();
    second->horloge.Regle(777000);
    second->Demarre();
    QCOMPARE(second->Lignes().mid(4),
             QStringList{ QStringLiteral("tiroir 2 : commande CD1.txt (ordre 41) remise avant l'arret il y a %1 s, "
                                         "ses boites sont attendues : le tiroir reste en cours")
                              .arg(ecouleAffiche) });
    QCOMPARE(second->tiroirs.HeureTiroirLibre(2), qint64(777000));
    second->horloge.Regle(777000 + 30000);
    second->cycle.ControleTempsTiroirs(second->config.TempsMaxAttenteMs);
    QCOMPARE(second->tiroirs.Couleur(2), int(TableauTiroirs::CdeEnCours));
    second->horloge.Regle(777000 + 30001);
    second->cycle.ControleTempsTiroirs(second->config.TempsMaxAttenteMs);
    QCOMPARE(second->tiroirs.Couleur(2), int(TableauTiroirs::PasEnAttente));

    QList<LecteurHistorique::Ligne> historique;
    QString erreur;
    QVERIFY2(LecteurHistorique::Lit(m_dossier->filePath(QStringLiteral("registre.db")), 0, &historique, &erreur),
             qPrintable(erreur));
    QCOMPARE(historique.size(), 1);
    QCOMPARE(historique[0].liberation, RegistreRemises::Liberation::Temps);
}

void TestReprise::historiqueDeDeuxCommandes()
{
    auto s = NouveauService();
    Ecrit(s->Chemin(QStringLiteral("CD1.txt")), Commande1);
    s->listes.MAJlisteFichierCD();
    m_mural += 1500;
    Ecrit(s->Chemin(QStringLiteral("CD2;b.txt")), Commande2);
    s->Demarre();
    s->Passes(); // aucun tiroir libre : les deux commandes deviennent prêtes
    s->tiroirs.Lbl_Tiroir_Click(1);
    s->Passes(); // CD1.txt au tiroir 1
    m_mural += 2000;
    s->tiroirs.OuvreTiroir(1, TableauTiroirs::CauseLiberation::Datagramme);
    s->tiroirs.Lbl_Tiroir_Click(4);
    s->Passes(); // CD2;b.txt au tiroir 4
    s->horloge.Avance(30001);
    m_mural += 31000;
    s->cycle.ControleTempsTiroirs(s->config.TempsMaxAttenteMs);

    QList<LecteurHistorique::Ligne> historique;
    QString erreur;
    QVERIFY(LecteurHistorique::Lit(m_dossier->filePath(QStringLiteral("registre.db")), 0, &historique, &erreur));
    auto h = [](qint64 decalage) { return HistoriqueRemises::Heure(MuralDepart + decalage); };
    QCOMPARE(QString::fromUtf8(HistoriqueRemises::Csv(historique)).split(QLatin1Char('\n')),
             (QStringList{ QStringLiteral("fichier;ordre;tiroir;vue_le;remise_le;effacee_le;liberee_le;liberation"),
                           QStringLiteral("CD1.txt;41;1;%1;%2;%2;%3;datagramme").arg(h(0), h(1500), h(3500)),
                           QStringLiteral("\"CD2;b.txt\";42;4;%1;%2;%2;%3;temps").arg(h(1500), h(3500), h(34500)),
                           QString() }));
    // Depuis un jour donné : les remises d'avant n'y sont pas.
    historique.clear();
    QVERIFY(LecteurHistorique::Lit(m_dossier->filePath(QStringLiteral("registre.db")), MuralDepart + 3000,
                                           &historique, &erreur));
    QCOMPARE(historique.size(), 1);
    QCOMPARE(historique[0].fichier, QStringLiteral("CD2;b.txt"));
    // Sans registre : une erreur, pas un historique vide.
    QVERIFY(!LecteurHistorique::Lit(m_dossier->filePath(QStringLiteral("absent.db")), 0, &historique, &erreur));
    QCOMPARE(erreur, QStringLiteral("registre introuvable"));
}

void TestReprise::registreEnPanneNArretePasLesCommandes()
{
    // Le registre vit dans un dossier qui n'existe pas encore.
    const QString dossierRegistre = m_dossier->filePath(QStringLiteral("plus-tard"));
    Service s(m_dossier->path(), dossierRegistre + QStringLiteral("/registre.db"), &m_mural, &m_monotone);
    QCOMPARE(s.Lignes(), QStringList{ QStringLiteral("registre des remises indisponible (") + QDir::toNativeSeparators(dossierRegistre + QStringLiteral("/registre.db"))
                                      + QStringLiteral(" : dossier absent) : les commandes continuent, mais "
                                                       "après un arrêt brutal une commande pourrait être remise deux "
                                                       "fois ; nouvel essai à la prochaine remise") });
    Ecrit(s.Chemin(QStringLiteral("CD1.txt")), Commande1);
    Ecrit(s.Chemin(QStringLiteral("CD2.txt")), Commande2);
    s.Demarre();
    s.journal.MessageStatus(QStringLiteral("clear"));
    s.tiroirs.Lbl_Tiroir_Click(1);
    s.Passes();
    // Réessayé à cette remise, toujours absent : pas de seconde ligne.
    QCOMPARE(Compte(s.Lignes(), QStringLiteral("envoi le fichier ")), 1);
    QCOMPARE(s.Lignes().filter(QStringLiteral("registre")), QStringList());

    // Le dossier revient : la remise suivante est notée, sans attendre une minute.
    QVERIFY(QDir().mkpath(dossierRegistre));
    Avance(1000);
    Ecrit(s.config.FichierPassation, QByteArray());
    s.tiroirs.Lbl_Tiroir_Click(2);
    s.Passes();
    QCOMPARE(s.Lignes().filter(QStringLiteral("registre")),
             QStringList{ QStringLiteral("registre des remises de nouveau disponible: ")
                          + QDir::toNativeSeparators(dossierRegistre + QStringLiteral("/registre.db")) });
    Ecrit(s.Chemin(QStringLiteral("CD3.txt")), Commande1);
    Ecrit(s.config.FichierPassation, QByteArray());
    s.tiroirs.Lbl_Tiroir_Click(3);
    s.Passes();
    QCOMPARE(Compte(s.Lignes(), QStringLiteral("envoi le fichier ")), 3);
    QList<LecteurHistorique::Ligne> historique;
    QString erreur;
    QVERIFY(LecteurHistorique::Lit(dossierRegistre + QStringLiteral("/registre.db"), 0, &historique, &erreur));
    QCOMPARE(historique.size(), 2);
    QCOMPARE(historique[0].fichier, QStringLiteral("CD2.txt"));
    QCOMPARE(historique[1].fichier, QStringLiteral("CD3.txt"));
}

void TestReprise::registreVerrouilleParUnAutreProgramme()
{
    const QString chemin = m_dossier->filePath(QStringLiteral("registre.db"));
    Service s(m_dossier->path(), chemin, &m_mural, &m_monotone);
    Ecrit(s.Chemin(QStringLiteral("CD1.txt")), Commande1);
    Ecrit(s.Chemin(QStringLiteral("CD2.txt")), Commande2);
    s.Demarre();
    s.journal.MessageStatus(QStringLiteral("clear"));
    {
        // Un autre programme tient la base en écriture.
        QSqlDatabase autre = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("autre"));
        autre.setDatabaseName(chemin);
        QVERIFY(autre.open());
        QSqlQuery verrou(autre);
        QVERIFY(verrou.exec(QStringLiteral("BEGIN EXCLUSIVE")));
        s.tiroirs.Lbl_Tiroir_Click(1);
        s.Passes();
        const QStringList lignes = s.Lignes();
        QCOMPARE(Compte(lignes, QStringLiteral("envoi le fichier ")), 1);
        QCOMPARE(Compte(lignes, QStringLiteral("registre des remises indisponible (") + QDir::toNativeSeparators(chemin)
                                    + QStringLiteral(" : database is locked")),
                 1);
        QVERIFY(verrou.exec(QStringLiteral("ROLLBACK")));
        autre.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("autre"));
    Avance(60000);
    s.tiroirs.Lbl_Tiroir_Click(2);
    s.Passes();
    QCOMPARE(Compte(s.Lignes(), QStringLiteral("envoi le fichier ")), 2);
    QCOMPARE(Compte(s.Lignes(), QStringLiteral("registre des remises de nouveau disponible: ") + QDir::toNativeSeparators(chemin)), 1);
    QList<LecteurHistorique::Ligne> historique;
    QString erreur;
    QVERIFY(LecteurHistorique::Lit(chemin, 0, &historique, &erreur));
    QCOMPARE(historique.size(), 1);
    QCOMPARE(historique[0].fichier, QStringLiteral("CD2.txt"));
}

void TestReprise::commandeSansOrdre()
{
    // Une commande sans ligne "ordre" est légale : sa remise est notée, ordre vide.
    auto s = NouveauService();
    Ecrit(s->Chemin(QStringLiteral("CD1.txt")), "P.Recept: 000\r\ncip Qt    : 3400930000001        001\r\n");
    s->Demarre();
    s->tiroirs.Lbl_Tiroir_Click(1);
    s->Passes();
    QCOMPARE(s->Lignes().filter(QStringLiteral("registre")), QStringList());
    QList<LecteurHistorique::Ligne> historique;
    QString erreur;
    QVERIFY(LecteurHistorique::Lit(m_dossier->filePath(QStringLiteral("registre.db")), 0, &historique, &erreur));
    QCOMPARE(historique.size(), 1);
    QCOMPARE(historique[0].fichier, QStringLiteral("CD1.txt"));
    QCOMPARE(historique[0].ordre, QString());
    QCOMPARE(historique[0].etat, QStringLiteral("effacee"));
}

void TestReprise::nouvelEssaiSelonLHorlogeMonotone()
{
    // Un registre en panne est réessayé à la remise suivante, quelle que soit
    // l'heure murale (reculée d'une heure) et sans attendre sur l'horloge monotone.
    const QString dossierRegistre = m_dossier->filePath(QStringLiteral("plus-tard"));
    Service s(m_dossier->path(), dossierRegistre + QStringLiteral("/registre.db"), &m_mural, &m_monotone);
    Ecrit(s.Chemin(QStringLiteral("CD1.txt")), Commande1);
    s.Demarre();
    QVERIFY(QDir().mkpath(dossierRegistre));
    m_mural -= 3600000;
    s.tiroirs.Lbl_Tiroir_Click(1);
    s.Passes();
    QCOMPARE(Compte(s.Lignes(), QStringLiteral("registre des remises de nouveau disponible: ")), 1);
}

void TestReprise::purgeUneFoisParJour()
{
    // Un service qui ne redémarre jamais retire aussi, une fois par jour, les lignes
    // closes de plus de 90 jours ; une ligne dont le tiroir attend encore reste.
    auto s = NouveauService();
    const qint64 ancien = MuralDepart - qint64(91) * 24 * 3600 * 1000;
    {
        QSqlDatabase base = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("ajout"));
        base.setDatabaseName(m_dossier->filePath(QStringLiteral("registre.db")));
        QVERIFY(base.open());
        QSqlQuery q(base);
        QVERIFY(q.exec(QStringLiteral("INSERT INTO remises (fichier, taille, sha256, sha256_copie, tiroir, etat, debut_le,"
                                      " liberee_le) VALUES ('CLOSE.txt', 1, '', '', 1, 'effacee', %1, %1),"
                                      " ('HORS.txt', 1, '', '', 9, 'effacee', %1, NULL),"
                                      " ('OUVERTE.txt', 1, '', '', 1, 'remise', %1, NULL)")
                           .arg(ancien)));
        base.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("ajout"));
    const auto fichiers = [&] {
        QList<LecteurHistorique::Ligne> historique;
        QString erreur;
        LecteurHistorique::Lit(m_dossier->filePath(QStringLiteral("registre.db")), 0, &historique, &erreur);
        QStringList noms;
        for (const auto& l : std::as_const(historique))
            noms << l.fichier;
        return noms;
    };
    s->Demarre();
    Ecrit(s->Chemin(QStringLiteral("CD1.txt")), Commande1);
    s->tiroirs.Lbl_Tiroir_Click(3);
    s->Passes();
    // Le tiroir 9 n'existe pas : sa ligne est close au démarrage, puis purgée.
    QCOMPARE(fichiers(), (QStringList{ QStringLiteral("CLOSE.txt"), QStringLiteral("HORS.txt"), QStringLiteral("OUVERTE.txt"),
                                       QStringLiteral("CD1.txt") }));
    Avance(qint64(24) * 3600 * 1000);
    Ecrit(s->Chemin(QStringLiteral("CD2.txt")), Commande2);
    s->tiroirs.Lbl_Tiroir_Click(4);
    s->Passes();
    QCOMPARE(fichiers(), (QStringList{ QStringLiteral("OUVERTE.txt"), QStringLiteral("CD1.txt"), QStringLiteral("CD2.txt") }));
}

void TestReprise::registreEffaceOuRemplaceEnMarche_data()
{
    QTest::addColumn<bool>("dossier"); // un dossier prend la place du registre
    QTest::newRow("efface") << false;
    QTest::newRow("remplace par un dossier") << true;
}

void TestReprise::registreEffaceOuRemplaceEnMarche()
{
#ifdef Q_OS_WIN
    // Windows n'efface pas un fichier qu'un programme tient ouvert : le registre ouvert par le
    // service ne peut pas disparaître sous lui.
    QSKIP("un fichier ouvert ne s'efface pas sous Windows");
#endif
    QFETCH(bool, dossier);
    const QString chemin = m_dossier->filePath(QStringLiteral("registre.db"));
    auto s = NouveauService();
    Ecrit(s->Chemin(QStringLiteral("CD1.txt")), Commande1);
    s->Demarre();
    s->tiroirs.Lbl_Tiroir_Click(1);
    s->Passes();
    QVERIFY(QFile::remove(chemin));
    if (dossier)
        QVERIFY(QDir().mkdir(chemin));
    Ecrit(s->Chemin(QStringLiteral("CD2.txt")), Commande2);
    s->tiroirs.Lbl_Tiroir_Click(2);
    s->Passes();
    const QStringList lignes = s->Lignes();
    QCOMPARE(Compte(lignes, QStringLiteral("envoi le fichier ")), 2);
    QCOMPARE(lignes.filter(QStringLiteral("registre des remises efface")),
             QStringList{ QStringLiteral("registre des remises efface ou remplace pendant la marche (%1) : un nouveau "
                                         "registre est cree")
                              .arg(QDir::toNativeSeparators(chemin)) });
    QCOMPARE(Compte(lignes, QStringLiteral("registre des remises indisponible (") + QDir::toNativeSeparators(chemin)), dossier ? 1 : 0);
    if (dossier)
        return;
    QList<LecteurHistorique::Ligne> historique;
    QString erreur;
    QVERIFY(LecteurHistorique::Lit(chemin, 0, &historique, &erreur));
    QCOMPARE(historique.size(), 1);
    QCOMPARE(historique[0].fichier, QStringLiteral("CD2.txt"));
}

void TestReprise::registreAbime_data()
{
    QTest::addColumn<QByteArray>("octets");
    QTest::addColumn<QString>("raison");
    QTest::newRow("pas une base") << QByteArray(8192, 'x') << QStringLiteral("file is not a database");
    // Une vraie base dont la page de la table est écrasée (octets faits par le test).
    QTest::newRow("base abimee") << QByteArray() << QStringLiteral("database disk image is malformed");
}

void TestReprise::registreAbime()
{
    // Au démarrage, un registre abîmé est mis de côté sous un nom daté et un neuf le
    // remplace ; l'historique d'un fichier abîmé dit pourquoi il ne se lit pas.
    QFETCH(QByteArray, octets);
    QFETCH(QString, raison);
    const QString chemin = m_dossier->filePath(QStringLiteral("registre.db"));
    if (octets.isEmpty()) {
        NouveauService().reset();
        QFile base(chemin);
        QVERIFY(base.open(QIODevice::ReadWrite) && base.size() >= 8192 && base.seek(4096));
        QCOMPARE(base.write(QByteArray(4096, '\xee')), qint64(4096));
        base.close();
        octets = Lit(chemin);
    } else {
        Ecrit(chemin, octets);
    }
    QList<LecteurHistorique::Ligne> historique;
    QString erreur;
    QVERIFY(!LecteurHistorique::Lit(chemin, 0, &historique, &erreur));
    QCOMPARE(erreur, QStringLiteral("fichier abîmé ou qui n'est pas un registre des remises (") + raison
                         + QStringLiteral(")"));

    auto s = NouveauService();
    const QString aPart = chemin + QStringLiteral(".abime-")
        + QDateTime::fromMSecsSinceEpoch(MuralDepart).toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QCOMPARE(s->Lignes(), QStringList{ QStringLiteral("registre des remises illisible (%1 : %2) : mis de cote sous %3 ; "
                                                      "un nouveau registre commence")
                                           .arg(QDir::toNativeSeparators(chemin), raison, QDir::toNativeSeparators(aPart)) });
    QCOMPARE(Lit(aPart), octets);
    QVERIFY(s->registreRemises.Disponible());
    QVERIFY(LecteurHistorique::Lit(chemin, 0, &historique, &erreur));
}

QTEST_GUILESS_MAIN(TestReprise)
#include "TestReprise.moc"
