#include "app/JournalStatut.h"
#include "commun/HorlogeTest.h"
#include "config/Configuration.h"
#include "orders/ListesEchange.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

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
    // Un lien vers un dossier n'est pas un fichier ordinaire non plus.
    QVERIFY(QFile::link(m_racine->path(), Dossier() + QStringLiteral("CDlien.txt")));

    JournalStatut journal;
    HorlogeTest horloge;
    ListesEchange* listes = Cree(journal, horloge);
    listes->MAJlisteFichierCD();
    listes->MAJlisteFichierRT();
    QCOMPARE(listes->ListeCD(), listeCD);
    QCOMPARE(listes->ListeRT(), listeRT);
    QCOMPARE(listes->RechFichierCdeEnAttente(),
             listeCD.isEmpty() ? QString() : Dossier() + listeCD.first());
    // Chaque relecture laisse passer les événements une fois avant de rendre la main.
    QCOMPARE(horloge.NombreCessions(), 2);
    QCOMPARE(journal.Texte(), QString());
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
    QCOMPARE(listes->RechFichierCdeEnAttente(), Dossier() + QStringLiteral("CD2.txt"));
    listes->EcarteFichierCde(Dossier() + QStringLiteral("CD2.txt"));
    QCOMPARE(listes->RechFichierCdeEnAttente(), QString());

    // Les commandes à éviter passent après les autres, et reviennent s'il ne reste qu'elles.
    QCOMPARE(listes->RechFichierCdeEnAttente({ Dossier() + QStringLiteral("CD1.txt") }), QString());

    // Parti du dossier puis revenu : c'est une nouvelle commande.
    QVERIFY(QFile::remove(Dossier() + QStringLiteral("CD1.txt")));
    listes->MAJlisteFichierCD();
    QCOMPARE(listes->RechFichierCdeEnAttente(), QString());
    ::Cree(Dossier() + QStringLiteral("CD1.txt"));
    listes->MAJlisteFichierCD();
    QCOMPARE(listes->RechFichierCdeEnAttente(), Dossier() + QStringLiteral("CD1.txt"));
}

void TestListesEchange::dossierInaccessible()
{
    JournalStatut journal;
    HorlogeTest horloge;
    ListesEchange* listes = Cree(journal, horloge);
    ::Cree(Dossier() + QStringLiteral("CD1.txt"));
    listes->MAJlisteFichierCD();
    QCOMPARE(Appels(), QStringList{ "8:ON" });

    QVERIFY(QDir(Dossier()).removeRecursively());
    for (int i = 0; i < 3; ++i) {
        listes->MAJlisteFichierCD();
        listes->MAJlisteFichierRT();
    }
    QCOMPARE(listes->ListeCD(), QStringList{});
    QCOMPARE(Appels(), (QStringList{ "8:ON", "8:OFF" }));
    QCOMPARE(journal.Texte(), QStringLiteral("dossier d'echange inaccessible: ") + Dossier()
                                  + QStringLiteral("\r\n"));

    QVERIFY(QDir().mkpath(Dossier()));
    listes->MAJlisteFichierCD();
    listes->MAJlisteFichierRT();
    QCOMPARE(journal.Texte(), QStringLiteral("dossier d'echange inaccessible: ") + Dossier()
                                  + QStringLiteral("\r\ndossier d'echange de nouveau accessible: ")
                                  + Dossier() + QStringLiteral("\r\n"));
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

QTEST_GUILESS_MAIN(TestListesEchange)
#include "TestListesEchange.moc"
