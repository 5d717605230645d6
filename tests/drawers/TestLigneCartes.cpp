#include "EmulateurCartes.h"

#include "base/HorlogeSysteme.h"
#include "base/JournalStatut.h"
#include "commun/DialoguesScriptes.h"
#include "commun/HorlogeTest.h"
#include "config/Configuration.h"
#include "drawers/LigneCartes.h"
#include "drawers/TrameCartes.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <ctime>

using Comportement = EmulateurCartes::Comportement;

namespace {
const QByteArray Z45 = QByteArrayLiteral("Z]");
const QByteArray Z44 = QByteArrayLiteral("Z\\");

QList<QByteArray> Corps(const EmulateurCartes& emulateur)
{
    QList<QByteArray> corps;
    for (const auto& t : emulateur.Trames())
        corps.append(t.corps);
    return corps;
}

// Un échange mené jusqu'au bout : la boucle d'événements du test tourne pendant ce temps.
QByteArray Echange(LigneCartes& ligne, const QByteArray& corps, int delaiMs)
{
    QByteArray resultat;
    bool fini = false;
    ligne.EnvoiEtReponseGrindel2(corps, delaiMs, &ligne, [&](const QByteArray& r) {
        resultat = r;
        fini = true;
    });
    if (!QTest::qWaitFor([&] { return fini; }, 2 * delaiMs + 3000))
        return QByteArrayLiteral("pas fini");
    return resultat;
}

// Sortie auxiliaire menée jusqu'au bout ; nul quand rien n'a été mis en file.
QByteArray Aux(LigneCartes& ligne, const QString& numAux, const QString& etatAux)
{
    QByteArray resultat;
    bool fini = false;
    const bool enFile = ligne.AuxGri2(numAux, etatAux, [&](const QByteArray& r) {
        resultat = r;
        fini = true;
    });
    if (!enFile && !fini)
        return QByteArray();
    if (!QTest::qWaitFor([&] { return fini; }, 5000))
        return QByteArrayLiteral("pas fini");
    return resultat;
}

int Occurrences(const QString& journal, const QString& ligne)
{
    return journal.split(QStringLiteral("\r\n")).count(ligne);
}
} // namespace

class TestLigneCartes : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void ouvertureEtFermeture();
    void echecOuverture_data();
    void echecOuverture();
    void reglageIllisibleNonFatal_data();
    void reglageIllisibleNonFatal();
    void cheminRelatifImpose();
    void echange_data();
    void echange();
    void repriseApresPause();
    void deuxReponsesEnAttente();
    void carteEnRetard_data();
    void carteEnRetard();
    void longueurReponse_data();
    void longueurReponse();
    void inondation_data();
    void inondation();
    void caracteresSansCrPerdus();
    void portNonOuvert();
    void auxGri2_data();
    void auxGri2();
    void auxGri2Simulation();
    void auxGri2Echec();
    void echangesNeSeMelentPas();
    void perteDuPeripherique();
    void perteEnPleinEchange();

private:
    std::unique_ptr<EmulateurCartes> m_emulateur;
    std::unique_ptr<QTemporaryDir> m_dossier;
    Configuration m_config;
};

void TestLigneCartes::init()
{
    m_emulateur = std::make_unique<EmulateurCartes>();
    QString erreur;
    QVERIFY2(m_emulateur->Ouvre(&erreur), qPrintable(erreur));
    m_emulateur->DeclareCarte(Z45);
    m_dossier = std::make_unique<QTemporaryDir>();
    m_config = Configuration();
    m_config.PortSerieImpose = m_emulateur->CheminEsclave();
}

void TestLigneCartes::cleanup()
{
    m_emulateur.reset();
    m_dossier.reset();
}

