#include "base/JournalStatut.h"
#include "base/SystemeFichiers.h"
#include "commun/FichiersEssai.h"
#include "commun/HorlogeTest.h"
#include "config/Configuration.h"
#include "orders/ListesEchange.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace {

void Cree(const QString& chemin)
{
    QFile f(chemin);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(chemin));
    f.write("ordre: 1\r\n");
}

} // namespace

class TestListesEchange : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void tri_data();
    void tri();
    void sortie8();
    void signalSeulementAuChangement();
    void rechercheEtEcart();
    void dossierInaccessible();
    void retoursSeuls();
    void entreesIgnorees_data();
    void entreesIgnorees();
    void stabilite_data();
    void stabilite();
    void nomsHorsUtf8();
    void suiviNomParNom_data();
    void suiviNomParNom();
    void ecriteEnDeuxFois_data();
    void ecriteEnDeuxFois();

private:
    QString Dossier() const { return m_config.DossierEchange; }
    QStringList Appels() const { return m_appels; }
    ListesEchange* Cree(JournalStatut& journal, HorlogeTest& horloge);

    std::unique_ptr<QTemporaryDir> m_racine;
    Configuration m_config;
    QStringList m_appels; // "numéro:état" de chaque commande de la sortie auxiliaire
};

void TestListesEchange::init()
{
    m_racine = std::make_unique<QTemporaryDir>();
    QVERIFY(m_racine->isValid());
    m_config.DossierEchange = m_racine->path() + QStringLiteral("/Echanges/");
    QVERIFY(QDir().mkpath(Dossier()));
    m_appels.clear();
}

ListesEchange* TestListesEchange::Cree(JournalStatut& journal, HorlogeTest& horloge)
{
    return new ListesEchange(journal, horloge, m_config,
                             [this](const QString& num, const QString& etat) {
                                 m_appels.append(num + QLatin1Char(':') + etat);
                                 return QByteArray();
                             },
                             this);
}

void TestListesEchange::tri_data()
{
    QTest::addColumn<QStringList>("fichiers");
    QTest::addColumn<QStringList>("dossiers");
    QTest::addColumn<QStringList>("listeCD");
    QTest::addColumn<QStringList>("listeRT");
    QTest::newRow("CD10 avant CD2")
        << QStringList{ "CD2.txt", "CD10.txt" } << QStringList{} << QStringList{ "CD10.txt", "CD2.txt" }
        << QStringList{};
    QTest::newRow("casse ignoree")
        << QStringList{ "CD4.txt", "cd3.TXT", "Cd2.Txt", "CD1.txt" } << QStringList{}
        << QStringList{ "CD1.txt", "Cd2.Txt", "cd3.TXT", "CD4.txt" } << QStringList{};
    QTest::newRow("motifs")
        << QStringList{ "CD.txt", "CDa.txt.bak", "XCD1.txt", "CD1.txt2", "RT7.txt", "rt1.TXT", "CDb.txt" }
        << QStringList{} << QStringList{ "CD.txt", "CDb.txt" } << QStringList{ "rt1.TXT", "RT7.txt" };
    QTest::newRow("dossiers ecartes")
        << QStringList{ "CD5.txt" } << QStringList{ "CD1.txt", "RT1.txt" } << QStringList{ "CD5.txt" }
        << QStringList{};
    QTest::newRow("rien") << QStringList{ "autre.txt" } << QStringList{} << QStringList{}
                          << QStringList{};
}

