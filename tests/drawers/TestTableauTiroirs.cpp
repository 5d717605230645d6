#include "EmulateurCartes.h"

#include "base/JournalStatut.h"
#include "commun/DialoguesScriptes.h"
#include "commun/HorlogeTest.h"
#include "config/Configuration.h"
#include "drawers/LigneCartes.h"
#include "drawers/TableauTiroirs.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using Comportement = EmulateurCartes::Comportement;

namespace {
const QByteArray Z45 = QByteArrayLiteral("Z]");
const QByteArray Z44 = QByteArrayLiteral("Z\\");
constexpr int Rouge = TableauTiroirs::PasEnAttente;
constexpr int Vert = TableauTiroirs::AutoriseCde;
constexpr int Jaune = TableauTiroirs::CdeEnCours;
constexpr int Blanc = TableauTiroirs::NonInitialise;
} // namespace

// Une ligne ouverte sur l'émulateur et le tableau des tiroirs qui s'en sert.
struct Banc
{
    explicit Banc(Configuration& c)
        : ligne(journal, dialogues, c)
        , tiroirs(journal, horloge, ligne, c)
    {
    }
    QList<int> Couleurs() const
    {
        QList<int> couleurs;
        for (int n = 1; n <= 4; ++n)
            couleurs.append(tiroirs.Couleur(n));
        return couleurs;
    }
    // Lecture menée jusqu'au bout, sorties auxiliaires comprises.
    bool Lit(int n = 0)
    {
        tiroirs.LectureEtatTiroir(n);
        return QTest::qWaitFor([this] { return !tiroirs.LectureEnCours() && !ligne.EchangeEnCours(); }, 15000);
    }
    bool TesteLiaison()
    {
        tiroirs.Bt_Test_LiaisonCartes_Click();
        return QTest::qWaitFor([this] { return !ligne.EchangeEnCours(); }, 15000);
    }
    void Peint(const QList<int>& couleurs)
    {
        for (int n = 1; n <= couleurs.size(); ++n)
            tiroirs.MetCouleur(n, couleurs[n - 1]);
    }
    JournalStatut journal;
    HorlogeTest horloge;
    DialoguesScriptes dialogues;
    LigneCartes ligne;
    TableauTiroirs tiroirs;
};

class TestTableauTiroirs : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void lecture_data();
    void lecture();
    void lectureCarteMuette();
    void lectureRelitLaCouleur();
    void lectureCarteEnRetard_data();
    void lectureCarteEnRetard();
    void lectureSousRetard_data();
    void lectureSousRetard();
    void versionEnRetardNeRattrapePas();
    void carteFautive_data();
    void carteFautive();
    void auxZ45EnRetard();
    void lectureTroisTiroirs();
    void lectureCarteSansNom();
    void lectureSansCarte_data();
    void lectureSansCarte();
    void ouvreTiroir();
    void rechGareLibre_data();
    void rechGareLibre();
    void clicsEnSimulation();
    void testLiaisonCartes();
    void couleurChangee();

private:
    QList<QByteArray> Corps() const;
    std::unique_ptr<EmulateurCartes> m_emulateur;
    Configuration m_config;
};

void TestTableauTiroirs::init()
{
    m_emulateur = std::make_unique<EmulateurCartes>();
    QString erreur;
    QVERIFY2(m_emulateur->Ouvre(&erreur), qPrintable(erreur));
    m_emulateur->DeclareCarte(Z45);
    m_emulateur->DeclareCarte(Z44);
    m_config = Configuration();
    m_config.PortSerieImpose = m_emulateur->CheminEsclave();
}

void TestTableauTiroirs::cleanup()
{
    m_emulateur.reset();
}

QList<QByteArray> TestTableauTiroirs::Corps() const
{
    QList<QByteArray> corps;
    for (const auto& t : m_emulateur->Trames())
        corps.append(t.corps);
    return corps;
}

