#include "base/JournalStatut.h"
#include "commun/InstallationEssai.h"
#include "config/ClesParametres.h"
#include "config/MagasinParametres.h"

#include <QDate>
#include <QElapsedTimer>
#include <QSemaphore>
#include <QSqlError>
#include <QThread>
#include <QSqlDatabase>
#include <QSqlQuery>
#include "commun/SousWine.h"

#include <QTest>

// Lignes attendues d'une table vide après un premier démarrage, dans l'ordre.
struct LigneAttendue
{
    const char* cle;
    const char* valeur;
    const char* commentaire;
};

static const LigneAttendue LignesAttendues[14] = {
    { "Nb_Tiroirs", "4", "Nombre de tiroirs Installés" },
    { "CDAPI_Port_Serveur", "43323", "n° du port d'ecoute de VBtrevix pour le CDAPI en TCP/IP" },
    { "CDAPI_Adr_Serveur", "127.0.0.1", "adresse TCP/IP de VBtrevix pour le CDAPI" },
    { "CDAPI_Norme", "CDAPI-B", "norme CDAPI utiliser par VBtrevix" },
    { "UDP_Port", "43325", "n° du port d'ecoute pour ouverture tiroirs (fin convoyage)" },
    { "UDP_Adr", "127.0.0.1", "Adresse locale d'ecoute pour ouverture tiroirs (fin convoyage)" },
    { "Param_Com_Tiroirs", "1:9600,n,8,1", "parametres du port COM des cartes d'extensions tiroirs" },
    { "Nom_Carte_Ext_Tiroir1", "Z45", "nom de la carte d'extension utiliser pour ouvrir tiroirs + etat tiroirs 1 et 2" },
    { "Nom_Carte_Ext_Tiroir2", "Z44", "nom de la carte d'extension utiliser pour etat tiroirs 3 et 4" },
    { "Nom_Carte_Ext_Tiroir3", "Z43", "nom de la carte d'extension utiliser pour etat tiroirs 5 et 6" },
    { "Nom_Carte_Ext_Tiroir4", "Z42", "nom de la carte d'extension utiliser pour etat tiroirs 7 et 8" },
    { "Lect reelle etat tiroirs", "O", "lecture reelle de l'etat des tiroirs (O/N)" },
    { "Titre_Fenetre", "PELORANE - GRINDEL", "nom de la fenetre" },
    { "TempsMaxAttenteProduit", "30", "Temps maxi attente avant libération tiroir" },
};

class TestMagasinParametres : public QObject
{
    Q_OBJECT
private slots:
    void premierDemarrageTableVide();
    void secondDemarrageNAjouteRien();
    void ligneExistanteJamaisModifiee();
    void conversions_data();
    void conversions();
    void cleAvecApostropheEtCasse();
    void ajoutRefuseJournaliseEtDefaut();
    void tableAbsente();
    void baseVerrouillee_data();
    void baseVerrouillee();
    void passageOdbc();

private:
    static QStringList Lignes(const QString& base);
};

QStringList TestMagasinParametres::Lignes(const QString& chemin)
{
    QStringList lignes;
    {
        QSqlDatabase base = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("lecture"));
        base.setDatabaseName(chemin);
        base.open();
        QSqlQuery q(QStringLiteral("SELECT codevariable, valeur, Commentaire, Categorie, UtilModif, DateModif "
                                   "FROM paramINITtrevix ORDER BY rowid"),
                    base);
        while (q.next()) {
            QStringList champs;
            for (int i = 0; i < 6; ++i)
                champs << (q.value(i).isNull() ? QStringLiteral("<null>") : q.value(i).toString());
            lignes << champs.join(QLatin1Char('|'));
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("lecture"));
    return lignes;
}