void TestListesEchange::tri()
{
    QFETCH(QStringList, fichiers);
    QFETCH(QStringList, dossiers);
    QFETCH(QStringList, listeCD);
    QFETCH(QStringList, listeRT);
    for (const QString& f : fichiers)
        ::Cree(Dossier() + f);
    for (const QString& d : dossiers)
        QVERIFY(QDir().mkpath(Dossier() + d));
#ifdef Q_OS_UNIX
    // Un lien vers un dossier n'est pas un fichier ordinaire non plus. (Sous Windows, QFile::link
    // fait un raccourci, qui est un fichier ordinaire : pas de lien à essayer ici.)
    QVERIFY(QFile::link(m_racine->path(), Dossier() + QStringLiteral("CDlien.txt")));
#endif

    JournalStatut journal;
    HorlogeTest horloge;
    ListesEchange* listes = Cree(journal, horloge);
    listes->MAJlisteFichierCD();
    listes->MAJlisteFichierRT();
    QCOMPARE(listes->ListeCD(), listeCD);
    QCOMPARE(listes->ListeRT(), listeRT);
    QCOMPARE(listes->RechFichierCdeEnAttente(), QString()); // relevé, stable 0,5 s plus tard
    horloge.Avance(ListesEchange::DelaiStabiliteMs);
    QCOMPARE(listes->RechFichierCdeEnAttente(),
             listeCD.isEmpty() ? QString() : Dossier() + listeCD.first());
    // Aucune relecture ne laisse passer les événements : la passe est une suite d'états.
    QCOMPARE(horloge.NombreCessions(), 0);
    // Dossiers et lien vers un dossier : une ligne chacun (ordre du dossier).
    QStringList attendu;
#ifdef Q_OS_UNIX
    attendu.append(QStringLiteral("fichier ignoré (lien vers un dossier, pas un fichier ordinaire) : ") + Dossier()
                   + QStringLiteral("CDlien.txt"));
#endif
    for (const QString& d : dossiers)
        attendu.append(QStringLiteral("fichier ignoré (dossier, pas un fichier ordinaire) : ")
                       + QDir::toNativeSeparators(Dossier() + d));
    QStringList lignes = journal.Texte().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    lignes.sort();
    attendu.sort();
    QCOMPARE(lignes, attendu);
}

void TestListesEchange::sortie8()
{
    JournalStatut journal;
    HorlogeTest horloge;
    ListesEchange* listes = Cree(journal, horloge);

    listes->MAJlisteFichierCD(); // 0 -> 0
    QCOMPARE(Appels(), QStringList{});

    ::Cree(Dossier() + QStringLiteral("CD1.txt"));
    ::Cree(Dossier() + QStringLiteral("CD2.txt"));
    listes->MAJlisteFichierCD(); // 0 -> 2
    QCOMPARE(Appels(), QStringList{ "8:ON" });

    QVERIFY(QFile::remove(Dossier() + QStringLiteral("CD1.txt")));
    listes->MAJlisteFichierCD(); // 2 -> 1
    QCOMPARE(Appels(), (QStringList{ "8:ON", "8:ON" }));

    // Une commande lancée, une autre arrivée : même nombre, rien n'est envoyé.
    QVERIFY(QFile::remove(Dossier() + QStringLiteral("CD2.txt")));
    ::Cree(Dossier() + QStringLiteral("CD3.txt"));
    listes->MAJlisteFichierCD(); // 1 -> 1
    QCOMPARE(listes->ListeCD(), QStringList{ "CD3.txt" });
    QCOMPARE(Appels(), (QStringList{ "8:ON", "8:ON" }));

    // Les retours ne touchent jamais la sortie.
    ::Cree(Dossier() + QStringLiteral("RT1.txt"));
    listes->MAJlisteFichierRT();
    QCOMPARE(Appels(), (QStringList{ "8:ON", "8:ON" }));

    QVERIFY(QFile::remove(Dossier() + QStringLiteral("CD3.txt")));
    listes->MAJlisteFichierCD(); // 1 -> 0
    QCOMPARE(Appels(), (QStringList{ "8:ON", "8:ON", "8:OFF" }));
    QCOMPARE(listes->ListeCD(), QStringList{});
    QCOMPARE(listes->RechFichierCdeEnAttente(), QString());
}

void TestListesEchange::signalSeulementAuChangement()
{
    JournalStatut journal;
    HorlogeTest horloge;
    ListesEchange* listes = Cree(journal, horloge);
    QSignalSpy espionCD(listes, &ListesEchange::listeCDChangee);
    QSignalSpy espionRT(listes, &ListesEchange::listeRTChangee);

    for (int i = 0; i < 3; ++i) {
        listes->MAJlisteFichierCD();
        listes->MAJlisteFichierRT();
    }
    QCOMPARE(espionCD.count(), 0);
    QCOMPARE(espionRT.count(), 0);

    ::Cree(Dossier() + QStringLiteral("CD2.txt"));
    ::Cree(Dossier() + QStringLiteral("CD1.txt"));
    ::Cree(Dossier() + QStringLiteral("RT1.txt"));
    for (int i = 0; i < 3; ++i) {
        listes->MAJlisteFichierCD();
        listes->MAJlisteFichierRT();
    }
    QCOMPARE(espionCD.count(), 1);
    QCOMPARE(espionCD.at(0).at(0).toStringList(), (QStringList{ "CD1.txt", "CD2.txt" }));
    QCOMPARE(espionRT.count(), 1);
    QCOMPARE(espionRT.at(0).at(0).toStringList(), QStringList{ "RT1.txt" });

    // Le contenu d'un fichier change, pas son nom : la liste est la même.
    QFile f(Dossier() + QStringLiteral("CD1.txt"));
    QVERIFY(f.open(QIODevice::Append));
    f.write("date: x\r\n");
    f.close();
    listes->MAJlisteFichierCD();
    QCOMPARE(espionCD.count(), 1);

    QVERIFY(QFile::remove(Dossier() + QStringLiteral("CD1.txt")));
    listes->MAJlisteFichierCD();
    QCOMPARE(espionCD.count(), 2);
    QCOMPARE(espionCD.at(1).at(0).toStringList(), QStringList{ "CD2.txt" });
}