void TestTableauTiroirs::lecture_data()
{
    QTest::addColumn<QByteArray>("entrees45");
    QTest::addColumn<QByteArray>("entrees44");
    QTest::addColumn<QList<int>>("avant");
    QTest::addColumn<QList<int>>("apres");
    QTest::addColumn<QList<bool>>("horodate");
    QTest::addColumn<QList<QByteArray>>("trames");
    QTest::addColumn<QString>("journal");
    const QByteArray g45 = "GZ]L", g44 = "GZ\\L", x = "XZ]08";
    const QString aux = QStringLiteral("Aux8: OFF (Z45)\r\n");
    QTest::newRow("01 sur deux cartes")
        << QByteArray("01") << QByteArray("01") << QList<int>{ Rouge, Rouge, Rouge, Rouge }
        << QList<int>{ Vert, Rouge, Vert, Rouge } << QList<bool>{ true, false, true, false }
        << QList<QByteArray>{ g45, x, g44, x } << aux + aux;
    QTest::newRow("tiroir 1 jaune")
        << QByteArray("01") << QByteArray("01") << QList<int>{ Jaune, Rouge, Rouge, Rouge }
        << QList<int>{ Jaune, Rouge, Vert, Rouge } << QList<bool>{ false, false, true, false }
        << QList<QByteArray>{ g45, x, g44, x } << aux + aux;
    QTest::newRow("vert confirmé, 11 ne change rien")
        << QByteArray("10") << QByteArray("11") << QList<int>{ Jaune, Vert, Vert, Jaune }
        << QList<int>{ Jaune, Vert, Vert, Jaune } << QList<bool>{ false, true, false, false }
        << QList<QByteArray>{ g45, x, g44 } << aux;
    // Une charge qui n'est pas deux "0" ou "1" est une lecture fausse : l'échange a réussi
    // (pas de reprise), la charge est écrite telle qu'elle est revenue ; tiroirs rouges,
    // carte en retard. Les autres cartes sont lues.
    const QString retard45 = QStringLiteral(
        "carte Z45 en retard: tiroirs 1 et 2 rouges jusqu'a une reponse dans les temps\r\n");
    const QString retard44 = QStringLiteral(
        "carte Z44 en retard: tiroirs 3 et 4 rouges jusqu'a une reponse dans les temps\r\n");
    QTest::newRow("charge 1") << QByteArray("1") << QByteArray("11") << QList<int>{ Vert, Jaune, Vert, Vert }
                              << QList<int>{ Rouge, Rouge, Vert, Vert } << QList<bool>{ false, false, false, false }
                              << QList<QByteArray>{ g45, g44 } << "1\r\n" + retard45;
    QTest::newRow("charge 011") << QByteArray("11") << QByteArray("011") << QList<int>{ Vert, Vert, Jaune, Vert }
                                << QList<int>{ Vert, Vert, Rouge, Rouge } << QList<bool>{ false, false, false, false }
                                << QList<QByteArray>{ g45, g44 } << "011\r\n" + retard44;
    QTest::newRow("charge 0A") << QByteArray("0A") << QByteArray("11") << QList<int>{ Rouge, Vert, Vert, Vert }
                               << QList<int>{ Rouge, Rouge, Vert, Vert } << QList<bool>{ false, false, false, false }
                               << QList<QByteArray>{ g45, g44 } << "0A\r\n" + retard45;
}

void TestTableauTiroirs::lecture()
{
    QFETCH(QByteArray, entrees45);
    QFETCH(QByteArray, entrees44);
    QFETCH(QList<int>, avant);
    QFETCH(QList<int>, apres);
    QFETCH(QList<bool>, horodate);
    QFETCH(QList<QByteArray>, trames);
    QFETCH(QString, journal);
    m_emulateur->MetReponse(Z45, 'G', entrees45);
    m_emulateur->MetReponse(Z44, 'G', entrees44);
    Banc banc(m_config);
    QVERIFY(banc.ligne.OuvrePortComm());
    banc.Peint(avant);
    for (int n = 1; n <= 4; ++n)
        banc.tiroirs.MetHeureTiroirLibre(n, 5);
    banc.horloge.Regle(2000000);
    const int debutJournal = banc.journal.Texte().size();
    const int cessions = banc.horloge.NombreCessions();

    QVERIFY(banc.Lit());

    QCOMPARE(banc.Couleurs(), apres);
    for (int n = 1; n <= 4; ++n)
        QCOMPARE(banc.tiroirs.HeureTiroirLibre(n), horodate[n - 1] ? qint64(2000000) : qint64(5));
    QCOMPARE(Corps(), trames);
    QCOMPARE(banc.journal.Texte().mid(debutJournal), journal);
    QCOMPARE(banc.horloge.NombreCessions(), cessions); // rien ne cède la main
}