void TestMagasinParametres::premierDemarrageTableVide()
{
    InstallationEssai essai;
    const QString chemin = essai.CreeBase();
    JournalStatut journal;
    Configuration c;
    MagasinParametres magasin(journal);
    QString erreur;
    QVERIFY2(magasin.Ouvre(chemin, &erreur), qPrintable(erreur));
    LitClesParametres(magasin, journal, c);
    magasin.Ferme();

    const QString aujourdhui = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    const QStringList lignes = Lignes(chemin);
    QCOMPARE(lignes.size(), 14);
    for (int i = 0; i < 14; ++i) {
        const QString attendue = QStringLiteral("%1|%2|%3|VBpelorane|defaut|%4")
                                     .arg(QString::fromUtf8(LignesAttendues[i].cle),
                                          QString::fromUtf8(LignesAttendues[i].valeur),
                                          QString::fromUtf8(LignesAttendues[i].commentaire), aujourdhui);
        QCOMPARE(lignes[i], attendue);
    }
    QCOMPARE(journal.Texte(), QString());
    QCOMPARE(c.NbTiroirs, 4);
    QCOMPARE(c.TempsMaxAttenteMs, qint64(30000));
    QCOMPARE(c.NomCarteExt[4], QStringLiteral("Z42"));
    QVERIFY(!c.ModeSimulation());
}

void TestMagasinParametres::secondDemarrageNAjouteRien()
{
    InstallationEssai essai;
    const QString chemin = essai.CreeBase();
    JournalStatut journal;
    for (int passage = 0; passage < 2; ++passage) {
        Configuration c;
        MagasinParametres magasin(journal);
        QVERIFY(magasin.Ouvre(chemin, nullptr));
        LitClesParametres(magasin, journal, c);
    }
    QCOMPARE(essai.NombreLignes(), 14);
}

void TestMagasinParametres::ligneExistanteJamaisModifiee()
{
    InstallationEssai essai;
    const QString chemin = essai.CreeBase();
    QVERIFY(essai.Execute(QStringLiteral("INSERT INTO paramINITtrevix VALUES ('Nb_Tiroirs', '6', 'autre commentaire', "
                                         "'AutreCat', 'jean', '2020-01-01')")));
    QVERIFY(essai.Execute(QStringLiteral("INSERT INTO paramINITtrevix VALUES ('CleDUnAutre', 'x', NULL, NULL, NULL, "
                                         "NULL)")));
    JournalStatut journal;
    Configuration c;
    MagasinParametres magasin(journal);
    QVERIFY(magasin.Ouvre(chemin, nullptr));
    LitClesParametres(magasin, journal, c);
    magasin.Ferme();
    QCOMPARE(c.NbTiroirs, 6);
    const QStringList lignes = Lignes(chemin);
    QCOMPARE(lignes.size(), 15);
    QCOMPARE(lignes[0], QStringLiteral("Nb_Tiroirs|6|autre commentaire|AutreCat|jean|2020-01-01"));
    QCOMPARE(lignes[1], QStringLiteral("CleDUnAutre|x|<null>|<null>|<null>|<null>"));
}