void TestListesEchange::rechercheEtEcart()
{
    JournalStatut journal;
    HorlogeTest horloge;
    ListesEchange* listes = Cree(journal, horloge);
    ::Cree(Dossier() + QStringLiteral("CD1.txt"));
    ::Cree(Dossier() + QStringLiteral("CD2.txt"));
    listes->MAJlisteFichierCD();
    QCOMPARE(listes->RechFichierCdeEnAttente(), QString()); // relevées, pas encore stables
    horloge.Avance(ListesEchange::DelaiStabiliteMs);
    QCOMPARE(listes->RechFichierCdeEnAttente(), Dossier() + QStringLiteral("CD1.txt"));

    // Remise faite mais fichier resté : la suivante passe devant, la liste le montre encore.
    listes->EcarteFichierCde(Dossier() + QStringLiteral("CD1.txt"));
    listes->MAJlisteFichierCD();
    QCOMPARE(listes->ListeCD(), (QStringList{ "CD1.txt", "CD2.txt" }));
    QCOMPARE(listes->RechFichierCdeEnAttente(), Dossier() + QStringLiteral("CD2.txt"));

    listes->EcarteFichierCde(Dossier() + QStringLiteral("CD2.txt"));
    QCOMPARE(listes->RechFichierCdeEnAttente(), QString());

    // Un comptoir réécrit CD2.txt sous le même nom sans qu'il quitte la liste :
    // c'est une nouvelle commande, elle repart.
    {
        QFile f(Dossier() + QStringLiteral("CD2.txt"));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("ordre     00000099\r\nP.Recept: 000\r\n");
    }
    listes->MAJlisteFichierCD();
    QCOMPARE(listes->RechFichierCdeEnAttente(), QString()); // réécrite : de nouveau 0,5 s d'attente
    horloge.Avance(ListesEchange::DelaiStabiliteMs);
    QCOMPARE(listes->RechFichierCdeEnAttente(), Dossier() + QStringLiteral("CD2.txt"));
    listes->EcarteFichierCde(Dossier() + QStringLiteral("CD2.txt"));
    QCOMPARE(listes->RechFichierCdeEnAttente(), QString());

    // Les commandes à éviter sont sautées.
    QCOMPARE(listes->RechFichierCdeEnAttente({ Dossier() + QStringLiteral("CD1.txt") }), QString());

    // Parti du dossier puis revenu : c'est une nouvelle commande.
    QVERIFY(QFile::remove(Dossier() + QStringLiteral("CD1.txt")));
    listes->MAJlisteFichierCD();
    QCOMPARE(listes->RechFichierCdeEnAttente(), QString());
    ::Cree(Dossier() + QStringLiteral("CD1.txt"));
    listes->MAJlisteFichierCD();
    QCOMPARE(listes->RechFichierCdeEnAttente(), QString());
    horloge.Avance(ListesEchange::DelaiStabiliteMs);
    QCOMPARE(listes->RechFichierCdeEnAttente(), Dossier() + QStringLiteral("CD1.txt"));
    QCOMPARE(listes->RechFichierCdeEnAttente({ Dossier() + QStringLiteral("CD1.txt") }), QString());
}