void TestTableauTiroirs::lectureCarteMuette()
{
    m_emulateur->MetReponse(Z45, 'G', "11");
    m_emulateur->MetComportement(Z44, Comportement::Silencieux);
    Banc banc(m_config);
    QVERIFY(banc.ligne.OuvrePortComm());
    banc.Peint({ Vert, Vert, Jaune, Vert });
    QVERIFY(banc.Lit());
    QCOMPARE(banc.Couleurs(), (QList<int>{ Vert, Vert, Rouge, Rouge }));
    // Un seul essai : une seconde trame "G" pourrait recevoir la réponse en retard de la première.
    QCOMPARE(Corps(), (QList<QByteArray>{ "GZ]L", "GZ\\L" }));
    QCOMPARE(banc.journal.Texte(), QStringLiteral("ouvre le COM1:9600,n,8,1\r\nErr: Time Out\r\ncarte Z44 en retard: "
                                                  "tiroirs 3 et 4 rouges jusqu'a une reponse dans les temps\r\n"));
}

void TestTableauTiroirs::lectureRelitLaCouleur()
{
    // Pendant la lecture, le cycle lance une commande vers le tiroir 2 : la lecture, quand
    // sa réponse arrive, doit voir ce tiroir jaune. Les deux entrées libres demandent la
    // sortie 8 : une seule trame part (la seconde attendait derrière la première), reprise
    // une fois faute de réponse.
    m_config.NbTiroirs = 2;
    m_emulateur->MetReponse(Z45, 'G', "00");
    m_emulateur->IgnoreProchaines(Z45, 'X', 1);
    Banc banc(m_config);
    QVERIFY(banc.ligne.OuvrePortComm());
    banc.Peint({ Rouge, Rouge });
    banc.tiroirs.MetHeureTiroirLibre(2, 7);
    QTimer::singleShot(0, &banc.tiroirs, [&] { banc.tiroirs.MetCouleur(2, Jaune); });
    QVERIFY(banc.Lit());
    QCOMPARE(banc.tiroirs.Couleur(1), Vert);
    QCOMPARE(banc.tiroirs.Couleur(2), Jaune);
    QCOMPARE(banc.tiroirs.HeureTiroirLibre(2), qint64(7));
    QCOMPARE(Corps(), (QList<QByteArray>{ "GZ]L", "XZ]08", "XZ]08" }));
}

void TestTableauTiroirs::lectureCarteEnRetard_data()
{
    // Z45 répond 1050 ms après chaque trame (délai 1000 ms) avec "00" ; Z44 lit "11"
    // (tiroirs 3 et 4 occupés). La réponse en retard de Z45 ne doit jamais être lue
    // comme celle de Z44 : les tiroirs 3 et 4 ne deviennent pas verts.
    QTest::addColumn<int>("retard44");
    QTest::addColumn<QList<int>>("apres");
    QTest::addColumn<QString>("journal");
    const QString jete45Avant44 =
        QStringLiteral("ligne des cartes: 7 octets recus hors echange jetes avant GZ\\L: /A005F<0D>\r\n");
    const QString retard45 = QStringLiteral(
        "Err: Time Out\r\ncarte Z45 en retard: tiroirs 1 et 2 rouges jusqu'a une reponse dans les temps\r\n");
    const QString retard44 = QStringLiteral(
        "Err: Time Out\r\ncarte Z44 en retard: tiroirs 3 et 4 rouges jusqu'a une reponse dans les temps\r\n");
    QTest::newRow("Z44 à l'heure") << 0 << QList<int>{ Rouge, Rouge, Vert, Vert } << retard45 + jete45Avant44;
    QTest::newRow("Z44 en retard aussi")
        << 1050 << QList<int>{ Rouge, Rouge, Rouge, Rouge } << retard45 + jete45Avant44 + retard44;
}