void TestLigneCartes::ouvertureEtFermeture()
{
    JournalStatut journal;
    HorlogeTest horloge;
    DialoguesScriptes dialogues;
    LigneCartes ligne(journal, dialogues, m_config);
    QVERIFY(ligne.OuvrePortComm());
    QVERIFY(ligne.EstOuvert());
    QVERIFY(ligne.OuvrePortComm());
    ligne.FermePortComm();
    ligne.FermePortComm();
    QVERIFY(!ligne.EstOuvert());
    QCOMPARE(journal.Texte(), QStringLiteral("ouvre le COM1:9600,n,8,1\r\nport com deja ouvert\r\nferme port COM\r\n"));
    QVERIFY(dialogues.Boites().isEmpty());
}

void TestLigneCartes::echecOuverture_data()
{
    QTest::addColumn<QString>("param");
    QTest::addColumn<bool>("impose");
    QTest::addColumn<bool>("dejaTenu");
    QTest::addColumn<QString>("texte");
    QTest::addColumn<QString>("conseil");
    const QString inconnu = QStringLiteral("Il n'existe pas : vérifiez que l'adaptateur des cartes est branché et le "
                                           "nom du port (--port-serie, ou le numéro avant « : » dans Param_Com_Tiroirs).");
    QTest::newRow("inconnu, chemin imposé") << "2:9600,n,8,1" << true << false << "Le port COM2 est inconnu" << inconnu;
    QTest::newRow("inconnu, /dev/ttyS299") << "300:9600,n,8,1" << false << false << "Le port COM300 est inconnu"
                                           << inconnu;
    QTest::newRow("tenu par un autre") << "3:9600,n,8,1" << true << true << "Le port COM3 est deja utilise"
                                       << "Un autre programme le tient ouvert (une autre copie de Pelorane, un "
                                          "terminal) : fermez-le, puis relancez Pelorane.";
}

void TestLigneCartes::echecOuverture()
{
    QFETCH(QString, param);
    QFETCH(bool, impose);
    QFETCH(bool, dejaTenu);
    QFETCH(QString, texte);
    QFETCH(QString, conseil);
    m_config.ParamComTiroirs = param;
    if (!impose)
        m_config.PortSerieImpose.clear();
    else if (!dejaTenu)
        m_config.PortSerieImpose = m_dossier->filePath(QStringLiteral("absent"));

    JournalStatut journalAutre;
    HorlogeTest horloge;
    DialoguesScriptes dialoguesAutre;
    LigneCartes autre(journalAutre, dialoguesAutre, m_config);
    if (dejaTenu)
        QVERIFY(autre.OuvrePortComm());

    JournalStatut journal;
    DialoguesScriptes dialogues;
    LigneCartes ligne(journal, dialogues, m_config);
    QVERIFY(!ligne.OuvrePortComm());
    QVERIFY(!ligne.EstOuvert());
    QCOMPARE(journal.Texte(), QStringLiteral("ouvre le COM") + param + QStringLiteral("\r\n"));
    QCOMPARE(dialogues.Boites().size(), 1);
    const auto& boite = dialogues.Boites().first();
    QCOMPARE(boite.icone, Dialogues::Icone::Exclamation);
    QCOMPARE(boite.titre, QStringLiteral("erreur ouverture port COM"));
    // Le texte d'origine, puis le périphérique essayé et quoi vérifier.
#ifdef Q_OS_WIN
    const QString parDefaut = QStringLiteral("COM300");
#else
    const QString parDefaut = QStringLiteral("/dev/ttyS299");
#endif
    const QString peripherique = impose ? QDir::toNativeSeparators(m_config.PortSerieImpose) : parDefaut;
    QCOMPARE(boite.texte, texte + QStringLiteral("\r\rPériphérique essayé : ") + peripherique + QStringLiteral("\r") + conseil);
    QVERIFY(!boite.question);
}

void TestLigneCartes::reglageIllisibleNonFatal_data()
{
    QTest::addColumn<QString>("param");
    QTest::newRow("sans deux-points") << "9600,n,8,1";
    QTest::newRow("parité inconnue") << "1:9600,x,8,1";
    QTest::newRow("numéro illisible") << "a:9600,n,8,1";
}

