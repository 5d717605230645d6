#include "drawers/EmulateurCartes.h"

#include "service/CycleTraitement.h"
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
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray Z45 = QByteArrayLiteral("Z]");
const QByteArray Z44 = QByteArrayLiteral("Z\\");

} // namespace

// Le cycle de bout en bout contre les cartes émulées : la carte Z45 lit ses
// deux entrées à "0" (tiroirs 1 et 2 disponibles), la carte Z44 à "1".
class TestCycleCartes : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void commandesJusquAuTiroir();

private:
    QList<QByteArray> Corps() const;

    std::unique_ptr<EmulateurCartes> m_emulateur;
    std::unique_ptr<QTemporaryDir> m_racine;
};

void TestCycleCartes::init()
{
    m_emulateur = std::make_unique<EmulateurCartes>();
    QString erreur;
    QVERIFY2(m_emulateur->Ouvre(&erreur), qPrintable(erreur));
    m_emulateur->DeclareCarte(Z45);
    m_emulateur->DeclareCarte(Z44);
    m_emulateur->MetReponse(Z45, 'G', "00");
    m_emulateur->MetReponse(Z44, 'G', "11");
    m_racine = std::make_unique<QTemporaryDir>();
    QVERIFY(m_racine->isValid());
}

void TestCycleCartes::cleanup()
{
    m_emulateur.reset();
}

// Une passe menée jusqu'au bout, sorties auxiliaires comprises.
bool PasseEntiere(CycleTraitement& cycle, LigneCartes& ligne)
{
    cycle.Passe();
    return QTest::qWaitFor([&] { return !cycle.PasseEnCours() && !ligne.EchangeEnCours(); }, 10000);
}

QList<QByteArray> TestCycleCartes::Corps() const
{
    QList<QByteArray> corps;
    for (const auto& t : m_emulateur->Trames())
        corps.append(t.corps);
    return corps;
}