void TestTableauTiroirs::lectureCarteEnRetard()
{
    QFETCH(int, retard44);
    QFETCH(QList<int>, apres);
    QFETCH(QString, journal);
    m_emulateur->MetReponse(Z45, 'G', "00");
    m_emulateur->MetReponse(Z44, 'G', "11");
    m_emulateur->MetRetard(Z45, 1050);
    m_emulateur->MetRetard(Z44, retard44);
    Banc banc(m_config);
    QVERIFY(banc.ligne.OuvrePortComm());
    banc.Peint({ Vert, Vert, Vert, Vert });
    const int debut = banc.journal.Texte().size();
    QVERIFY(banc.Lit());
    QCOMPARE(banc.Couleurs(), apres);
    QCOMPARE(banc.journal.Texte().mid(debut), journal);
    QVERIFY(!Corps().contains(QByteArray("XZ]08")));
}

void TestTableauTiroirs::lectureSousRetard_data()
{
    QTest::addColumn<int>("retard");
    QTest::addColumn<bool>("retour");
    QTest::newRow("1260 ms, puis à l'heure") << 1260 << true;
    QTest::newRow("1600 ms") << 1600 << false;
    QTest::newRow("2000 ms") << 2000 << false;
    QTest::newRow("5000 ms") << 5000 << false;
}

void TestTableauTiroirs::lectureSousRetard()
{
    // Z45 répond "00" (libres) en retard ; Z44, à l'heure, "11" (occupés). Passes à la
    // suite pendant quelques secondes : aucune réponse en retard n'est jamais prise pour
    // une lecture (aucun tiroir ne passe au vert), Z44 est lu à son rythme et Z45 ne
    // reçoit plus qu'une trame "V" toutes les 5 s.
    QFETCH(int, retard);
    QFETCH(bool, retour);
    m_emulateur->MetReponse(Z45, 'G', "00");
    m_emulateur->MetReponse(Z44, 'G', "11");
    Banc banc(m_config);
    QVERIFY(banc.ligne.OuvrePortComm());
    QVERIFY(banc.TesteLiaison());
    banc.Peint({ Rouge, Rouge, Rouge, Rouge });
    QList<int> verts;
    connect(&banc.tiroirs, &TableauTiroirs::couleurChangee, this, [&](int tiroir, int couleur) {
        if (couleur == Vert)
            verts.append(tiroir);
    });
    m_emulateur->MetRetard(Z45, retard);
    m_emulateur->OublieTrames();
    const int debut = banc.journal.Texte().size();
    const qint64 duree = qMax(3000, retard + 1500);
    QElapsedTimer chrono;
    chrono.start();
    while (chrono.elapsed() < duree)
        QVERIFY(banc.Lit());

    QCOMPARE(verts, QList<int>());
    QCOMPARE(banc.Couleurs(), (QList<int>{ Rouge, Rouge, Rouge, Rouge }));
    const QList<QByteArray> corps = Corps();
    QCOMPARE(corps.count("GZ]L"), 1);
    QVERIFY2(corps.count("VZ]") <= 1 + duree / SuiviCartes::IntervalleResynchroMs, qPrintable(QString::number(corps.count("VZ]"))));
    QVERIFY2(corps.count("GZ\\L") >= 20, qPrintable(QString::number(corps.count("GZ\\L"))));
    const QString journal = banc.journal.Texte().mid(debut);
    QCOMPARE(journal.count(QStringLiteral("carte Z45 en retard: tiroirs 1 et 2 rouges jusqu'a une reponse dans les temps")), 1);
    QVERIFY(!journal.contains(QStringLiteral("Z44 en retard")));
    if (!retour)
        return;
    // La carte répond de nouveau dans son délai : une version, puis ses lectures.
    m_emulateur->MetRetard(Z45, 0);
    chrono.restart();
    while (chrono.elapsed() < SuiviCartes::IntervalleResynchroMs + 3000 && banc.tiroirs.Couleur(1) != Vert)
        QVERIFY(banc.Lit());
    QCOMPARE(banc.Couleurs(), (QList<int>{ Vert, Vert, Rouge, Rouge }));
    QVERIFY(banc.journal.Texte().contains(QStringLiteral("carte Z45 de nouveau dans les temps\r\n")));
}