void TestLigneCartes::reglageIllisibleNonFatal()
{
    QFETCH(QString, param);
    m_config.ParamComTiroirs = param;
    JournalStatut journal;
    HorlogeTest horloge;
    DialoguesScriptes dialogues;
    LigneCartes ligne(journal, dialogues, m_config);
    QVERIFY(ligne.OuvrePortComm());
    QCOMPARE(journal.Texte(), QStringLiteral("Erreur non fatale dans OuvrePortComm\r\nouvre le COM") + param
                                  + QStringLiteral("\r\n"));
    QCOMPARE(Echange(ligne, "VZ]", 500), QByteArray("V1.0"));
}

void TestLigneCartes::cheminRelatifImpose()
{
    const QString lien = m_dossier->filePath(QStringLiteral("cartes"));
    QVERIFY(QFile::link(m_emulateur->CheminEsclave(), lien));
    const QString avant = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dossier->path()));
    m_config.PortSerieImpose = QStringLiteral("cartes");
    JournalStatut journal;
    HorlogeTest horloge;
    DialoguesScriptes dialogues;
    LigneCartes ligne(journal, dialogues, m_config);
    const bool ouvert = ligne.OuvrePortComm();
    QDir::setCurrent(avant);
    QVERIFY(ouvert);
    QCOMPARE(Echange(ligne, "VZ]", 500), QByteArray("V1.0"));
}

void TestLigneCartes::echange_data()
{
    QTest::addColumn<int>("comportement");
    QTest::addColumn<QByteArray>("resultat");
    QTest::addColumn<int>("trames");
    QTest::newRow("bonne réponse") << int(Comportement::Normal) << QByteArray("01") << 1;
    QTest::newRow("en morceaux") << int(Comportement::EnMorceaux) << QByteArray("01") << 1;
    QTest::newRow("muette") << int(Comportement::Silencieux) << QByteArray("Err: Time Out") << 2;
    QTest::newRow("somme fausse") << int(Comportement::SommeFausse) << QByteArray("Err: check sum incorrecte") << 2;
    QTest::newRow("somme minuscule") << int(Comportement::SommeMinuscule)
                                     << QByteArray("Err: check sum incorrecte") << 2;
}

void TestLigneCartes::echange()
{
    QFETCH(int, comportement);
    QFETCH(QByteArray, resultat);
    QFETCH(int, trames);
    m_emulateur->MetReponse(Z45, 'G', "01"); // somme "5E" : une lettre à mettre en minuscule
    m_emulateur->MetComportement(Z45, Comportement(comportement));
    JournalStatut journal;
    DialoguesScriptes dialogues;
    LigneCartes ligne(journal, dialogues, m_config);
    QVERIFY(ligne.OuvrePortComm());

    QElapsedTimer chrono;
    chrono.start();
    QCOMPARE(Echange(ligne, "GZ]L", 400), resultat);
    const qint64 duree = chrono.elapsed();
    QCOMPARE(Corps(*m_emulateur), QList<QByteArray>(trames, QByteArray("GZ]L")));
    if (Comportement(comportement) == Comportement::Silencieux) {
        // Deux délais dépassés et la pause de 0,4 s entre les essais.
        QVERIFY2(duree >= 1200 && duree < 2000, qPrintable(QString::number(duree)));
    }
    QCOMPARE(journal.Texte(), QStringLiteral("ouvre le COM1:9600,n,8,1\r\n"));
}

void TestLigneCartes::repriseApresPause()
{
    m_emulateur->IgnoreProchaines(Z45, 'V', 1);
    JournalStatut journal;
    HorlogeSysteme horloge;
    DialoguesScriptes dialogues;
    LigneCartes ligne(journal, dialogues, m_config);
    QVERIFY(ligne.OuvrePortComm());
    const int delai = 150;
    QCOMPARE(Echange(ligne, "VZ]", delai), QByteArray("V1.0"));
    const auto trames = m_emulateur->Trames();
    QCOMPARE(trames.size(), 2);
    QCOMPARE(trames[0].brute, QByteArray::fromHex("1B565A5D46330D"));
    QCOMPARE(trames[1].brute, trames[0].brute);
    const qint64 ecart = trames[1].instantMs - trames[0].instantMs;
    QVERIFY2(ecart >= delai + 400, qPrintable(QString::number(ecart)));
}

