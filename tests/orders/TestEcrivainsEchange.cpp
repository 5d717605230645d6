// Comptoirs réels qui écrivent dans le dossier d'échange pendant que les passes
// tournent : aucune commande ne part coupée ni vide.

#include "base/HorlogeSysteme.h"
#include "base/JournalStatut.h"
#include "base/SystemeFichiers.h"
#include "commun/FichiersEssai.h"
#include "commun/HorlogeTest.h"
#include "config/Configuration.h"
#include "orders/ListesEchange.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_LINUX
#include <linux/capability.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace {

const QByteArray Commande("ordre: 1\r\nP.Recept: 001\r\ncip Qt    : 3400930000001        001\r\n");

#ifdef Q_OS_LINUX
// Retire (ou rend) à ce fil les droits de root qui passent outre les
// permissions des fichiers : un dossier en chmod 000 lui devient illisible.
bool DroitsDeRoot(bool garde)
{
    __user_cap_header_struct entete{ _LINUX_CAPABILITY_VERSION_3, 0 };
    __user_cap_data_struct donnees[2] = {};
    if (::syscall(SYS_capget, &entete, donnees) != 0)
        return false;
    const quint32 masque = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
    donnees[0].effective = garde ? (donnees[0].effective | masque) : (donnees[0].effective & ~masque);
    return ::syscall(SYS_capset, &entete, donnees) == 0;
}
#endif

} // namespace

class TestEcrivainsEchange : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void ecrivains_data();
    void ecrivains();
    void dossierRemplace_data();
    void dossierRemplace();
    void fichierTenuOuvert_data();
    void fichierTenuOuvert();
    void commandeVide();
    void dossierIllisible();
    void filetDeSecurite();
    void debordement();

private:
    QString Dossier() const { return m_config.DossierEchange; }
    // Passes toutes les 100 ms (la boucle en fait une toutes les 300 ms)
    // pendant que le comptoir tourne, puis jusqu'à ce que `fini` le dise et
    // 2,5 s encore (20 s au plus en tout) ; chaque commande lue est « remise » et effacée comme le
    // fait le cycle.
    QList<QByteArray> Passes(ListesEchange* listes, QProcess& comptoir, const std::function<bool()>& fini = {});
    ListesEchange* Cree(JournalStatut& journal, Horloge& horloge)
    {
        return new ListesEchange(journal, horloge, m_config, {}, this);
    }

    std::unique_ptr<QTemporaryDir> m_racine;
    Configuration m_config;
};

void TestEcrivainsEchange::init()
{
    m_racine = std::make_unique<QTemporaryDir>();
    QVERIFY(m_racine->isValid());
    m_config.DossierEchange = m_racine->path() + QStringLiteral("/Echanges/");
    QVERIFY(QDir().mkpath(Dossier()));
}

void TestEcrivainsEchange::ecrivains_data()
{
    QTest::addColumn<QString>("script");            // lancé par sh dans le dossier d'échange
    QTest::addColumn<QList<QByteArray>>("remises"); // dans l'ordre, chacune une fois
    QTest::addColumn<QString>("journal");           // %1 : chemin de CD1.txt
    const QString troisFois = QStringLiteral("exec 3>CD1.txt; printf 'ordre: 1\\r\\n' >&3; sleep %1; "
                                             "printf 'P.Recept: 001\\r\\n' >&3; sleep %1; "
                                             "printf 'cip Qt    : 3400930000001        001\\r\\n' >&3");
    const QList<QByteArray> entiere{ Commande };
    QTest::newRow("ouvert, pauses de 0,7 s") << troisFois.arg(QStringLiteral("0.7")) << entiere << QString();
    QTest::newRow("ouvert, pauses de 1 s") << troisFois.arg(QStringLiteral("1")) << entiere << QString();
    QTest::newRow("ouvert, pauses de 3 s") << troisFois.arg(QStringLiteral("3")) << entiere << QString();
    QTest::newRow("ferme puis rouvre 0,3 s plus tard")
        << "printf 'ordre: 1\\r\\nP.Recept: 001\\r\\n' > CD1.txt; sleep 0.3; "
           "printf 'cip Qt    : 3400930000001        001\\r\\n' >> CD1.txt"
        << entiere << QString();
    // Plus d'une demi-seconde : aucune règle ne le distingue d'un comptoir qui
    // a fini ; l'en-tête part seul, puis la suite, et une ligne le dit.
    QTest::newRow("ferme puis rouvre 2 s plus tard")
        << "printf 'ordre: 1\\r\\nP.Recept: 001\\r\\n' > CD1.txt; sleep 2; "
           "printf 'cip Qt    : 3400930000001        001\\r\\n' >> CD1.txt"
        << QList<QByteArray>{ "ordre: 1\r\nP.Recept: 001\r\n", "cip Qt    : 3400930000001        001\r\n" }
        << QStringLiteral("commande ecrite en deux fois : %1 est revenue avec un nouveau contenu moins de 10 s apres "
                          "sa remise, cette suite part comme une autre commande ; le comptoir doit ecrire sous un "
                          "autre nom puis renommer\r\n");
    QTest::newRow("ecrit ailleurs puis renomme")
        << "printf 'ordre: 1\\r\\nP.Recept: 001\\r\\n' > .CD1.part; sleep 1; "
           "printf 'cip Qt    : 3400930000001        001\\r\\n' >> .CD1.part; mv .CD1.part CD1.txt"
        << entiere << QString();
    QTest::newRow("vide") << ": > CD1.txt" << QList<QByteArray>{} << QString();
}