void TestMagasinParametres::conversions_data()
{
    QTest::addColumn<QString>("cle");
    QTest::addColumn<QString>("sql"); // valeur SQL stockée
    QTest::addColumn<QString>("champ");
    QTest::addColumn<QString>("attendu");
    QTest::addColumn<QString>("journalAttendu");
    QTest::newRow("Nb_Tiroirs Null") << "Nb_Tiroirs" << "NULL" << "NbTiroirs" << "0"
                                     << "Nb_Tiroirs = \"\" : ce n'est pas un nombre, valeur utilisee 0\r\n";
    QTest::newRow("Nb_Tiroirs vide") << "Nb_Tiroirs" << "''" << "NbTiroirs" << "0"
                                     << "Nb_Tiroirs = \"\" : ce n'est pas un nombre, valeur utilisee 0\r\n";
    QTest::newRow("Nb_Tiroirs lettres") << "Nb_Tiroirs" << "'abc'" << "NbTiroirs" << "0"
                                        << "Nb_Tiroirs = \"abc\" : ce n'est pas un nombre, valeur utilisee 0\r\n";
    QTest::newRow("Nb_Tiroirs chiffres puis lettres") << "Nb_Tiroirs" << "'3 tiroirs'" << "NbTiroirs" << "3"
        << "Nb_Tiroirs = \"3 tiroirs\" : ce n'est pas un nombre, valeur utilisee 3\r\n";
    QTest::newRow("Nb_Tiroirs blancs autour") << "Nb_Tiroirs" << "' 3 '" << "NbTiroirs" << "3" << "";
    QTest::newRow("Nb_Tiroirs hexadecimal") << "Nb_Tiroirs" << "'&H6'" << "NbTiroirs" << "6" << "";
    QTest::newRow("Nb_Tiroirs exposant") << "Nb_Tiroirs" << "'5E0'" << "NbTiroirs" << "5" << "";
    QTest::newRow("Nb_Tiroirs 12") << "Nb_Tiroirs" << "'12'" << "NbTiroirs" << "8"
                                   << "Nb_Tiroirs vaut 12 : ramene a 8 (8 tiroirs au plus)\r\n";
    QTest::newRow("Nb_Tiroirs -1") << "Nb_Tiroirs" << "'-1'" << "NbTiroirs" << "0"
                                   << "Nb_Tiroirs = \"-1\" : valeur negative, valeur utilisee 0\r\n";
    QTest::newRow("simulation ' n '") << "Lect reelle etat tiroirs" << "' n '" << "Lect" << "N" << "";
    QTest::newRow("titre Null") << "Titre_Fenetre" << "NULL" << "Titre" << "" << "";
    QTest::newRow("port UDP tel quel") << "UDP_Port" << "' 43325 '" << "UdpPort" << " 43325 " << "";
    QTest::newRow("adresse rognee") << "CDAPI_Adr_Serveur" << "' 10.0.0.1 '" << "Adr" << "10.0.0.1" << "";
    QTest::newRow("norme : seuls les espaces sont rognes") << "CDAPI_Norme" << "' CDAPI-A' || char(9)" << "Norme"
                                                           << "CDAPI-A\t" << "";
    // Un temps qui n'est pas un nombre positif de secondes libérerait chaque tiroir
    // à chaque tic : la valeur par défaut, 30 s, et la ligne qui le dit.
    QTest::newRow("temps vide") << "TempsMaxAttenteProduit" << "''" << "Temps" << "30000"
        << "TempsMaxAttenteProduit = \"\" : ce n'est pas un nombre, valeur utilisee 30000 ms\r\n";
    QTest::newRow("temps 2.5") << "TempsMaxAttenteProduit" << "'2.5'" << "Temps" << "2000" << "";
    QTest::newRow("temps -5") << "TempsMaxAttenteProduit" << "'-5'" << "Temps" << "30000"
        << "TempsMaxAttenteProduit = \"-5\" : valeur negative, valeur utilisee 30000 ms\r\n";
    QTest::newRow("temps 0") << "TempsMaxAttenteProduit" << "'0'" << "Temps" << "30000"
        << "TempsMaxAttenteProduit = \"0\" : valeur nulle, valeur utilisee 30000 ms\r\n";
    QTest::newRow("temps lettres") << "TempsMaxAttenteProduit" << "'abc'" << "Temps" << "30000"
        << "TempsMaxAttenteProduit = \"abc\" : ce n'est pas un nombre, valeur utilisee 30000 ms\r\n";
    QTest::newRow("temps trop grand") << "TempsMaxAttenteProduit" << "'3000000'" << "Temps" << "2147483647"
                                      << "TempsMaxAttenteProduit vaut \"3000000\" s : ramene a 2147483647 ms\r\n";
    QTest::newRow("temps trop grand en exposant") << "TempsMaxAttenteProduit" << "' 3E0000006 '" << "Temps"
        << "2147483647" << "TempsMaxAttenteProduit vaut \" 3E0000006 \" s : ramene a 2147483647 ms\r\n";
    QTest::newRow("temps tres negatif") << "TempsMaxAttenteProduit" << "'-3000000'" << "Temps" << "30000"
        << "TempsMaxAttenteProduit = \"-3000000\" : valeur negative, valeur utilisee 30000 ms\r\n";
}