void TestLigneCartes::deuxReponsesEnAttente()
{
    // La seconde réponse attend dans le port : elle ne répond à aucune trame et part
    // avant la trame suivante, avec une ligne au journal.
    m_emulateur->MetReponse(Z45, 'G', "01");
    m_emulateur->MetSecondeReponse(Z45, "10");
    m_emulateur->MetComportement(Z45, Comportement::DeuxReponses);
    JournalStatut journal;
    HorlogeTest horloge;
    DialoguesScriptes dialogues;
    LigneCartes ligne(journal, dialogues, m_config);
    QVERIFY(ligne.OuvrePortComm());
    QCOMPARE(Echange(ligne, "GZ]L", 400), QByteArray("01"));
    QVERIFY(m_emulateur->AttendTrames(1, 1000));
    QTest::qWait(50); // la seconde réponse est là, dans le port
    m_emulateur->MetComportement(Z45, Comportement::Silencieux);
    QCOMPARE(Echange(ligne, "GZ]L", 200), QByteArray("Err: Time Out"));
    QCOMPARE(Corps(*m_emulateur), QList<QByteArray>(3, QByteArray("GZ]L")));
    QCOMPARE(journal.Texte(), QStringLiteral("ouvre le COM1:9600,n,8,1\r\n"
                                             "ligne des cartes: 7 octets recus hors echange jetes avant GZ]L: "
                                             "/A105E<0D>\r\n"));
}

void TestLigneCartes::carteEnRetard_data()
{
    // Deux cartes interrogées l'une après l'autre, délai de 300 ms. Une réponse en
    // retard ne doit jamais passer pour celle de la carte suivante.
    QTest::addColumn<int>("retard45");
    QTest::addColumn<int>("retard44");
    QTest::addColumn<QByteArray>("resultat45");
    QTest::addColumn<QByteArray>("resultat44");
    QTest::addColumn<QStringList>("jetes");
    const QString avant45 = QStringLiteral("ligne des cartes: 7 octets recus hors echange jetes avant GZ]L: ");
    const QString avant44 = QStringLiteral("ligne des cartes: 7 octets recus hors echange jetes avant GZ\\L: ");
    const QString rep45 = QStringLiteral("/A015E<0D>");
    const QString rep44 = QStringLiteral("/A105E<0D>");
    QTest::newRow("à l'heure") << 0 << 0 << QByteArray("01") << QByteArray("10") << QStringList();
    QTest::newRow("en retard dans le délai") << 200 << 0 << QByteArray("01") << QByteArray("10") << QStringList();
    QTest::newRow("Z45 juste après son délai")
        << 350 << 0 << QByteArray("Err: Time Out") << QByteArray("10") << QStringList{ avant45 + rep45, avant44 + rep45 };
    QTest::newRow("les deux juste après leur délai")
        << 350 << 350 << QByteArray("Err: Time Out") << QByteArray("Err: Time Out")
        << QStringList{ avant45 + rep45, avant44 + rep45, avant44 + rep44, avant45 + rep44 };
}