void TestListesEchange::dossierInaccessible()
{
    JournalStatut journal;
    HorlogeTest horloge;
    ListesEchange* listes = Cree(journal, horloge);
    ::Cree(Dossier() + QStringLiteral("CD1.txt"));
    listes->MAJlisteFichierCD();
    QCOMPARE(Appels(), QStringList{ "8:ON" });
    // L'état du dossier pour la fenêtre : le dernier constat compte.
    QSignalSpy etats(listes, &ListesEchange::etatDossierChange);
    const auto dernier = [&etats] {
        return etats.isEmpty() ? QString() : etats.last().at(0).toString() + QLatin1Char('|') + etats.last().at(1).toString();
    };

    QVERIFY(QDir(Dossier()).removeRecursively());
    for (int i = 0; i < 3; ++i) {
        listes->MAJlisteFichierCD();
        listes->MAJlisteFichierRT();
    }
#ifdef Q_OS_WIN
    // Sans veille du dossier sous Windows, il n'y a pas de veille à perdre.
    const QString perdue;
#else
    const QString perdue = QStringLiteral("veille du dossier d'echange perdue (dossier efface, deplace ou remplace) : ")
        + Dossier() + QStringLiteral("\r\n");
#endif
    const QString absent = QStringLiteral("dossier d'echange inaccessible: ") + Dossier()
        + QStringLiteral(" (dossier absent)\r\n");
    QCOMPARE(listes->ListeCD(), QStringList{});
    QCOMPARE(Appels(), (QStringList{ "8:ON", "8:OFF" }));
    QCOMPARE(journal.Texte(), perdue + absent);
    QVERIFY(!listes->Veille());
    QCOMPARE(dernier(), QStringLiteral("1|dossier absent"));

    // De retour : relu à la passe suivante ; la veille, reposée au rythme du
    // filet, revient au plus une période après le dernier essai.
    QVERIFY(QDir().mkpath(Dossier()));
    listes->MAJlisteFichierCD();
    listes->MAJlisteFichierRT();
    const QString accessible =
        QStringLiteral("dossier d'echange de nouveau accessible: ") + Dossier() + QStringLiteral("\r\n");
    QCOMPARE(journal.Texte(), perdue + absent + accessible);
    QVERIFY(!listes->Veille());
    // Revenu, mais sans veille jusqu'au filet.
    QCOMPARE(dernier(), QStringLiteral("2|"));
#ifdef Q_OS_WIN
    return; // pas de veille du dossier sous Windows : rien à rétablir
#endif
    horloge.Avance(ListesEchange::IntervalleFiletMs - 1);
    listes->MAJlisteFichierCD();
    QVERIFY(!listes->Veille());
    horloge.Avance(1);
    listes->MAJlisteFichierCD();
    listes->MAJlisteFichierCD();
    QVERIFY(listes->Veille());
    QCOMPARE(dernier(), QStringLiteral("0|"));
    QCOMPARE(journal.Texte(), perdue + absent + accessible + QStringLiteral("veille du dossier d'echange retablie : ")
                                  + Dossier() + QStringLiteral("\r\n"));
    // Suivie de nouveau : une commande arrivée est listée sans attendre le filet.
    ::Cree(Dossier() + QStringLiteral("CD2.txt"));
    listes->MAJlisteFichierCD();
    QCOMPARE(listes->ListeCD(), QStringList{ QStringLiteral("CD2.txt") });
}

void TestListesEchange::retoursSeuls()
{
    JournalStatut journal;
    HorlogeTest horloge;
    ListesEchange* listes = Cree(journal, horloge);
    ::Cree(Dossier() + QStringLiteral("RT2.txt"));
    listes->MAJlisteFichierRT();
    QCOMPARE(listes->ListeRT(), QStringList{ "RT2.txt" });

    // Relecture des commandes puis des retours : une seule lecture du dossier sert aux deux.
    ::Cree(Dossier() + QStringLiteral("rt1.txt"));
    ::Cree(Dossier() + QStringLiteral("CD1.txt"));
    listes->MAJlisteFichierCD();
    listes->MAJlisteFichierRT();
    QCOMPARE(listes->ListeRT(), (QStringList{ "rt1.txt", "RT2.txt" }));

    // Une relecture des retours seule relit le dossier.
    QVERIFY(QFile::remove(Dossier() + QStringLiteral("RT2.txt")));
    listes->MAJlisteFichierRT();
    QCOMPARE(listes->ListeRT(), QStringList{ "rt1.txt" });
    QCOMPARE(listes->ListeCD(), QStringList{ "CD1.txt" });
    QCOMPARE(Appels(), QStringList{ "8:ON" });
}

void TestListesEchange::entreesIgnorees_data()
{
    QTest::addColumn<QString>("sorte");
    QTest::addColumn<QString>("genre");
    QTest::newRow("lien vers /dev/zero") << "zero" << "lien vers un périphérique";
    QTest::newRow("lien vers /dev/urandom") << "urandom" << "lien vers un périphérique";
    QTest::newRow("tube nomme") << "tube" << "tube nommé";
    QTest::newRow("socket") << "socket" << "socket";
    QTest::newRow("lien sans cible") << "casse" << "lien sans cible";
    QTest::newRow("dossier") << "dossier" << "dossier";
}