void TestMagasinParametres::conversions()
{
    QFETCH(QString, cle);
    QFETCH(QString, sql);
    QFETCH(QString, champ);
    QFETCH(QString, attendu);
    QFETCH(QString, journalAttendu);
    InstallationEssai essai;
    const QString chemin = essai.CreeBase();
    QVERIFY(essai.Execute(QStringLiteral("INSERT INTO paramINITtrevix (codevariable, valeur) VALUES ('%1', %2)")
                              .arg(cle, sql)));
    JournalStatut journal;
    Configuration c;
    MagasinParametres magasin(journal);
    QVERIFY(magasin.Ouvre(chemin, nullptr));
    LitClesParametres(magasin, journal, c);
    QString lu;
    if (champ == QLatin1String("NbTiroirs"))
        lu = QString::number(c.NbTiroirs);
    else if (champ == QLatin1String("Lect"))
        lu = c.LectReelleEtatTiroirs;
    else if (champ == QLatin1String("Titre"))
        lu = c.TitreFenetre;
    else if (champ == QLatin1String("UdpPort"))
        lu = c.UdpPort;
    else if (champ == QLatin1String("Adr"))
        lu = c.CdapiAdrServeur;
    else if (champ == QLatin1String("Norme"))
        lu = c.NormeCDAPI;
    else
        lu = QString::number(c.TempsMaxAttenteMs);
    QCOMPARE(lu, attendu);
    QCOMPARE(journal.Texte(), journalAttendu);
    QCOMPARE(essai.NombreLignes(), 14);
}

void TestMagasinParametres::cleAvecApostropheEtCasse()
{
    InstallationEssai essai;
    const QString chemin = essai.CreeBase();
    QVERIFY(essai.Execute(QStringLiteral("INSERT INTO paramINITtrevix (codevariable, valeur) VALUES "
                                         "('NB_TIROIRS', '3')")));
    JournalStatut journal;
    MagasinParametres magasin(journal);
    QVERIFY(magasin.Ouvre(chemin, nullptr));
    // Même casse différente, la clé existante est trouvée.
    QCOMPARE(magasin.LitParametre(MagasinParametres::NomTable, QStringLiteral("Nb_Tiroirs"), QStringLiteral("4"),
                                  QStringLiteral("VBpelorane"), QString()),
             QStringLiteral("3"));
    // Une apostrophe dans la clé ne casse pas la requête : la clé est ajoutée telle quelle.
    const QString cle = QStringLiteral("x' OR '1'='1");
    QCOMPARE(magasin.LitParametre(MagasinParametres::NomTable, cle, QStringLiteral("d"), QString(), QString()),
             QStringLiteral("d"));
    magasin.Ferme();
    QCOMPARE(essai.Valeur(cle), QStringLiteral("d"));
    QCOMPARE(essai.NombreLignes(), 2);
    QCOMPARE(journal.Texte(), QString());
}

void TestMagasinParametres::ajoutRefuseJournaliseEtDefaut()
{
    InstallationEssai essai;
    const QString chemin = essai.CreeBase();
    QVERIFY(essai.Execute(QStringLiteral("CREATE TRIGGER refus BEFORE INSERT ON paramINITtrevix "
                                         "BEGIN SELECT RAISE(ABORT, 'base en lecture seule'); END")));
    JournalStatut journal;
    Configuration c;
    MagasinParametres magasin(journal);
    QVERIFY(magasin.Ouvre(chemin, nullptr));
    LitClesParametres(magasin, journal, c);
    QCOMPARE(c.NbTiroirs, 4);
    QCOMPARE(c.TitreFenetre, QStringLiteral("PELORANE - GRINDEL"));
    const QStringList lignes = journal.Texte().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QCOMPARE(lignes.size(), 14);
    QVERIFY2(lignes[0].startsWith(QStringLiteral("impossible d'ajouter la cle Nb_Tiroirs dans la base : ")), qPrintable(lignes[0]));
    QVERIFY(lignes[0].contains(QStringLiteral("base en lecture seule")));
    QVERIFY(lignes[0].endsWith(QStringLiteral(" (valeur par defaut utilisee)")));
}

void TestMagasinParametres::tableAbsente()
{
    InstallationEssai essai;
    const QString chemin = essai.Chemin(QStringLiteral("vide.db"));
    QVERIFY(QFile(chemin).open(QIODevice::WriteOnly));
    JournalStatut journal;
    MagasinParametres magasin(journal);
    QString erreur;
    QVERIFY(!magasin.Ouvre(chemin, &erreur));
    QCOMPARE(erreur, QStringLiteral("la table paramINITtrevix est absente"));
}

void TestMagasinParametres::baseVerrouillee_data()
{
    QTest::addColumn<int>("dureeVerrou");  // ms pendant lesquelles l'autre programme tient la base
    QTest::addColumn<bool>("ouverte");
    QTest::newRow("verrou rendu pendant l'attente") << 700 << true;
    QTest::newRow("verrou tenu au-dela de l'attente") << 4000 << false;
}