void TestEcrivainsEchange::ecrivains()
{
#ifdef Q_OS_WIN
    // Les comptoirs simulés sont des scripts sh (écritures, pauses, renommages) : pas de sh ici.
    QSKIP("comptoirs simulés par des scripts sh, absents de Windows");
#endif
    QFETCH(QString, script);
    QFETCH(QList<QByteArray>, remises);
    QFETCH(QString, journal);
    JournalStatut statut;
    HorlogeSysteme horloge;
    ListesEchange* listes = Cree(statut, horloge);
    listes->MAJlisteFichierCD(); // le dossier vide est relu (et veillé) avant le comptoir

    QProcess comptoir;
    comptoir.setWorkingDirectory(Dossier());
    comptoir.start(QStringLiteral("sh"), { QStringLiteral("-c"), script });
    QVERIFY(comptoir.waitForStarted(5000));
    QCOMPARE(Passes(listes, comptoir), remises);
    QCOMPARE(comptoir.exitCode(), 0);
    QCOMPARE(statut.Texte(), journal.isEmpty() ? QString() : journal.arg(Dossier() + QStringLiteral("CD1.txt")));
}

QList<QByteArray> TestEcrivainsEchange::Passes(ListesEchange* listes, QProcess& comptoir,
                                              const std::function<bool()>& fini)
{
    QList<QByteArray> remises;
    QElapsedTimer apres;
    QElapsedTimer total; // borne : `fini` peut ne jamais le dire
    total.start();
    while ((!apres.isValid() || apres.elapsed() < 2500) && total.elapsed() < 20000) {
        listes->MAJlisteFichierCD();
        const QString chemin = listes->RechFichierCdeEnAttente();
        QByteArray contenu;
        if (!chemin.isEmpty() && listes->LitCommande(chemin, &contenu) == ListesEchange::Lecture::Lue) {
            remises << contenu;
            if (!SystemeFichiers::Supprime(chemin))
                remises << QByteArray("<effacement refusé>");
        }
        if (!apres.isValid() && comptoir.state() == QProcess::NotRunning && (!fini || fini()))
            apres.start();
        QTest::qWait(100);
    }
    return remises;
}

void TestEcrivainsEchange::dossierRemplace_data()
{
    // Lancé par sh dans la racine, pendant que le service veille le dossier :
    // le dossier disparaît, revient, puis un comptoir y écrit en gardant le
    // fichier ouvert 3 s entre l'en-tête et les produits.
    QTest::addColumn<QString>("remplace");
    QTest::newRow("efface puis refait") << QStringLiteral("rm -rf Echanges; sleep 0.5; mkdir Echanges");
    QTest::newRow("deplace puis remis") << QStringLiteral("mv Echanges Ailleurs; sleep 0.5; mv Ailleurs Echanges");
    QTest::newRow("remplace par un lien") << QStringLiteral("mv Echanges Ailleurs; sleep 0.5; ln -s Ailleurs Echanges");
}