void TestLigneCartes::carteEnRetard()
{
    QFETCH(int, retard45);
    QFETCH(int, retard44);
    QFETCH(QByteArray, resultat45);
    QFETCH(QByteArray, resultat44);
    QFETCH(QStringList, jetes);
    m_emulateur->MetReponse(Z45, 'G', "01");
    m_emulateur->MetReponse(Z44, 'G', "10");
    m_emulateur->MetRetard(Z45, retard45);
    m_emulateur->MetRetard(Z44, retard44);
    JournalStatut journal;
    HorlogeTest horloge;
    DialoguesScriptes dialogues;
    LigneCartes ligne(journal, dialogues, m_config);
    QVERIFY(ligne.OuvrePortComm());
    const int debut = journal.Texte().size();
    QCOMPARE(Echange(ligne, "GZ]L", 300), resultat45);
    QCOMPARE(Echange(ligne, "GZ\\L", 300), resultat44);

    // Les cartes redeviennent rapides : chacune lit ses propres entrées dès la passe suivante.
    m_emulateur->MetRetard(Z45, 0);
    m_emulateur->MetRetard(Z44, 0);
    QCOMPARE(Echange(ligne, "GZ]L", 300), QByteArray("01"));
    QCOMPARE(Echange(ligne, "GZ\\L", 300), QByteArray("10"));
    QStringList lignes = journal.Texte().mid(debut).split(QStringLiteral("\r\n"));
    QCOMPARE(lignes.takeLast(), QString());
    QCOMPARE(lignes, jetes);
}

void TestLigneCartes::longueurReponse_data()
{
    QTest::addColumn<int>("longueurCharge");
    QTest::addColumn<QByteArray>("resultat");
    QTest::addColumn<int>("trames");
    // Ligne = "/", le caractère qui suit, la charge et la somme : charge + 4 octets.
    QTest::newRow("ligne de 256 octets") << 252 << QByteArray(252, 'x') << 1;
    QTest::newRow("ligne de 257 octets") << 253 << QByteArray("Err: reponse trop longue") << 2;
    QTest::newRow("ligne de 4000 octets") << 3996 << QByteArray("Err: reponse trop longue") << 2;
}

void TestLigneCartes::longueurReponse()
{
    QFETCH(int, longueurCharge);
    QFETCH(QByteArray, resultat);
    QFETCH(int, trames);
    m_emulateur->MetReponse(Z45, 'V', QByteArray(longueurCharge, 'x'));
    JournalStatut journal;
    HorlogeTest horloge;
    DialoguesScriptes dialogues;
    LigneCartes ligne(journal, dialogues, m_config);
    QVERIFY(ligne.OuvrePortComm());
    QCOMPARE(Echange(ligne, "VZ]", 400), resultat);
    QCOMPARE(Corps(*m_emulateur).size(), trames);
    QVERIFY(ligne.OctetsRetenus() <= LongueurMaxReponse + 1 + LigneCartes::TamponPortMax);
}

void TestLigneCartes::inondation_data()
{
    QTest::addColumn<QByteArray>("motif");
    QTest::newRow("lignes de bruit") << QByteArray("bruit sur la ligne\r");
    QTest::newRow("sans CR") << QByteArray("xxxxxxxxxxxxxxxx");
    QTest::newRow("réponses valides") << TrameReponse('A', "11");
}

void TestLigneCartes::inondation()
{
    // 200 Ko/s d'octets non sollicités pendant 1,5 s : la ligne garde une quantité bornée,
    // ses lignes de journal aussi, et lit juste dès le premier échange après le flot.
    QFETCH(QByteArray, motif);
    m_emulateur->MetReponse(Z45, 'G', "01");
    JournalStatut journal;
    HorlogeTest horloge;
    DialoguesScriptes dialogues;
    LigneCartes ligne(journal, dialogues, m_config);
    QVERIFY(ligne.OuvrePortComm());
    const qint64 borne = LongueurMaxReponse + 1 + LigneCartes::TamponPortMax;
    m_emulateur->Inonde(200000, 1500, motif);
    qint64 retenusMax = 0;
    int echanges = 0;
    while (m_emulateur->InondationEnCours()) {
        QTest::qWait(60); // entre deux échanges, le port lit ce qui arrive
        retenusMax = qMax(retenusMax, ligne.OctetsRetenus());
        Echange(ligne, "GZ]L", 100);
        retenusMax = qMax(retenusMax, ligne.OctetsRetenus());
        ++echanges;
    }
    QVERIFY(echanges >= 3);
    QVERIFY2(m_emulateur->OctetsInondation() > 4 * borne, qPrintable(QString::number(m_emulateur->OctetsInondation())));
    QVERIFY2(retenusMax <= borne, qPrintable(QString::number(retenusMax)));
    QTest::qWait(50);
    m_emulateur->OublieTrames();
    QCOMPARE(Echange(ligne, "GZ]L", 300), QByteArray("01"));
    QCOMPARE(Corps(*m_emulateur), QList<QByteArray>{ "GZ]L" });
    QCOMPARE(Echange(ligne, "GZ]L", 300), QByteArray("01"));
    const QStringList lignes = journal.Texte().split(QStringLiteral("\r\n"));
    for (const QString& l : lignes)
        QVERIFY2(l.size() <= 260, qPrintable(l.left(300)));
    QVERIFY(journal.Texte().contains(QStringLiteral(" octets recus hors echange jetes avant GZ]L: ")));
}