// Un autre programme (une vraie seconde connexion, sur un autre fil) tient la base
// en écriture exclusive : la lecture attend, puis dit la vérité.
void TestMagasinParametres::baseVerrouillee()
{
    QFETCH(int, dureeVerrou);
    QFETCH(bool, ouverte);
    InstallationEssai essai;
    const QString chemin = essai.CreeBase();
    QVERIFY(essai.Execute(QStringLiteral("INSERT INTO paramINITtrevix (codevariable, valeur) VALUES ('Nb_Tiroirs', '2')")));
    QSemaphore verrouPris;
    QThread* hote = QThread::create([&] {
        {
            QSqlDatabase autre = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("hote"));
            autre.setDatabaseName(chemin);
            if (autre.open()) {
                QSqlQuery q(autre);
                q.exec(QStringLiteral("BEGIN EXCLUSIVE"));
                q.exec(QStringLiteral("UPDATE paramINITtrevix SET valeur = '3' WHERE codevariable = 'Nb_Tiroirs'"));
            }
            verrouPris.release();
            QThread::msleep(ulong(dureeVerrou));
            QSqlQuery(autre).exec(QStringLiteral("ROLLBACK"));
            autre.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("hote"));
    });
    hote->start();
    verrouPris.acquire();

    JournalStatut journal;
    MagasinParametres magasin(journal);
    magasin.ChangeAttenteVerrou(2000);
    QString erreur;
    QElapsedTimer chrono;
    chrono.start();
    QCOMPARE(magasin.Ouvre(chemin, &erreur), ouverte);
    const qint64 duree = chrono.elapsed();
    QVERIFY(hote->wait(10000));
    delete hote;

    QCOMPARE(journal.Texte(), QStringLiteral("base ") + chemin
                                  + QStringLiteral(" verrouillee par un autre programme (database is locked) : "
                                                   "nouvel essai pendant 2 s\r\n"));
    if (ouverte) {
        QVERIFY2(duree < 2000, qPrintable(QString::number(duree)));
        QCOMPARE(magasin.LitParametre(MagasinParametres::NomTable, QStringLiteral("Nb_Tiroirs"), QStringLiteral("4"),
                                      QStringLiteral("VBpelorane"), QString()),
                 QStringLiteral("2"));
    } else {
        QVERIFY2(duree >= 2000 && duree < 3500, qPrintable(QString::number(duree)));
        QCOMPARE(erreur, QStringLiteral("database is locked"));
    }
}

void TestMagasinParametres::passageOdbc()
{
    // Une base .mdb passe par ODBC ; ici le pilote SQLite3 de Debian tient lieu du pilote Access.
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QODBC")))
        QSKIP("pilote QODBC absent");
    // Sous Wine, odbc32 passe la connexion au gestionnaire ODBC de Linux : le pilote SQLite3 de
    // Debian y reçoit un chemin de Windows (C:\...) qu'il ne sait pas ouvrir. Sous Windows, le
    // pilote est un pilote de Windows.
    if (SousWine())
        QSKIP("sous Wine, le pilote ODBC est celui de Linux et ne lit pas les chemins de Windows");
    qputenv("PELORANE_PILOTE_ODBC", "SQLite3");
    InstallationEssai essai;
    const QString chemin = essai.CreeBase(QStringLiteral("hote.mdb"));
    QVERIFY(essai.Execute(QStringLiteral("INSERT INTO paramINITtrevix (codevariable, valeur) VALUES ('nb_tiroirs', '2')")));
    JournalStatut journal;
    Configuration c;
    {
        MagasinParametres magasin(journal);
        QString erreur;
        QVERIFY2(magasin.Ouvre(chemin, &erreur), qPrintable(erreur));
        LitClesParametres(magasin, journal, c);
    }
    qunsetenv("PELORANE_PILOTE_ODBC");
    QCOMPARE(c.NbTiroirs, 2);
    QCOMPARE(essai.NombreLignes(), 14);
    QCOMPARE(essai.Valeur(QStringLiteral("TempsMaxAttenteProduit")), QStringLiteral("30"));
    QCOMPARE(journal.Texte(), QString());
}

QTEST_GUILESS_MAIN(TestMagasinParametres)
#include "TestMagasinParametres.moc"