void TestListesEchange::entreesIgnorees()
{
#ifndef Q_OS_UNIX
    QSKIP("tubes, sockets et liens propres à Unix");
#else
    QFETCH(QString, sorte);
    QFETCH(QString, genre);
    const QString chemin = Dossier() + QStringLiteral("CDz.txt");
    int socketFd = -1;
    if (sorte == QStringLiteral("zero") || sorte == QStringLiteral("urandom"))
        QVERIFY(QFile::link(QStringLiteral("/dev/") + sorte, chemin));
    else if (sorte == QStringLiteral("tube"))
        QCOMPARE(::mkfifo(QFile::encodeName(chemin).constData(), 0600), 0);
    else if (sorte == QStringLiteral("casse"))
        QVERIFY(QFile::link(m_racine->path() + QStringLiteral("/absent"), chemin));
    else if (sorte == QStringLiteral("dossier"))
        QVERIFY(QDir().mkpath(chemin));
    else {
        socketFd = CreeSocketUnix(chemin);
        if (socketFd == -1)
            QSKIP("dossier temporaire trop long pour une socket");
        QVERIFY(socketFd >= 0);
    }
    ::Cree(Dossier() + QStringLiteral("CD1.txt"));

    JournalStatut journal;
    HorlogeTest horloge;
    ListesEchange* listes = Cree(journal, horloge);
    for (int i = 0; i < 3; ++i) {
        listes->MAJlisteFichierCD();
        listes->MAJlisteFichierRT();
        horloge.Avance(ListesEchange::DelaiStabiliteMs / 2);
        listes->RechFichierCdeEnAttente();
    }
    // Jamais listée ni ouverte (un tube bloquerait le fil), une seule ligne.
    QCOMPARE(listes->ListeCD(), QStringList{ "CD1.txt" });
    QCOMPARE(listes->RechFichierCdeEnAttente(), Dossier() + QStringLiteral("CD1.txt"));
    const QString ligne = QStringLiteral("fichier ignoré (") + genre + QStringLiteral(", pas un fichier ordinaire) : ")
        + chemin + QStringLiteral("\r\n");
    QCOMPARE(journal.Texte(), ligne);
    QByteArray contenu("reste");
    QCOMPARE(SystemeFichiers::LitBorne(chemin, 100, &contenu), ListesEchange::Lecture::PasOrdinaire);
    QCOMPARE(contenu, QByteArray());

    // Remplacée par un vrai fichier : listée ; redevenue spéciale : une nouvelle ligne.
    if (socketFd >= 0)
        ::close(socketFd);
    if (sorte == QStringLiteral("dossier"))
        QVERIFY(QDir(chemin).removeRecursively());
    else
        QVERIFY(QFile::remove(chemin));
    ::Cree(chemin);
    listes->MAJlisteFichierCD();
    QCOMPARE(listes->ListeCD(), (QStringList{ "CD1.txt", "CDz.txt" }));
    QVERIFY(QFile::remove(chemin));
    QVERIFY(QFile::link(m_racine->path() + QStringLiteral("/absent"), chemin));
    listes->MAJlisteFichierCD();
    QCOMPARE(journal.Texte(), ligne + QStringLiteral("fichier ignoré (lien sans cible, pas un fichier ordinaire) : ")
                                  + chemin + QStringLiteral("\r\n"));
#endif
}

void TestListesEchange::stabilite_data()
{
    QTest::addColumn<bool>("dateAncienne"); // copie qui garde la date de sa source
    QTest::addColumn<bool>("changeEnCours"); // taille changée entre deux relevés
    QTest::newRow("date recente") << false << false;
    QTest::newRow("date ancienne") << true << false;
    QTest::newRow("ecrite en deux fois") << false << true;
    QTest::newRow("date ancienne, ecrite en deux fois") << true << true;
}