void TestLigneCartes::caracteresSansCrPerdus()
{
    m_emulateur->MetComportement(Z45, Comportement::Silencieux);
    JournalStatut journal;
    HorlogeTest horloge;
    DialoguesScriptes dialogues;
    LigneCartes ligne(journal, dialogues, m_config);
    QVERIFY(ligne.OuvrePortComm());
    m_emulateur->EnvoieBrut("/A01");
    QCOMPARE(Echange(ligne, "VZ]", 200), QByteArray("Err: Time Out"));
    m_emulateur->MetComportement(Z45, Comportement::Normal);
    // Si "/A01" était resté, la ligne suivante aurait une somme fausse.
    QCOMPARE(Echange(ligne, "VZ]", 400), QByteArray("V1.0"));
}

void TestLigneCartes::portNonOuvert()
{
    JournalStatut journal;
    HorlogeTest horloge;
    DialoguesScriptes dialogues;
    LigneCartes ligne(journal, dialogues, m_config);
    QCOMPARE(Echange(ligne, "VZ]", 1000), QByteArray("Err:"));
    QCOMPARE(journal.Texte(), QStringLiteral(" *** Port COM NON OUVERT ***\r\n *** Port COM NON OUVERT ***\r\n"));
    QCOMPARE(m_emulateur->Trames().size(), 0);
}

void TestLigneCartes::auxGri2_data()
{
    QTest::addColumn<QString>("numAux");
    QTest::addColumn<QString>("etatAux");
    QTest::addColumn<QByteArray>("corps");
    QTest::addColumn<QString>("journal");
    QTest::newRow("0") << "0" << "ON" << QByteArray() << QString();
    QTest::newRow("9") << "9" << "OFF" << QByteArray() << QString();
    QTest::newRow("lettre") << "a" << "ON" << QByteArray() << QString();
    QTest::newRow("décimal") << "3.5" << "ON" << QByteArray() << QString();
    QTest::newRow("état inconnu") << "3" << "marche" << QByteArray() << QString();
    QTest::newRow("3 on") << "3" << "on" << QByteArray("XZ]13") << "Aux3: on (Z45)\r\n";
    QTest::newRow("8 OFF") << "8" << "OFF" << QByteArray("XZ]08") << "Aux8: OFF (Z45)\r\n";
    QTest::newRow("1 Off") << "1" << "Off" << QByteArray("XZ]01") << "Aux1: Off (Z45)\r\n";
}