void TestTableauTiroirs::versionEnRetardNeRattrapePas()
{
    // Une seule carte, qui répond 5,5 s après chaque trame : la version de sa première
    // trame "V" arrive pendant la suivante, partie 5 s plus tard. Elle ne répond pas à
    // cette trame-là et ne doit pas remettre la carte à l'heure.
    m_config.NbTiroirs = 2;
    m_emulateur->MetReponse(Z45, 'G', "00");
    Banc banc(m_config);
    QVERIFY(banc.ligne.OuvrePortComm());
    QVERIFY(banc.TesteLiaison());
    banc.Peint({ Rouge, Rouge });
    m_emulateur->MetRetard(Z45, 5500);
    QElapsedTimer chrono;
    chrono.start();
    while (chrono.elapsed() < 9000)
        QVERIFY(banc.Lit());
    QVERIFY(!banc.journal.Texte().contains(QStringLiteral("de nouveau dans les temps")));
    QCOMPARE(banc.tiroirs.Couleur(1), Rouge);
    QCOMPARE(banc.tiroirs.Couleur(2), Rouge);
}

void TestTableauTiroirs::carteFautive_data()
{
    // Trois cartes ; la première, Z45, est en panne de diverses façons. Les deux autres
    // lisent leurs entrées libres et doivent être lues à chaque passe.
    QTest::addColumn<int>("comportement");
    QTest::addColumn<bool>("versionSansLecture");
    QTest::addColumn<QString>("echec");
    QTest::newRow("muette") << int(Comportement::Silencieux) << false << "Err: Time Out";
    QTest::newRow("somme fausse") << int(Comportement::SommeFausse) << false << "Err: check sum incorrecte";
    QTest::newRow("NUL dans la réponse") << int(Comportement::Nul) << false << "0<00>0";
    QTest::newRow("bruit sans fin") << int(Comportement::Bavarde) << false << "Err: reponse trop longue";
    QTest::newRow("répond à V, jamais à G") << int(Comportement::Normal) << true << "Err: Time Out";
}

void TestTableauTiroirs::carteFautive()
{
    QFETCH(int, comportement);
    QFETCH(bool, versionSansLecture);
    QFETCH(QString, echec);
    const QByteArray z43 = QByteArrayLiteral("Z[");
    m_config.NbTiroirs = 6;
    m_emulateur->DeclareCarte(z43);
    m_emulateur->MetReponse(Z45, 'G', "00");
    m_emulateur->MetReponse(Z44, 'G', "00");
    m_emulateur->MetReponse(z43, 'G', "00");
    Banc banc(m_config);
    QVERIFY(banc.ligne.OuvrePortComm());
    QVERIFY(banc.TesteLiaison());
    m_emulateur->MetComportement(Z45, Comportement(comportement));
    if (versionSansLecture)
        m_emulateur->IgnoreProchaines(Z45, 'G', 1000);
    banc.tiroirs.OuvreTiroir(0);
    m_emulateur->OublieTrames();
    // Le journal de la fenêtre repart à zéro au-delà de 20 000 caractères : les lignes
    // sont gardées ici.
    QString journal;
    connect(&banc.journal, &JournalStatut::texteAjoute, this, [&](const QString& morceau) { journal += morceau; });
    QSignalSpy etats(&banc.tiroirs, &TableauTiroirs::etatCarteChange);

    int passes = 0;
    QElapsedTimer chrono;
    chrono.start();
    while (chrono.elapsed() < 3000) {
        QVERIFY(banc.Lit());
        ++passes;
    }
    QList<int> couleurs;
    for (int n = 1; n <= 6; ++n)
        couleurs.append(banc.tiroirs.Couleur(n));
    QCOMPARE(couleurs, (QList<int>{ Rouge, Rouge, Vert, Vert, Vert, Vert }));
    // Une carte en panne coûte aux autres au plus un délai par passe : elles sont lues à
    // chaque passe (la première peut être écartée, le temps de prouver l'alignement).
    const QList<QByteArray> corps = Corps();
    QVERIFY2(passes >= 10, qPrintable(QString::number(passes)));
    QVERIFY2(corps.count("GZ\\L") == passes, qPrintable(QStringLiteral("%1 sur %2").arg(corps.count("GZ\\L")).arg(passes)));
    QVERIFY2(corps.count("GZ[L") == passes, qPrintable(QStringLiteral("%1 sur %2").arg(corps.count("GZ[L")).arg(passes)));
    const QStringList lignes = journal.split(QStringLiteral("\r\n"));
    const QString enRetard = QStringLiteral("carte Z45 en retard: tiroirs 1 et 2 rouges jusqu'a une reponse dans les temps");
    QCOMPARE(lignes.count(enRetard), 1);
    QCOMPARE(lignes.value(lignes.indexOf(enRetard) - 1), echec); // l'échec tel qu'il est revenu
    // Ce que la fenêtre montre : Z45 en retard dès la première passe, les deux autres répondent.
    QVERIFY(etats.size() >= 3);
    QCOMPARE(etats.at(0), (QVariantList{ QStringLiteral("Z45"), int(TableauTiroirs::CarteEnRetard) }));
    QCOMPARE(etats.at(1), (QVariantList{ QStringLiteral("Z44"), int(TableauTiroirs::CarteRepond) }));
    QCOMPARE(etats.at(2), (QVariantList{ QStringLiteral("Z43"), int(TableauTiroirs::CarteRepond) }));
}