void TestCycleCartes::commandesJusquAuTiroir()
{
    Configuration config;
    config.NbTiroirs = 4;
    config.PortSerieImpose = m_emulateur->CheminEsclave();
    config.DossierEchange = m_racine->path() + QStringLiteral("/Echanges/");
    config.FichierPassation = m_racine->path() + QStringLiteral("/zCdeMnl.txt");
    QVERIFY(QDir().mkpath(config.DossierEchange));
    Ecrit(config.FichierPassation, QByteArray());

    JournalStatut journal;
    HorlogeTest horloge;
    DialoguesScriptes dialogues;
    LigneCartes ligne(journal, dialogues, config);
    ListesEchange listes(journal, horloge, config, [&](const QString& n, const QString& e) {
        return ligne.AuxGri2(n, e);
    });
    TableauTiroirs tiroirs(journal, horloge, ligne, config);
    Passation passation(journal, config);
    CycleTraitement cycle(journal, horloge, listes, tiroirs, passation);
    QVERIFY(ligne.OuvrePortComm());
    tiroirs.OuvreTiroir(0);
    journal.MessageStatus(QStringLiteral("clear"));
    m_emulateur->OublieTrames();

    // 1. Une commande arrive : sortie 8 allumée, lecture des cartes, lancement vers 001.
    const QString cd1 = config.DossierEchange + QStringLiteral("CD20240312-0001.txt");
    Ecrit(cd1, "protocol: CDE\r\nposte: 003\r\nordre: 41\r\nP.Recept: 009\r\n"
               "cip Qt    : 3400930000001        001\r\n");
    // Relevé de la commande déposée ; elle n'est lancée qu'une fois stable 0,5 s.
    listes.MAJlisteFichierCD();
    QCOMPARE(listes.RechFichierCdeEnAttente(), QString());
    horloge.Avance(ListesEchange::DelaiStabiliteMs);
    QVERIFY(PasseEntiere(cycle, ligne));
    // Une trame "X" pour les deux entrées libres de Z45 : la seconde attendait derrière la
    // première, identique.
    QCOMPARE(Corps(), (QList<QByteArray>{ "XZ]18", "GZ]L", "XZ]08", "GZ\\L" }));
    QCOMPARE(journal.Texte(), QStringLiteral("Aux8: ON (Z45)\r\nAux8: OFF (Z45)\r\nAux8: OFF (Z45)\r\n"
                                             "envoi le fichier ")
                                  + cd1 + QStringLiteral(" vers 001\r\nsupp fich: ") + cd1
                                  + QStringLiteral("\r\n"));
    QCOMPARE(Lit(config.FichierPassation),
             QByteArray("protocol: Fich-Pelorane\r\nposte: 003\r\nordre: 41\r\nP.Recept: 001\r\n"
                        "cip Qt    : 3400930000001        001\r\n"));
    QVERIFY(!QFileInfo::exists(cd1));
    QCOMPARE(tiroirs.Couleur(1), int(TableauTiroirs::CdeEnCours));
    QCOMPARE(tiroirs.Couleur(2), int(TableauTiroirs::AutoriseCde));
    QCOMPARE(tiroirs.Couleur(3), int(TableauTiroirs::PasEnAttente));
    const qint64 lancement = tiroirs.HeureTiroirLibre(1);
    QCOMPARE(lancement, horloge.get_exact_milli_second());
    QCOMPARE(cycle.TexteDerniereCde(), cd1 + QStringLiteral("\r\nordre: 41\r\nP.Recept: 009\r\n"
                                                            "cip Qt    : 3400930000001        001\r\n"));

    // 2. Le frontal n'a pas encore pris la première : la seconde attend, rien ne bouge.
    const QString cd2 = config.DossierEchange + QStringLiteral("cd20240312-0002.TXT");
    Ecrit(cd2, "ordre: 42\r\nP.Recept: 001\r\n");
    listes.MAJlisteFichierCD(); // relevé ; une partie, une arrivée : la sortie 8 ne bouge pas
    QCOMPARE(listes.RechFichierCdeEnAttente(), QString());
    journal.MessageStatus(QStringLiteral("clear"));
    m_emulateur->OublieTrames();
    horloge.Avance(1000);
    QVERIFY(PasseEntiere(cycle, ligne));
    QCOMPARE(journal.Texte(), QStringLiteral("Aux8: OFF (Z45)\r\nAux8: OFF (Z45)\r\n"
                                             "Impossible d'envoyer le fichier ")
                                  + cd2
                                  + QStringLiteral(" car la commande précédente est encore en "
                                                   "attente\r\n"));
    // Une commande partie, une arrivée : le nombre n'a pas changé, la sortie 8 non plus.
    QCOMPARE(Corps(), (QList<QByteArray>{ "GZ]L", "XZ]08", "GZ\\L" }));
    QCOMPARE(cycle.TexteDerniereCde(),
             QStringLiteral("Commande précedente non prise en compte ...\r\n\r\n"
                            "il est donc impossible de lancer le fichier: ")
                 + cd2 + QStringLiteral(" vers la gare: 002\r\n"));
    QCOMPARE(Lit(cd2), QByteArray("ordre: 42\r\nP.Recept: 001\r\n"));
    QCOMPARE(tiroirs.Couleur(1), int(TableauTiroirs::CdeEnCours));
    QCOMPARE(tiroirs.HeureTiroirLibre(1), lancement); // un tiroir jaune n'est pas rehorodaté
    QCOMPARE(tiroirs.Couleur(2), int(TableauTiroirs::AutoriseCde));

    // Réécrit à chaque passe tant que le fichier reste occupé.
    cycle.Efface();
    QVERIFY(PasseEntiere(cycle, ligne));
    QCOMPARE(cycle.TexteDerniereCde(),
             QStringLiteral("Commande précedente non prise en compte ...\r\n\r\n"
                            "il est donc impossible de lancer le fichier: ")
                 + cd2 + QStringLiteral(" vers la gare: 002\r\n"));

    // 3. Le frontal vide le fichier : la commande part vers le tiroir que donne la recherche.
    Ecrit(config.FichierPassation, QByteArray());
    journal.MessageStatus(QStringLiteral("clear"));
    QVERIFY(PasseEntiere(cycle, ligne));
    QCOMPARE(Lit(config.FichierPassation), QByteArray("ordre: 42\r\nP.Recept: 002\r\n"));
    QCOMPARE(tiroirs.Couleur(2), int(TableauTiroirs::CdeEnCours));
    QVERIFY(!QFileInfo::exists(cd2));
    QVERIFY(journal.Texte().endsWith(QStringLiteral("envoi le fichier ") + cd2
                                     + QStringLiteral(" vers 002\r\nsupp fich: ") + cd2
                                     + QStringLiteral("\r\n")));
}

QTEST_GUILESS_MAIN(TestCycleCartes)
#include "TestCycleCartes.moc"