void TestListesEchange::stabilite()
{
    QFETCH(bool, dateAncienne);
    QFETCH(bool, changeEnCours);
    const QString cd1 = Dossier() + QStringLiteral("CD1.txt");
    const QDateTime ancienne = QDateTime::currentDateTime().addYears(-1);
    auto ecrit = [&](const QByteArray& octets, QIODevice::OpenMode mode) {
        QFile f(cd1);
        QVERIFY(f.open(mode));
        f.write(octets);
        if (dateAncienne)
            QVERIFY(f.setFileTime(ancienne, QFileDevice::FileModificationTime));
    };
    ecrit("ordre: 1\r\n", QIODevice::WriteOnly);

    JournalStatut journal;
    HorlogeTest horloge;
    ListesEchange* listes = Cree(journal, horloge);
    listes->MAJlisteFichierCD();
    QCOMPARE(listes->RechFichierCdeEnAttente(), QString());
    horloge.Avance(ListesEchange::DelaiStabiliteMs - 200);
    if (changeEnCours)
        ecrit("P.Recept: 001\r\n", QIODevice::Append);
    QCOMPARE(listes->RechFichierCdeEnAttente(), QString());
    horloge.Avance(199);
    QCOMPARE(listes->RechFichierCdeEnAttente(), QString());
    horloge.Avance(1);
    // Présente avant la veille : le délai de stabilité depuis le premier relevé
    // identique. Réécrite depuis : le délai qui suit la fermeture.
    QCOMPARE(listes->RechFichierCdeEnAttente(), changeEnCours ? QString() : cd1);
    horloge.Avance(300);
    QCOMPARE(listes->RechFichierCdeEnAttente(), cd1);

    // Lue telle que relevée : ces octets-là ; changée depuis : pas lue.
    QByteArray contenu;
    QCOMPARE(listes->LitCommande(cd1, &contenu), ListesEchange::Lecture::Lue);
    QCOMPARE(contenu, changeEnCours ? QByteArray("ordre: 1\r\nP.Recept: 001\r\n") : QByteArray("ordre: 1\r\n"));
    ecrit("date: 2\r\n", QIODevice::Append);
    QCOMPARE(listes->LitCommande(cd1, &contenu), ListesEchange::Lecture::EnCours);
    QCOMPARE(contenu, QByteArray());
    QCOMPARE(listes->RechFichierCdeEnAttente(), QString());
    horloge.Avance(CommandesPretes::DelaiApresFermetureMs);
    QCOMPARE(listes->RechFichierCdeEnAttente(), cd1);
    QCOMPARE(journal.Texte(), QString());
}

void TestListesEchange::nomsHorsUtf8()
{
#ifndef Q_OS_UNIX
    QSKIP("noms de fichiers en octets propres à Unix");
#else
    auto creeBrut = [&](const QByteArray& nom, const QByteArray& octets) {
        const int fd = ::open((QFile::encodeName(Dossier()) + nom).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, octets.constData(), size_t(octets.size())), ssize_t(octets.size()));
        ::close(fd);
    };
    creeBrut("CD\xE9t\xE9.txt", "ordre: 7\r\n");
    creeBrut("RT\x81\x01.txt", "r");
    creeBrut("CD\xC9.txt", "latin");
    ::Cree(Dossier() + QStringLiteral("CD\u00C9.txt")); // le même nom en UTF-8 : homonyme

    JournalStatut journal;
    HorlogeTest horloge;
    ListesEchange* listes = Cree(journal, horloge);
    for (int i = 0; i < 2; ++i) {
        listes->MAJlisteFichierCD();
        listes->MAJlisteFichierRT();
    }
    QCOMPARE(listes->ListeCD(), (QStringList{ QStringLiteral("CD\u00C9.txt"), QStringLiteral("CD\u00E9t\u00E9.txt") }));
    QCOMPARE(listes->ListeRT(), QStringList{ QStringLiteral("RT\u0081\u0001.txt") });
    QStringList lignes = journal.Texte().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    lignes.sort();
    QCOMPARE(lignes, (QStringList{
                         QStringLiteral("nom de fichier hors UTF-8 : ") + Dossier()
                             + QStringLiteral("CD<C9>.txt, homonyme de CD\u00C9.txt : il n'est pas pris, renommez-le"),
                         QStringLiteral("nom de fichier hors UTF-8 : ") + Dossier()
                             + QStringLiteral("CD<E9>t<E9>.txt, lu en Windows-1252 : CD\u00E9t\u00E9.txt"),
                         QStringLiteral("nom de fichier hors UTF-8 : ") + Dossier()
                             + QStringLiteral("RT<81><01>.txt, lu en Windows-1252 : RT\u0081\u0001.txt"),
                     }));

    // Lu et effacé sous son vrai nom ; l'homonyme UTF-8 est lu sous le sien.
    const QString montre = Dossier() + QStringLiteral("CD\u00E9t\u00E9.txt");
    QByteArray contenu;
    QCOMPARE(SystemeFichiers::LitBorne(montre, 100, &contenu), ListesEchange::Lecture::Lue);
    QCOMPARE(contenu, QByteArray("ordre: 7\r\n"));
    QCOMPARE(SystemeFichiers::LitBorne(Dossier() + QStringLiteral("CD\u00C9.txt"), 100, &contenu),
             ListesEchange::Lecture::Lue);
    QCOMPARE(contenu, QByteArray("ordre: 1\r\n"));
    QVERIFY(SystemeFichiers::Existe(montre));
    QVERIFY(SystemeFichiers::Supprime(montre));
    QVERIFY(!SystemeFichiers::Existe(montre));
    QVERIFY(::access((QFile::encodeName(Dossier()) + "CD\xE9t\xE9.txt").constData(), F_OK) != 0);