void TestTableauTiroirs::auxZ45EnRetard()
{
    // Z45 (qui porte la sortie 8) répond 1100 ms après chaque trame, Z44 lit "00" : Z44 est
    // lue dès que la réponse en route de Z45 est arrivée, sans trame "X" vers Z45 en retard.
    m_emulateur->MetRetard(Z45, 1100);
    m_emulateur->MetReponse(Z44, 'G', "00");
    Banc banc(m_config);
    QVERIFY(banc.ligne.OuvrePortComm());
    banc.Peint({ Rouge, Rouge, Rouge, Rouge });
    const int debut = banc.journal.Texte().size();
    QElapsedTimer chrono;
    chrono.start();
    QVERIFY(banc.Lit());
    QVERIFY2(chrono.elapsed() < 1600, qPrintable(QString::number(chrono.elapsed())));
    QCOMPARE(Corps(), (QList<QByteArray>{ "GZ]L", "GZ\\L" }));
    QCOMPARE(banc.Couleurs(), (QList<int>{ Rouge, Rouge, Vert, Vert }));
    const QString erreurAux = QStringLiteral("Aux8: OFF (Z45)\r\nerreur (Z45) Aux8 OFF\r\n");
    QCOMPARE(banc.journal.Texte().mid(debut),
             QStringLiteral("Err: Time Out\r\ncarte Z45 en retard: tiroirs 1 et 2 rouges jusqu'a une reponse dans les "
                            "temps\r\nligne des cartes: 7 octets recus hors echange jetes avant GZ\\L: /A115D<0D>\r\n")
                 + erreurAux + erreurAux);
}

void TestTableauTiroirs::lectureTroisTiroirs()
{
    m_config.NbTiroirs = 3;
    m_emulateur->MetReponse(Z45, 'G', "11");
    m_emulateur->MetReponse(Z44, 'G', "00");
    Banc banc(m_config);
    QVERIFY(banc.ligne.OuvrePortComm());
    banc.tiroirs.OuvreTiroir(0);
    banc.tiroirs.MetCouleur(4, Rouge);
    QVERIFY(banc.Lit());
    QCOMPARE(Corps(), (QList<QByteArray>{ "GZ]L", "GZ\\L", "XZ]08" }));
    QCOMPARE(banc.Couleurs(), (QList<int>{ Rouge, Rouge, Vert, Vert })); // le libellé 4, caché, suit la carte
    for (int appel = 0; appel < 6; ++appel)
        QCOMPARE(banc.tiroirs.RechGareLibre(), QStringLiteral("003"));
}

void TestTableauTiroirs::lectureCarteSansNom()
{
    m_config.NomCarteExt[1] = QString();
    m_config.NomCarteExt[2] = QStringLiteral("Z300");
    Banc banc(m_config);
    QVERIFY(banc.ligne.OuvrePortComm());
    banc.Peint({ Vert, Vert, Vert, Vert });
    QVERIFY(banc.Lit());
    QCOMPARE(banc.Couleurs(), (QList<int>{ Vert, Vert, Rouge, Rouge }));
    QCOMPARE(banc.journal.Texte(), QStringLiteral("ouvre le COM1:9600,n,8,1\r\nErr: nom de carte incorrect\r\n"));
    QTest::qWait(50);
    QCOMPARE(m_emulateur->Trames().size(), 0);
}