void TestEcrivainsEchange::dossierRemplace()
{
#ifndef Q_OS_LINUX
    QSKIP("veille propre à Linux");
#else
    QFETCH(QString, remplace);
    JournalStatut journal;
    HorlogeSysteme horloge;
    ListesEchange* listes = Cree(journal, horloge);
    listes->MAJlisteFichierCD();
    QVERIFY(listes->Veille());

    QProcess comptoir;
    comptoir.setWorkingDirectory(m_racine->path());
    comptoir.start(QStringLiteral("sh"),
                   { QStringLiteral("-c"),
                     remplace
                         + QStringLiteral("; exec 3>Echanges/CD1.txt; printf 'ordre: 1\\r\\nP.Recept: 001\\r\\n' >&3; "
                                          "sleep 3; printf 'cip Qt    : 3400930000001        001\\r\\n' >&3") });
    QVERIFY(comptoir.waitForStarted(5000));
    QElapsedTimer depuisPerte;
    depuisPerte.start();
    qint64 retablieApres = -1;
    const QList<QByteArray> remises = Passes(listes, comptoir, [&] {
        if (retablieApres < 0 && listes->Veille())
            retablieApres = depuisPerte.elapsed();
        return retablieApres >= 0;
    });
    QCOMPARE(comptoir.exitCode(), 0);
    // Toute la commande, une fois : ni l'en-tête seul, ni les produits seuls.
    QCOMPARE(remises, QList<QByteArray>{ Commande });
    // La veille revient dans la période du filet (le dossier revient à 0,5 s).
    QVERIFY2(retablieApres >= 0 && retablieApres <= 500 + ListesEchange::IntervalleFiletMs + 1000,
             qPrintable(QString::number(retablieApres)));
    // Le dossier a manqué 0,5 s : la relecture l'a vu absent puis revenu.
    QCOMPARE(journal.Texte(),
             QStringLiteral("veille du dossier d'echange perdue (dossier efface, deplace ou remplace) : ") + Dossier()
                 + QStringLiteral("\r\ndossier d'echange inaccessible: ") + Dossier()
                 + QStringLiteral(" (dossier absent)\r\ndossier d'echange de nouveau accessible: ") + Dossier()
                 + QStringLiteral("\r\nveille du dossier d'echange retablie : ") + Dossier() + QStringLiteral("\r\n"));
#endif
}

void TestEcrivainsEchange::fichierTenuOuvert_data()
{
    // Un vrai processus tient CD1.txt ouvert (redirection de sh) jusqu'à ce
    // que son entrée standard se ferme : la lecture ne le prend pas tant qu'un
    // écrivain le tient, quelle que soit l'heure de sa dernière écriture.
    QTest::addColumn<QString>("ouverture");
    QTest::addColumn<int>("pendant"); // SystemeFichiers::Lecture attendue, fichier tenu
    QTest::newRow("en ecriture") << QStringLiteral("3>>CD1.txt") << int(SystemeFichiers::Lecture::EnCours);
    QTest::newRow("en lecture et ecriture") << QStringLiteral("3<>CD1.txt") << int(SystemeFichiers::Lecture::EnCours);
    QTest::newRow("en lecture seule") << QStringLiteral("3<CD1.txt") << int(SystemeFichiers::Lecture::Lue);
}

void TestEcrivainsEchange::fichierTenuOuvert()
{
#ifndef Q_OS_LINUX
    QSKIP("bail en lecture propre à Linux (sous Windows, l'ouverture refuse les écrivains)");
#else
    QFETCH(QString, ouverture);
    QFETCH(int, pendant);
    const QString cd1 = Dossier() + QStringLiteral("CD1.txt");
    Ecrit(cd1, Commande);
    QProcess comptoir;
    comptoir.setWorkingDirectory(Dossier());
    comptoir.start(QStringLiteral("sh"), { QStringLiteral("-c"), QStringLiteral("exec %1; echo tenu; cat >/dev/null").arg(ouverture) });
    QVERIFY(comptoir.waitForReadyRead(5000));
    QCOMPARE(comptoir.readAll(), QByteArray("tenu\n"));
    QByteArray contenu;
    QCOMPARE(int(SystemeFichiers::LitBorne(cd1, 1000, &contenu)), pendant);
    QCOMPARE(contenu, pendant == int(SystemeFichiers::Lecture::Lue) ? Commande : QByteArray());
    comptoir.closeWriteChannel();
    QVERIFY(comptoir.waitForFinished(5000));
    // Écrivain parti : lue en entier.
    QCOMPARE(SystemeFichiers::LitBorne(cd1, 1000, &contenu), SystemeFichiers::Lecture::Lue);
    QCOMPARE(contenu, Commande);
#endif
}