void TestLigneCartes::auxGri2()
{
    QFETCH(QString, numAux);
    QFETCH(QString, etatAux);
    QFETCH(QByteArray, corps);
    QFETCH(QString, journal);
    // Toujours la carte "Z45", quels que soient les noms configurés.
    m_config.NomCarteExt[1] = QStringLiteral("Z40");
    JournalStatut j;
    HorlogeTest horloge;
    DialoguesScriptes dialogues;
    LigneCartes ligne(j, dialogues, m_config);
    QVERIFY(ligne.OuvrePortComm());
    const int avant = j.Texte().size();
    const QByteArray resultat = Aux(ligne, numAux, etatAux);
    QCOMPARE(j.Texte().mid(avant), journal);
    if (corps.isEmpty()) {
        QCOMPARE(resultat, QByteArray());
        QTest::qWait(50);
        QCOMPARE(m_emulateur->Trames().size(), 0);
    } else {
        QCOMPARE(resultat, QByteArray("OK"));
        QCOMPARE(Corps(*m_emulateur), QList<QByteArray>{ corps });
    }
}

void TestLigneCartes::auxGri2Simulation()
{
    m_config.LectReelleEtatTiroirs = QStringLiteral("N");
    JournalStatut journal;
    HorlogeTest horloge;
    DialoguesScriptes dialogues;
    LigneCartes ligne(journal, dialogues, m_config);
    QVERIFY(ligne.OuvrePortComm());
    QVERIFY(!ligne.AuxGri2(QStringLiteral("8"), QStringLiteral("OFF")));
    QVERIFY(!ligne.EchangeEnCours());
    QVERIFY(journal.Texte().endsWith(QStringLiteral("\r\nAux8: OFF (Z45)\r\n")));
    QTest::qWait(50);
    QCOMPARE(m_emulateur->Trames().size(), 0);
}

void TestLigneCartes::auxGri2Echec()
{
    m_emulateur->MetComportement(Z45, Comportement::Silencieux);
    JournalStatut journal;
    HorlogeTest horloge;
    DialoguesScriptes dialogues;
    LigneCartes ligne(journal, dialogues, m_config);
    QVERIFY(ligne.OuvrePortComm());
    QCOMPARE(Aux(ligne, QStringLiteral("8"), QStringLiteral("OFF")), QByteArray("Err: Time Out"));
    QCOMPARE(journal.Texte(), QStringLiteral("ouvre le COM1:9600,n,8,1\r\nAux8: OFF (Z45)\r\nerreur (Z45) Aux8 OFF\r\n"));
    QCOMPARE(m_emulateur->Trames().size(), 2);
}

void TestLigneCartes::echangesNeSeMelentPas()
{
    // Un clic traité pendant la pause de 0,4 s demande la sortie 8 : sa trame attend
    // son tour dans la file, après les deux essais de l'échange en cours.
    m_emulateur->IgnoreProchaines(Z45, 'G', 1);
    m_emulateur->MetReponse(Z45, 'G', "01");
    JournalStatut journal;
    DialoguesScriptes dialogues;
    LigneCartes ligne(journal, dialogues, m_config);
    QVERIFY(ligne.OuvrePortComm());
    QByteArray resultatClic = "pas appelé";
    QTimer::singleShot(300, &ligne, [&] {
        ligne.AuxGri2(QStringLiteral("8"), QStringLiteral("OFF"), [&](const QByteArray& r) { resultatClic = r; });
    });
    QCOMPARE(Echange(ligne, "GZ]L", 200), QByteArray("01"));
    QTRY_VERIFY(!ligne.EchangeEnCours());
    QCOMPARE(resultatClic, QByteArray("OK"));
    QCOMPARE(Corps(*m_emulateur), (QList<QByteArray>{ "GZ]L", "GZ]L", "XZ]08" }));
    QCOMPARE(journal.Texte(), QStringLiteral("ouvre le COM1:9600,n,8,1\r\nAux8: OFF (Z45)\r\n"));
}