void TestTableauTiroirs::lectureSansCarte_data()
{
    QTest::addColumn<QString>("lectReelle");
    QTest::addColumn<int>("n");
    QTest::newRow("simulation") << "N" << 0;
    QTest::newRow("un seul tiroir") << "O" << 2;
    QTest::newRow("au-delà de Nb_Tiroirs") << "O" << 5;
    QTest::newRow("négatif") << "O" << -1;
}

void TestTableauTiroirs::lectureSansCarte()
{
    // Rien n'est demandé aux cartes : la lecture finit dans l'appel, sans attente.
    QFETCH(QString, lectReelle);
    QFETCH(int, n);
    m_config.LectReelleEtatTiroirs = lectReelle;
    m_emulateur->MetReponse(Z45, 'G', "00");
    Banc banc(m_config);
    QVERIFY(banc.ligne.OuvrePortComm());
    banc.Peint({ Rouge, Rouge, Rouge, Rouge });
    QSignalSpy fin(&banc.tiroirs, &TableauTiroirs::lectureTerminee);
    banc.tiroirs.LectureEtatTiroir(n);
    QCOMPARE(fin.size(), 1);
    QVERIFY(!banc.tiroirs.LectureEnCours());
    QCOMPARE(banc.Couleurs(), (QList<int>{ Rouge, Rouge, Rouge, Rouge }));
    QTest::qWait(50);
    QCOMPARE(m_emulateur->Trames().size(), 0);
}

void TestTableauTiroirs::ouvreTiroir()
{
    m_config.NbTiroirs = 3;
    Banc banc(m_config);
    banc.tiroirs.Initialise();
    QCOMPARE(banc.Couleurs(), (QList<int>{ Blanc, Blanc, Blanc, Blanc }));
    banc.tiroirs.MetHeureTiroirLibre(2, 9);
    QCOMPARE(banc.tiroirs.OuvreTiroir(0), QString());
    QCOMPARE(banc.journal.Texte(),
             QStringLiteral("libere tiroir: 1   \r\nlibere tiroir: 2   \r\nlibere tiroir: 3   \r\n"));
    QCOMPARE(banc.horloge.NombreCessions(), 0);
    QCOMPARE(banc.Couleurs(), (QList<int>{ Rouge, Rouge, Rouge, Blanc }));
    QCOMPARE(banc.tiroirs.HeureTiroirLibre(2), qint64(9)); // libérer ne touche pas l'horodatage

    banc.tiroirs.MetCouleur(2, Jaune);
    banc.tiroirs.OuvreTiroir(2);
    banc.tiroirs.OuvreTiroir(4);
    banc.tiroirs.OuvreTiroir(-3);
    QCOMPARE(banc.journal.Texte().mid(63), QStringLiteral("libere tiroir: 2   \r\n"));
    QCOMPARE(banc.tiroirs.Couleur(2), Rouge);
    QCOMPARE(banc.horloge.NombreCessions(), 0);

    banc.tiroirs.Initialise();
    QCOMPARE(banc.tiroirs.HeureTiroirLibre(2), qint64(0));
    QCOMPARE(banc.tiroirs.Couleur(1), Blanc);
}

void TestTableauTiroirs::rechGareLibre_data()
{
    QTest::addColumn<QList<int>>("couleurs");
    QTest::addColumn<QStringList>("suite");
    QTest::newRow("tous verts") << QList<int>{ Vert, Vert, Vert, Vert }
                                << QStringList{ "001", "002", "003", "004", "001" };
    QTest::newRow("seul le 2") << QList<int>{ Rouge, Vert, Jaune, Rouge } << QStringList{ "002", "002", "002" };
    QTest::newRow("aucun") << QList<int>{ Rouge, Jaune, Blanc, Rouge } << QStringList{ "", "", "", "", "" };
    QTest::newRow("1 et 3") << QList<int>{ Vert, Rouge, Vert, Jaune } << QStringList{ "001", "003", "003", "001" };
}

void TestTableauTiroirs::rechGareLibre()
{
    QFETCH(QList<int>, couleurs);
    QFETCH(QStringList, suite);
    Banc banc(m_config);
    banc.Peint(couleurs);
    QStringList obtenus;
    for (int i = 0; i < suite.size(); ++i)
        obtenus.append(banc.tiroirs.RechGareLibre());
    QCOMPARE(obtenus, suite);
}