#endif
}

void TestListesEchange::suiviNomParNom_data()
{
    // Une opération par passe : "+N" crée le fichier N, "-N" l'efface,
    // "A>B" renomme A en B, "/N" crée un dossier N. Les listes tenues nom par
    // nom doivent valoir celles d'une lecture complète du dossier.
    QTest::addColumn<QStringList>("operations");
    QTest::addColumn<QStringList>("commandes");
    QTest::addColumn<QStringList>("retours");
    QTest::addColumn<QString>("journal"); // %1 : dossier
    QTest::newRow("insertions a leur place")
        << QStringList{ "+CD2.txt", "+CD10.txt", "+cd1.TXT", "+RT5.txt", "+CD3.txt", "+rt1.txt" }
        << QStringList{ "cd1.TXT", "CD10.txt", "CD2.txt", "CD3.txt" } << QStringList{ "rt1.txt", "RT5.txt" }
        << QString();
    QTest::newRow("retraits au milieu")
        << QStringList{ "+CD1.txt", "+CD2.txt", "+CD3.txt", "-CD2.txt", "+RT1.txt", "-RT1.txt", "-CD9.txt" }
        << QStringList{ "CD1.txt", "CD3.txt" } << QStringList{} << QString();
    QTest::newRow("renommages") << QStringList{ "+.CD1.part", ".CD1.part>CD1.txt", "CD1.txt>RT1.txt", "+CD2.txt",
                                                "CD2.txt>autre.txt" }
                                << QStringList{} << QStringList{ "RT1.txt" } << QString();
    QTest::newRow("meme nom deux fois") << QStringList{ "+CD1.txt", "+.x", ".x>CD1.txt", "-CD1.txt", "+CD1.txt" }
                                        << QStringList{ "CD1.txt" } << QStringList{} << QString();
    QTest::newRow("dossier ignore puis retire puis revenu")
        << QStringList{ "/CD9.txt", "+CD1.txt", "-CD9.txt", "/CD9.txt" } << QStringList{ "CD1.txt" } << QStringList{}
        << QStringLiteral("fichier ignoré (dossier, pas un fichier ordinaire) : %1CD9.txt\r\n"
                          "fichier ignoré (dossier, pas un fichier ordinaire) : %1CD9.txt\r\n");
}