void TestEcrivainsEchange::commandeVide()
{
    JournalStatut journal;
    HorlogeTest horloge;
    ListesEchange* listes = Cree(journal, horloge);
    listes->MAJlisteFichierCD();
    const QString cd1 = Dossier() + QStringLiteral("CD1.txt");
    Ecrit(cd1, QByteArray());
    // Vide : elle attend, et une seule ligne la nomme passé une minute.
    for (int i = 0; i < 4; ++i) {
        listes->MAJlisteFichierCD();
        QCOMPARE(listes->RechFichierCdeEnAttente(), QString());
        QCOMPARE(journal.Texte(), QString());
        horloge.Avance(ListesEchange::DelaiStabiliteMs);
    }
    horloge.Avance(60000);
    for (int i = 0; i < 3; ++i) {
        listes->MAJlisteFichierCD();
        QCOMPARE(listes->RechFichierCdeEnAttente(), QString());
        horloge.Avance(ListesEchange::DelaiStabiliteMs);
    }
    QCOMPARE(journal.Texte(), QStringLiteral("Le fichier ") + QDir::toNativeSeparators(cd1)
                                  + QStringLiteral(" est vide depuis une minute, il n'est pas lance\r\n"));
    // Remplie enfin : elle part.
    Ecrit(cd1, Commande);
    listes->MAJlisteFichierCD();
    QCOMPARE(listes->RechFichierCdeEnAttente(), QString());
    horloge.Avance(ListesEchange::DelaiStabiliteMs);
    QCOMPARE(listes->RechFichierCdeEnAttente(), cd1);
    QByteArray contenu;
    QCOMPARE(listes->LitCommande(cd1, &contenu), ListesEchange::Lecture::Lue);
    QCOMPARE(contenu, Commande);
}