void TestTableauTiroirs::clicsEnSimulation()
{
    m_config.LectReelleEtatTiroirs = QStringLiteral("N");
    Banc banc(m_config);
    QVERIFY(banc.ligne.OuvrePortComm());
    banc.tiroirs.OuvreTiroir(0);
    QCOMPARE(banc.tiroirs.RechGareLibre(), QString()); // départ suivant : tiroir 2
    const int debut = banc.journal.Texte().size();
    banc.horloge.Regle(3000000);

    banc.tiroirs.Lbl_Tiroir_Click(2);
    QCOMPARE(banc.tiroirs.Couleur(2), Vert);
    QCOMPARE(banc.tiroirs.HeureTiroirLibre(2), qint64(3000000));
    QCOMPARE(banc.journal.Texte().mid(debut), QStringLiteral("Aux8: OFF (Z45)\r\n"));
    QCOMPARE(banc.tiroirs.RechGareLibre(), QStringLiteral("002"));

    banc.tiroirs.Lbl_Tiroir_Click(2);
    QCOMPARE(banc.tiroirs.Couleur(2), Rouge);
    QCOMPARE(banc.journal.Texte().mid(debut), QStringLiteral("Aux8: OFF (Z45)\r\nlibere tiroir: 2   \r\n"));

    banc.tiroirs.MetCouleur(3, Jaune);
    banc.tiroirs.Lbl_Tiroir_Click(3);
    QCOMPARE(banc.tiroirs.Couleur(3), Rouge);
    banc.tiroirs.Lbl_Tiroir_Click(5);
    banc.tiroirs.Lbl_Tiroir_Click(0);
    QCOMPARE(banc.journal.Texte().mid(debut),
             QStringLiteral("Aux8: OFF (Z45)\r\nlibere tiroir: 2   \r\nlibere tiroir: 3   \r\n"));
    QCOMPARE(banc.Couleurs(), (QList<int>{ Rouge, Rouge, Rouge, Rouge }));
    QTest::qWait(50);
    QCOMPARE(m_emulateur->Trames().size(), 0);
}

void TestTableauTiroirs::testLiaisonCartes()
{
    // Les trames partent même en simulation ; la carte "Z44" ne répond pas.
    m_config.LectReelleEtatTiroirs = QStringLiteral("N");
    m_config.NbTiroirs = 3;
    m_emulateur->MetReponse(Z45, 'V', "GRI2\x1b");
    m_emulateur->MetComportement(Z44, Comportement::Silencieux);
    Banc banc(m_config);
    QVERIFY(banc.ligne.OuvrePortComm());
    banc.Peint({ Rouge, Vert, Jaune, Blanc });
    QVERIFY(banc.TesteLiaison());
    QCOMPARE(banc.journal.Texte(), QStringLiteral("ouvre le COM1:9600,n,8,1\r\ntest de liaison avec les cartes...\r\n"
                                                  "Carte: Z45: GRI2<1B>\r\nCarte: Z44: Err: Time Out\r\n"));
    QCOMPARE(Corps(), (QList<QByteArray>{ "VZ]", "VZ\\", "VZ\\" }));
    QCOMPARE(banc.horloge.NombreCessions(), 0); // la pause de 0,4 s est une minuterie
    QCOMPARE(banc.Couleurs(), (QList<int>{ Rouge, Vert, Jaune, Blanc }));
}

void TestTableauTiroirs::couleurChangee()
{
    Banc banc(m_config);
    QSignalSpy espion(&banc.tiroirs, &TableauTiroirs::couleurChangee);
    banc.tiroirs.MetCouleur(1, Vert);
    banc.tiroirs.MetCouleur(1, Vert);
    banc.tiroirs.MetCouleur(9, Vert);
    banc.tiroirs.OuvreTiroir(0);
    QCOMPARE(espion.size(), 5);
    QCOMPARE(espion.at(0), (QVariantList{ 1, Vert }));
    QCOMPARE(espion.at(1), (QVariantList{ 1, Rouge }));
    QCOMPARE(espion.at(4), (QVariantList{ 4, Rouge }));
    QCOMPARE(banc.tiroirs.Couleur(9), 0);
}

QTEST_MAIN(TestTableauTiroirs)
#include "TestTableauTiroirs.moc"