void TestListesEchange::suiviNomParNom()
{
#ifdef Q_OS_WIN
    QSKIP("pas de veille du dossier sous Windows : les listes suivent l'inventaire de 5 s");
#endif
    QFETCH(QStringList, operations);
    QFETCH(QStringList, commandes);
    QFETCH(QStringList, retours);
    QFETCH(QString, journal);
    if (!journal.isEmpty())
        journal = journal.arg(Dossier());
    JournalStatut statut;
    HorlogeTest horloge;
    ListesEchange* listes = Cree(statut, horloge);
    listes->MAJlisteFichierCD();
    listes->MAJlisteFichierRT();
    QVERIFY(listes->Veille());
    for (const QString& op : operations) {
        const QString nom = op.mid(1);
        if (op.startsWith(QLatin1Char('+')))
            ::Cree(Dossier() + nom);
        else if (op.startsWith(QLatin1Char('-'))) {
            const QFileInfo entree(Dossier() + nom);
            if (entree.isDir())
                QVERIFY(QDir(Dossier()).rmdir(nom));
            else if (entree.exists())
                QVERIFY(QFile::remove(Dossier() + nom));
        } else if (op.startsWith(QLatin1Char('/')))
            QVERIFY(QDir(Dossier()).mkdir(nom));
        else
            QCOMPARE(std::rename(QFile::encodeName(Dossier() + op.section(QLatin1Char('>'), 0, 0)).constData(),
                                 QFile::encodeName(Dossier() + op.section(QLatin1Char('>'), 1)).constData()),
                     0);
        listes->MAJlisteFichierCD();
        listes->MAJlisteFichierRT();
    }
    // Moins d'une période de filet : rien n'a été relu en entier.
    QCOMPARE(listes->ListeCD(), commandes);
    QCOMPARE(listes->ListeRT(), retours);
    QCOMPARE(statut.Texte(), journal);
    // Le filet relève le dossier : les mêmes noms, rien à reconstruire ni à dire.
    QSignalSpy espionCD(listes, &ListesEchange::listeCDChangee);
    horloge.Avance(ListesEchange::IntervalleFiletMs);
    listes->MAJlisteFichierCD();
    listes->MAJlisteFichierRT();
    QCOMPARE(espionCD.count(), 0);
    QCOMPARE(statut.Texte(), journal);
    JournalStatut autre;
    ListesEchange* lecture = Cree(autre, horloge);
    lecture->MAJlisteFichierCD();
    lecture->MAJlisteFichierRT();
    QCOMPARE(lecture->ListeCD(), commandes);
    QCOMPARE(lecture->ListeRT(), retours);
}

void TestListesEchange::ecriteEnDeuxFois_data()
{
    QTest::addColumn<qint64>("ecartMs"); // de la remise au retour du nom
    QTest::addColumn<bool>("effacee");   // la remise a effacé le fichier
    QTest::addColumn<bool>("ligne");
    QTest::newRow("revenue 2 s apres") << qint64(2000) << true << true;
    QTest::newRow("revenue a 10 s") << qint64(10000) << true << true;
    QTest::newRow("revenue a 10,001 s") << qint64(10001) << true << false;
    QTest::newRow("pas effacee, reecrite") << qint64(2000) << false << false;
}

void TestListesEchange::ecriteEnDeuxFois()
{
#ifdef Q_OS_WIN
    QSKIP("pas de veille du dossier sous Windows : les listes suivent l'inventaire de 5 s");
#endif
    QFETCH(qint64, ecartMs);
    QFETCH(bool, effacee);
    QFETCH(bool, ligne);
    JournalStatut journal;
    HorlogeTest horloge;
    ListesEchange* listes = Cree(journal, horloge);
    listes->MAJlisteFichierCD();
    const QString cd1 = Dossier() + QStringLiteral("CD1.txt");
    // Renommée dans le dossier : prête à la passe suivante.
    const auto depose = [&](const QByteArray& octets) {
        Ecrit(Dossier() + QStringLiteral(".part"), octets);
        // rename(2) : remplace d'un coup un fichier du même nom.
        QCOMPARE(std::rename(QFile::encodeName(Dossier() + QStringLiteral(".part")).constData(),
                             QFile::encodeName(cd1).constData()),
                 0);
    };
    depose("ordre: 1\r\nP.Recept: 001\r\n");
    listes->MAJlisteFichierCD();
    QCOMPARE(listes->RechFichierCdeEnAttente(), cd1);
    QByteArray contenu;
    QCOMPARE(listes->LitCommande(cd1, &contenu), ListesEchange::Lecture::Lue);
    QCOMPARE(contenu, QByteArray("ordre: 1\r\nP.Recept: 001\r\n"));
    if (effacee)
        QVERIFY(SystemeFichiers::Supprime(cd1));
    listes->MAJlisteFichierCD();

    horloge.Avance(ecartMs);
    depose("cip Qt    : 3400930000001        001\r\n");
    listes->MAJlisteFichierCD();
    QCOMPARE(listes->RechFichierCdeEnAttente(), cd1);
    QCOMPARE(listes->LitCommande(cd1, &contenu), ListesEchange::Lecture::Lue);
    QCOMPARE(contenu, QByteArray("cip Qt    : 3400930000001        001\r\n"));
    QCOMPARE(journal.Texte(),
             ligne ? QStringLiteral("commande ecrite en deux fois : ") + cd1
                     + QStringLiteral(" est revenue avec un nouveau contenu moins de 10 s apres sa remise, cette suite "
                                      "part comme une autre commande ; le comptoir doit ecrire sous un autre nom puis "
                                      "renommer\r\n")
                   : QString());
}

QTEST_GUILESS_MAIN(TestListesEchange)
#include "TestListesEchange.moc"