void TestEcrivainsEchange::dossierIllisible()
{
#ifndef Q_OS_LINUX
    QSKIP("droits de root propres à Linux");
#else
    Ecrit(Dossier() + QStringLiteral("CD1.txt"), Commande);
    JournalStatut journal;
    HorlogeTest horloge;
    ListesEchange* listes = Cree(journal, horloge);
    listes->MAJlisteFichierCD();
    QCOMPARE(listes->ListeCD(), QStringList{ QStringLiteral("CD1.txt") });

    // Root passe outre chmod 000 : ce fil renonce à ce droit le temps du test.
    if (::geteuid() == 0 && !DroitsDeRoot(false))
        QSKIP("root sans moyen de renoncer à CAP_DAC_OVERRIDE : chmod 000 ne l'arrêterait pas");
    QVERIFY(QFile::setPermissions(Dossier(), {}));
    for (int i = 0; i < 3; ++i) {
        listes->MAJlisteFichierCD();
        horloge.Avance(1000);
    }
    const QStringList listeIllisible = listes->ListeCD();
    const QString texteIllisible = journal.Texte();
    QVERIFY(QFile::setPermissions(Dossier(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    listes->MAJlisteFichierCD();
    listes->MAJlisteFichierCD();
    if (::geteuid() == 0)
        QVERIFY(DroitsDeRoot(true));

    const QString illisible =
        QStringLiteral("dossier d'echange inaccessible: ") + Dossier() + QStringLiteral(" (accès refusé)\r\n");
    QCOMPARE(listeIllisible, QStringList{});
    QCOMPARE(texteIllisible, illisible);
    QCOMPARE(listes->ListeCD(), QStringList{ QStringLiteral("CD1.txt") });
    QCOMPARE(journal.Texte(),
             illisible + QStringLiteral("dossier d'echange de nouveau accessible: ") + Dossier() + QStringLiteral("\r\n"));
#endif
}

void TestEcrivainsEchange::filetDeSecurite()
{
#ifndef Q_OS_LINUX
    QSKIP("montage propre à Linux");
#else
    // Un partage monté par-dessus le dossier après le démarrage : la veille
    // regarde le dossier recouvert, aucune notification n'arrive pour ce qui
    // s'écrit dans le partage. La relecture de filet le trouve.
    JournalStatut journal;
    HorlogeTest horloge;
    ListesEchange* listes = Cree(journal, horloge);
    listes->MAJlisteFichierCD();
    QVERIFY(listes->Veille());
    const QString partage = m_racine->path() + QStringLiteral("/partage");
    QVERIFY(QDir().mkpath(partage));
    const QByteArray cible = QFile::encodeName(Dossier());
    if (::mount(QFile::encodeName(partage).constData(), cible.constData(), nullptr, MS_BIND, nullptr) != 0)
        QSKIP("montage impossible sans CAP_SYS_ADMIN : pas de notification à manquer");
    const auto demonte = qScopeGuard([&] { ::umount2(cible.constData(), MNT_DETACH); });
    const QString cd5 = Dossier() + QStringLiteral("CD5.txt");
    Ecrit(cd5, Commande);

    listes->MAJlisteFichierCD();
    QCOMPARE(listes->ListeCD(), QStringList{}); // rien de notifié : pas de relecture
    horloge.Avance(ListesEchange::IntervalleFiletMs);
    listes->MAJlisteFichierCD();
    QCOMPARE(listes->ListeCD(), QStringList{ QStringLiteral("CD5.txt") });
    // Le filet voit aussi que le chemin mène à un autre dossier : la veille
    // est reposée sur celui-ci. CD5.txt, écrit avant, n'a pas de signe : le
    // délai de stabilité.
    QVERIFY(listes->Veille());
    QCOMPARE(listes->RechFichierCdeEnAttente(), QString());
    horloge.Avance(ListesEchange::DelaiStabiliteMs);
    QCOMPARE(listes->RechFichierCdeEnAttente(), cd5);
    QCOMPARE(journal.Texte(),
             QStringLiteral("veille du dossier d'echange perdue (dossier efface, deplace ou remplace) : ") + Dossier()
                 + QStringLiteral("\r\nveille du dossier d'echange retablie : ") + Dossier() + QStringLiteral("\r\n"));
    // Suivi du partage : une commande renommée dedans part à la passe suivante.
    Ecrit(Dossier() + QStringLiteral(".CD6.part"), Commande);
    QVERIFY(QFile::rename(Dossier() + QStringLiteral(".CD6.part"), Dossier() + QStringLiteral("CD6.txt")));
    QVERIFY(SystemeFichiers::Supprime(cd5));
    listes->MAJlisteFichierCD();
    QCOMPARE(listes->ListeCD(), QStringList{ QStringLiteral("CD6.txt") });
    QCOMPARE(listes->RechFichierCdeEnAttente(), Dossier() + QStringLiteral("CD6.txt"));
#endif
}

void TestEcrivainsEchange::debordement()
{
#ifndef Q_OS_LINUX
    QSKIP("file de notifications propre à Linux");
#else
    // Plus de notifications que la file du système n'en tient (16 384 par
    // défaut) avant que le service ne les lise : celles de CD7.txt sont perdues.
    JournalStatut journal;
    HorlogeTest horloge;
    ListesEchange* listes = Cree(journal, horloge);
    listes->MAJlisteFichierCD();
    const int a = ::open(QFile::encodeName(Dossier() + QStringLiteral("a.dat")).constData(), O_WRONLY | O_CREAT, 0600);
    const int b = ::open(QFile::encodeName(Dossier() + QStringLiteral("b.dat")).constData(), O_WRONLY | O_CREAT, 0600);
    QVERIFY(a >= 0 && b >= 0);
    for (int i = 0; i < 20000; ++i) { // deux fichiers en alternance : pas de fusion
        QCOMPARE(::write(a, "x", 1), ssize_t(1));
        QCOMPARE(::write(b, "x", 1), ssize_t(1));
    }
    ::close(a);
    ::close(b);
    const QString cd7 = Dossier() + QStringLiteral("CD7.txt");
    Ecrit(cd7, Commande);

    // Le débordement fait relire le dossier ; sans signe sûr, la stabilité.
    for (int i = 0; i < 3; ++i) {
        listes->MAJlisteFichierCD();
        QCOMPARE(listes->RechFichierCdeEnAttente(), QString());
    }
    QCOMPARE(listes->ListeCD(), QStringList{ QStringLiteral("CD7.txt") });
    horloge.Avance(CommandesPretes::DelaiApresFermetureMs); // assez si sa fermeture avait été lue
    QCOMPARE(listes->RechFichierCdeEnAttente(), QString());
    horloge.Avance(ListesEchange::DelaiStabiliteMs - CommandesPretes::DelaiApresFermetureMs);
    QCOMPARE(listes->RechFichierCdeEnAttente(), cd7);
#endif
}

QTEST_GUILESS_MAIN(TestEcrivainsEchange)
#include "TestEcrivainsEchange.moc"