void TestLigneCartes::perteDuPeripherique()
{
    const QString lien = m_dossier->filePath(QStringLiteral("ttyCartes"));
    QVERIFY(QFile::link(m_emulateur->CheminEsclave(), lien));
    m_config.PortSerieImpose = lien;
    JournalStatut journal;
    HorlogeTest horloge;
    DialoguesScriptes dialogues;
    LigneCartes ligne(journal, dialogues, m_config);
    ligne.MetIntervalleReouverture(100);
    QVERIFY(ligne.OuvrePortComm());

    m_emulateur->FermeMaitre();
    // Le numéro du pseudo-terminal peut être repris tout de suite par un autre
    // programme (un autre test en parallèle) : le chemin disparaît avec l'adaptateur.
    QVERIFY(QFile::remove(lien));
    QTRY_VERIFY_WITH_TIMEOUT(!ligne.EstOuvert(), 2000);
    // Plusieurs essais de réouverture, périphérique absent : le service ne tourne pas en rond.
    const std::clock_t processeurAvant = std::clock();
    QTest::qWait(300);
    const double processeurMs = 1000.0 * double(std::clock() - processeurAvant) / CLOCKS_PER_SEC;
    QVERIFY2(processeurMs < 100, qPrintable(QString::number(processeurMs)));
    QCOMPARE(journal.Texte(), QStringLiteral("ouvre le COM1:9600,n,8,1\r\n"
                                             "perte du port COM1 (erreur de lecture), "
                                             "nouvel essai d'ouverture toutes les 0.1 s\r\n"));
    QVERIFY(!journal.Texte().contains(QStringLiteral("rouvert")));

    const int avant = journal.Texte().size();
    QCOMPARE(Echange(ligne, "VZ]", 1000), QByteArray("Err:"));
    QCOMPARE(journal.Texte().mid(avant),
             QStringLiteral(" *** Port COM NON OUVERT ***\r\n *** Port COM NON OUVERT ***\r\n"));

    // L'adaptateur revient (nouveau pseudo-terminal au même chemin).
    QString erreur;
    QVERIFY2(m_emulateur->Ouvre(&erreur), qPrintable(erreur));
    m_emulateur->DeclareCarte(Z45);
    QVERIFY(QFile::link(m_emulateur->CheminEsclave(), lien));
    QTRY_VERIFY_WITH_TIMEOUT(ligne.EstOuvert(), 2000);
    QTest::qWait(250);
    QCOMPARE(Occurrences(journal.Texte(), QStringLiteral("port COM1 rouvert")), 1);
    QCOMPARE(Echange(ligne, "VZ]", 1000), QByteArray("V1.0"));
}

void TestLigneCartes::perteEnPleinEchange()
{
    m_emulateur->MetComportement(Z45, Comportement::Silencieux);
    JournalStatut journal;
    HorlogeTest horloge;
    DialoguesScriptes dialogues;
    LigneCartes ligne(journal, dialogues, m_config);
    ligne.MetIntervalleReouverture(60000);
    QVERIFY(ligne.OuvrePortComm());
    std::unique_ptr<QThread> coupure(QThread::create([this] {
        QThread::msleep(150);
        m_emulateur->FermeMaitre();
    }));
    coupure->start();
    QElapsedTimer chrono;
    chrono.start();
    const QByteArray resultat = Echange(ligne, "VZ]", 3000);
    const qint64 duree = chrono.elapsed();
    coupure->wait();
    QCOMPARE(resultat, QByteArray("Err:"));
    QVERIFY2(duree < 2000, qPrintable(QString::number(duree)));
    QVERIFY(!ligne.EstOuvert());
    const QStringList lignes = journal.Texte().split(QStringLiteral("\r\n"));
    QCOMPARE(lignes.size(), 5);
    QCOMPARE(lignes[0], QStringLiteral("ouvre le COM1:9600,n,8,1"));
    QCOMPARE(lignes[1], QStringLiteral("perte du port COM1 (erreur de lecture), "
                                       "nouvel essai d'ouverture toutes les 60 s"));
    QCOMPARE(lignes[2], QStringLiteral("Erreur dans EnvoiEtReponseGrindel2"));
    QCOMPARE(lignes[3], QStringLiteral(" *** Port COM NON OUVERT ***"));
    QCOMPARE(lignes[4], QString());
}

QTEST_MAIN(TestLigneCartes)
#include "TestLigneCartes.moc"
