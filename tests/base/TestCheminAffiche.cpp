#include "base/CheminAffiche.h"

#include <QTest>

// Chemins montrés à l'opérateur : la forme du système, sans rien changer d'autre.
class TestCheminAffiche : public QObject
{
    Q_OBJECT
private slots:
    void affichage_data();
    void affichage();
    void separateurDuSysteme();
};

void TestCheminAffiche::affichage_data()
{
    QTest::addColumn<QString>("chemin");
    QTest::addColumn<QString>("separateur");
    QTest::addColumn<QString>("attendu");
    QTest::newRow("commande sous Windows") << "C:/grindel/Echanges/CD1.txt" << "\\" << "C:\\grindel\\Echanges\\CD1.txt";
    QTest::newRow("dossier d'echange sous Windows") << "C:/grindel/Echanges/" << "\\" << "C:\\grindel\\Echanges\\";
    QTest::newRow("deja natif") << "C:\\grindel\\zCdeMnl.txt" << "\\" << "C:\\grindel\\zCdeMnl.txt";
    QTest::newRow("partage reseau") << "//serveur/grindel/Echanges/RT2.txt" << "\\"
                                    << "\\\\serveur\\grindel\\Echanges\\RT2.txt";
    QTest::newRow("accents et espaces gardes") << "C:/Pharmacie Dupré/Echanges/CD é.txt" << "\\"
                                               << "C:\\Pharmacie Dupré\\Echanges\\CD é.txt";
    QTest::newRow("Linux inchange") << "/home/pharma/grindel/Echanges/CD1.txt" << "/"
                                    << "/home/pharma/grindel/Echanges/CD1.txt";
    QTest::newRow("vide") << "" << "\\" << "";
}

void TestCheminAffiche::affichage()
{
    QFETCH(QString, chemin);
    QFETCH(QString, separateur);
    QFETCH(QString, attendu);
    QCOMPARE(CheminAffiche(chemin, separateur.at(0)), attendu);
}

void TestCheminAffiche::separateurDuSysteme()
{
#ifdef Q_OS_WIN
    QCOMPARE(CheminAffiche(QStringLiteral("C:/grindel/Echanges/")), QStringLiteral("C:\\grindel\\Echanges\\"));
#else
    QCOMPARE(CheminAffiche(QStringLiteral("/srv/grindel/Echanges/")), QStringLiteral("/srv/grindel/Echanges/"));
#endif
}

QTEST_GUILESS_MAIN(TestCheminAffiche)
#include "TestCheminAffiche.moc"
