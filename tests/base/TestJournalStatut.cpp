#include "base/JournalStatut.h"
#include "commun/HorlogeTest.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

class TestJournalStatut : public QObject
{
    Q_OBJECT
private slots:
    void limite_data();
    void limite();
    void clearToutesCasses_data();
    void clearToutesCasses();
    void sansRetourNeCoupeJamais();
    void curseurAvantDernierSautDeLigne();
    void nulRetire();
    void fichierJournal();
    void changementDeJour();
    void fichierDUnAutreJourTourneALaPremiereEcriture();
    void effacementDesAnciens_data();
    void effacementDesAnciens();
    void ecritureImpossiblePuisRetablie();
    void resumes_data();
    void resumes();
    void resumeDansLeFichier();
    void sortiesAuxTuesDansLaFenetre_data();
    void sortiesAuxTuesDansLaFenetre();
    void fichierEffaceOuDeplace_data();
    void fichierEffaceOuDeplace();
    void ecritureCourteDitLaRaison();

private:
    static QByteArray Contenu(const QString& chemin);
    static void Cree(const QString& chemin, const QByteArray& octets = QByteArray());
};

QByteArray TestJournalStatut::Contenu(const QString& chemin)
{
    QFile f(chemin);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<absent>");
}

void TestJournalStatut::Cree(const QString& chemin, const QByteArray& octets)
{
    QFile f(chemin);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(octets);
}

void TestJournalStatut::limite_data()
{
    QTest::addColumn<int>("longueurFinale");
    QTest::addColumn<bool>("coupe");
    QTest::newRow("19999") << 19999 << false;
    QTest::newRow("20000") << 20000 << false;
    QTest::newRow("20001") << 20001 << true;
}

void TestJournalStatut::limite()
{
    QFETCH(int, longueurFinale);
    QFETCH(bool, coupe);
    JournalStatut j;
    j.MessageStatus(QString(9998, QLatin1Char('a'))); // 10000 avec CR LF
    j.MessageStatus(QString(longueurFinale - 10000 - 2, QLatin1Char('b')));
    if (coupe) {
        QCOMPARE(j.Texte(), QStringLiteral("....\r\n"));
    } else {
        QCOMPARE(j.Texte().size(), longueurFinale);
        QVERIFY(j.Texte().endsWith(QStringLiteral("b\r\n")));
    }
}

void TestJournalStatut::clearToutesCasses_data()
{
    QTest::addColumn<QString>("mot");
    QTest::newRow("minuscules") << "clear";
    QTest::newRow("capitale") << "Clear";
    QTest::newRow("majuscules") << "CLEAR";
}

void TestJournalStatut::clearToutesCasses()
{
    QFETCH(QString, mot);
    JournalStatut j;
    j.MessageStatus(QStringLiteral("ligne"));
    j.MessageStatus(mot);
    QCOMPARE(j.Texte(), QString());
    j.MessageStatus(QString());
    QCOMPARE(j.Texte(), QStringLiteral("\r\n"));
}

void TestJournalStatut::sansRetourNeCoupeJamais()
{
    JournalStatut j;
    for (int i = 0; i < 3; ++i)
        j.MessageStatusSScr(QString(9000, QLatin1Char('.')));
    QCOMPARE(j.Texte().size(), 27000);
    j.MessageStatus(QStringLiteral("fin"));
    QCOMPARE(j.Texte(), QStringLiteral("....\r\n"));
}

void TestJournalStatut::curseurAvantDernierSautDeLigne()
{
    JournalStatut j;
    j.MessageStatus(QStringLiteral("abc"));
    QCOMPARE(j.PositionCurseur(), 4);
    j.MessageStatusSScr(QStringLiteral("de"));
    QCOMPARE(j.PositionCurseur(), 6);
}

void TestJournalStatut::nulRetire()
{
    JournalStatut j;
    j.MessageStatus(QStringLiteral("AR") + QChar(0) + QStringLiteral("x"));
    QCOMPARE(j.Texte(), QStringLiteral("ARx\r\n"));
}

void TestJournalStatut::fichierJournal()
{
    QTemporaryDir dossier;
    const QString chemin = dossier.filePath(QStringLiteral("journal.txt"));
    {
        QFile existant(chemin);
        QVERIFY(existant.open(QIODevice::WriteOnly));
        existant.write("avant\n");
    }
    JournalStatut j;
    QString erreur;
    QVERIFY(j.OuvreFichierJournal(chemin, &erreur));
    j.MessageStatus(QStringLiteral("version prog : 1.0.0"));
    j.MessageStatus(QStringLiteral("clear"));
    j.MessageStatusSScr(QStringLiteral("."));
    j.MessageStatusSScr(QStringLiteral("."));
    j.MessageStatus(QStringLiteral("port connecte"));
    j.MessageStatus(QStringLiteral("\r\nlibere le tiroir 2 car le temps est depasse"));
    j.MessageStatus(QStringLiteral("a\r\nb"));
    j.MessageStatus(QStringLiteral("é") + QChar(0));

    QFile f(chemin);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QStringList lignes = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    const QRegularExpression horodatage(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} "));
    const QStringList attendus = { QStringLiteral("version prog : 1.0.0"), QStringLiteral("..port connecte"),
                                   QString(), QStringLiteral("libere le tiroir 2 car le temps est depasse"),
                                   QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("é") };
    QCOMPARE(lignes.size(), attendus.size() + 2); // "avant" en tête, vide après le dernier \n
    QCOMPARE(lignes.first(), QStringLiteral("avant"));
    QCOMPARE(lignes.last(), QString());
    for (int i = 0; i < attendus.size(); ++i) {
        const QString ligne = lignes[i + 1];
        QVERIFY2(horodatage.match(ligne).hasMatch(), qPrintable(ligne));
        QCOMPARE(ligne.mid(24), attendus[i]);
    }
}

void TestJournalStatut::changementDeJour()
{
    QTemporaryDir dossier;
    const QString chemin = dossier.filePath(QStringLiteral("pelorane.log"));
    QDateTime maintenant(QDate(2024, 3, 10), QTime(23, 59, 59, 500));
    JournalStatut j;
    j.ChangeHorlogeMurale([&] { return maintenant; });
    QString erreur;
    QVERIFY(j.OuvreFichierJournal(chemin, &erreur));
    j.MessageStatus(QStringLiteral("avant minuit"));
    j.MessageStatusSScr(QStringLiteral("ligne "));
    maintenant = QDateTime(QDate(2024, 3, 11), QTime(0, 0, 0, 100));
    // La ligne commencée avant minuit finit dans le fichier de la veille.
    j.MessageStatus(QStringLiteral("continuee"));
    QCOMPARE(Contenu(chemin + QStringLiteral(".2024-03-10")), QByteArray("<absent>"));
    j.MessageStatus(QStringLiteral("apres minuit"));
    maintenant = QDateTime(QDate(2024, 3, 11), QTime(8, 0, 0, 7));
    j.MessageStatus(QStringLiteral("matin"));

    QCOMPARE(Contenu(chemin + QStringLiteral(".2024-03-10")),
             QByteArray("2024-03-10 23:59:59.500 avant minuit\n"
                        "2024-03-10 23:59:59.500 ligne continuee\n"));
    QCOMPARE(Contenu(chemin), QByteArray("2024-03-11 00:00:00.100 apres minuit\n"
                                         "2024-03-11 08:00:00.007 matin\n"));
    QCOMPARE(QDir(dossier.path()).entryList(QDir::Files),
             QStringList({ QStringLiteral("pelorane.log"), QStringLiteral("pelorane.log.2024-03-10") }));
}

void TestJournalStatut::fichierDUnAutreJourTourneALaPremiereEcriture()
{
    QTemporaryDir dossier;
    const QString chemin = dossier.filePath(QStringLiteral("j.log"));
    Cree(chemin, "2024-05-01 10:00:00.000 ancienne marche\n");
    {
        QFile f(chemin);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(QDateTime(QDate(2024, 5, 1), QTime(18, 0)), QFileDevice::FileModificationTime));
    }
    JournalStatut j;
    j.ChangeHorlogeMurale([] { return QDateTime(QDate(2024, 5, 3), QTime(9, 0)); });
    QVERIFY(j.OuvreFichierJournal(chemin, nullptr));
    QCOMPARE(Contenu(chemin + QStringLiteral(".2024-05-01")), QByteArray("<absent>"));
    j.MessageStatus(QStringLiteral("version prog : 1.0.0"));
    QCOMPARE(Contenu(chemin + QStringLiteral(".2024-05-01")), QByteArray("2024-05-01 10:00:00.000 ancienne marche\n"));
    QCOMPARE(Contenu(chemin), QByteArray("2024-05-03 09:00:00.000 version prog : 1.0.0\n"));
}

void TestJournalStatut::effacementDesAnciens_data()
{
    QTest::addColumn<int>("jours");
    QTest::addColumn<QStringList>("restentAuDemarrage");
    QTest::addColumn<QStringList>("restentApresMinuit");
    // Aujourd'hui 2024-03-31, puis passage au 2024-04-01 ; les autres noms ne sont jamais touchés.
    const QStringList autres = { "j.log", "j.log.2023-01-01.gz", "j.log.bak", "j.log.2024-13-45", "k.log.2020-01-01" };
    QTest::newRow("31 jours (defaut)")
        << 31 << QStringList(autres) + QStringList{ "j.log.2024-02-29", "j.log.2024-03-01", "j.log.2024-03-30" }
        << QStringList(autres) + QStringList{ "j.log.2024-03-01", "j.log.2024-03-30", "j.log.2024-03-31" };
    QTest::newRow("1 jour") << 1 << QStringList(autres) + QStringList{ "j.log.2024-03-30" }
                            << QStringList(autres) + QStringList{ "j.log.2024-03-31" };
    QTest::newRow("0 jour") << 0 << QStringList(autres) << QStringList(autres);
}

void TestJournalStatut::effacementDesAnciens()
{
    QFETCH(int, jours);
    QFETCH(QStringList, restentAuDemarrage);
    QFETCH(QStringList, restentApresMinuit);
    QTemporaryDir dossier;
    for (const char* nom : { "j.log.2023-01-01.gz", "j.log.bak", "j.log.2024-13-45", "k.log.2020-01-01",
                             "j.log.2023-12-31", "j.log.2024-02-28", "j.log.2024-02-29", "j.log.2024-03-01",
                             "j.log.2024-03-30" })
        Cree(dossier.filePath(QString::fromLatin1(nom)), "x");
    QDateTime maintenant(QDate(2024, 3, 31), QTime(12, 0));
    JournalStatut j;
    j.ChangeHorlogeMurale([&] { return maintenant; });
    QVERIFY(j.OuvreFichierJournal(dossier.filePath(QStringLiteral("j.log")), nullptr, jours));
    auto presents = [&] {
        QStringList noms = QDir(dossier.path()).entryList(QDir::Files);
        noms.sort();
        return noms;
    };
    restentAuDemarrage.sort();
    restentApresMinuit.sort();
    j.MessageStatus(QStringLiteral("midi"));
    QCOMPARE(presents(), restentAuDemarrage);
    maintenant = QDateTime(QDate(2024, 4, 1), QTime(0, 0, 1));
    j.MessageStatus(QStringLiteral("nouveau jour"));
    QCOMPARE(presents(), restentApresMinuit);
}

// Un disque plein : une ligne quand l'écriture échoue, une quand elle reprend, et le
// service continue. Le lien symbolique mène d'abord à /dev/full, puis à un vrai fichier.
void TestJournalStatut::ecritureImpossiblePuisRetablie()
{
    if (!QFileInfo(QStringLiteral("/dev/full")).exists())
        QSKIP("pas de /dev/full ici");
    QTemporaryDir dossier;
    const QString chemin = dossier.filePath(QStringLiteral("j.log"));
    const QString vrai = dossier.filePath(QStringLiteral("vrai.log"));
    QVERIFY(QFile::link(QStringLiteral("/dev/full"), chemin));
    JournalStatut j;
    j.ChangeHorlogeMurale([] { return QDateTime(QDate(2024, 6, 1), QTime(10, 0)); });
    QVERIFY(j.OuvreFichierJournal(chemin, nullptr));
    j.MessageStatus(QStringLiteral("un"));
    j.MessageStatus(QStringLiteral("deux"));
    j.MessageStatusSScr(QStringLiteral("trois"));
    const QString echec = QStringLiteral("journal ") + chemin
                          + QStringLiteral(" : écriture impossible (No space left on device)");
    QCOMPARE(j.Texte(), QStringLiteral("un\r\n") + echec + QStringLiteral("\r\ndeux\r\ntrois"));

    QVERIFY(QFile::remove(chemin));
    QVERIFY(QFile::link(vrai, chemin));
    j.MessageStatus(QStringLiteral(" quatre"));
    const QString retabli = QStringLiteral("journal ") + chemin + QStringLiteral(" : écriture rétablie");
    QCOMPARE(j.Texte(), QStringLiteral("un\r\n") + echec + QStringLiteral("\r\ndeux\r\ntrois quatre\r\n") + retabli
                            + QStringLiteral("\r\n"));
    // Le début de la ligne est perdu ; la suite reprend tout de même avec son heure.
    QCOMPARE(Contenu(vrai), (QStringLiteral("2024-06-01 10:00:00.000  quatre\n2024-06-01 10:00:00.000 ") + retabli
                             + QStringLiteral("\n"))
                                .toUtf8());
}

void TestJournalStatut::resumes_data()
{
    // Chaque arrivée : "instant en ms|genre|texte" ; "purge|instant" écrit les résumés échus.
    QTest::addColumn<QStringList>("arrivees");
    QTest::addColumn<QString>("attendu");
    QStringList flot;
    QString flotAttendu;
    for (int i = 0; i < 13; ++i) {
        flot << QStringLiteral("%1|UDP=|UDP= bruit %2").arg(i * 10).arg(i);
        if (i < 10)
            flotAttendu += QStringLiteral("UDP= bruit %1\r\n").arg(i);
    }
    QTest::newRow("flot puis ligne après la fenêtre")
        << (flot + QStringList{ "1500|UDP=|UDP= -Start     -S3" })
        << flotAttendu + "(message semblable répété 3 fois en 0,020 s, dernier : UDP= bruit 12)\r\n"
                         "UDP= -Start     -S3\r\n";
    QTest::newRow("flot fini, dit par la minuterie")
        << (flot + QStringList{ "purge|999", "purge|1000" })
        << flotAttendu + "(message semblable répété 3 fois en 0,020 s, dernier : UDP= bruit 12)\r\n";
    QStringList tiroirs;
    QString tiroirsAttendus;
    for (int n = 1; n <= 8; ++n) {
        tiroirs << QStringLiteral("0||libere tiroir: %1   ").arg(n);
        tiroirsAttendus += QStringLiteral("libere tiroir: %1   \r\n").arg(n);
    }
    QTest::newRow("huit tiroirs d'un coup : rien de tu") << tiroirs << tiroirsAttendus;
    QStringList chiffres;
    for (int i = 0; i < 12; ++i)
        chiffres << QStringLiteral("%1||libere tiroir: %2   ").arg(i).arg(i % 8 + 1);
    QTest::newRow("genre aux chiffres masqués")
        << (chiffres + QStringList{ "5||Carte: Z45: V1.0", "2000||libere tiroir: 7   " })
        << tiroirsAttendus + "libere tiroir: 1   \r\nlibere tiroir: 2   \r\nCarte: Z45: V1.0\r\n"
                             "(message semblable répété 2 fois en 0,001 s, dernier : libere tiroir: 4   )\r\n"
                             "libere tiroir: 7   \r\n";
    QTest::newRow("trois par seconde passent")
        << QStringList{ "0||UDP= a", "300||UDP= b", "600||UDP= c", "1000||UDP= d", "1300||UDP= e" }
        << "UDP= a\r\nUDP= b\r\nUDP= c\r\nUDP= d\r\nUDP= e\r\n";
}

void TestJournalStatut::resumes()
{
    QFETCH(QStringList, arrivees);
    QFETCH(QString, attendu);
    HorlogeTest horloge(0);
    JournalStatut j;
    j.ActiveResumes([&horloge] { return horloge.get_exact_milli_second(); });
    for (const QString& arrivee : arrivees) {
        const QStringList champs = arrivee.split(QLatin1Char('|'));
        const bool purge = champs[0] == QLatin1String("purge");
        horloge.Regle(champs[purge ? 1 : 0].toLongLong());
        if (purge)
            j.EcritResumesEchus();
        else
            j.MessageStatus(champs[2], champs[1]);
    }
    QCOMPARE(j.Texte(), attendu);
}

void TestJournalStatut::resumeDansLeFichier()
{
    // Le fichier reçoit les mêmes lignes que la fenêtre, résumé compris.
    QTemporaryDir dossier;
    const QString chemin = dossier.filePath(QStringLiteral("journal.txt"));
    HorlogeTest horloge(0);
    JournalStatut j;
    j.ChangeHorlogeMurale([] { return QDateTime(QDate(2026, 12, 8), QTime(10, 0)); });
    j.ActiveResumes([&horloge] { return horloge.get_exact_milli_second(); });
    QVERIFY(j.OuvreFichierJournal(chemin, nullptr));
    for (int i = 0; i < 50000; ++i)
        j.MessageStatus(QStringLiteral("UDP= bruit"), QStringLiteral("UDP="));
    horloge.Regle(1000);
    j.MessageStatus(QStringLiteral("UDP= fin"), QStringLiteral("UDP="));
    QString attendu;
    for (int i = 0; i < 10; ++i)
        attendu += QStringLiteral("2026-12-08 10:00:00.000 UDP= bruit\n");
    attendu += QStringLiteral("2026-12-08 10:00:00.000 (message semblable répété 49990 fois en 0,000 s, "
                              "dernier : UDP= bruit)\n2026-12-08 10:00:00.000 UDP= fin\n");
    QCOMPARE(QString::fromUtf8(Contenu(chemin)), attendu);
}

void TestJournalStatut::sortiesAuxTuesDansLaFenetre_data()
{
    // Lignes écrites ("*" devant : continuation sans fin de ligne), puis le texte de
    // la fenêtre ; le fichier, lui, les garde toutes.
    QTest::addColumn<QStringList>("lignes");
    QTest::addColumn<QString>("fenetre");
    QTest::newRow("état redit tu, changement montré")
        << QStringList{ "Aux8: OFF (Z45)", "Aux8: OFF (Z45)", "Aux8: ON (Z45)", "Aux8: ON (Z45)", "Aux8: OFF (Z45)" }
        << "Aux8: OFF (Z45)\r\nAux8: ON (Z45)\r\nAux8: OFF (Z45)\r\n";
    QTest::newRow("chaque sortie et chaque carte à part")
        << QStringList{ "Aux8: OFF (Z45)", "Aux7: OFF (Z45)", "Aux8: OFF (Z44)", "Aux7: OFF (Z45)" }
        << "Aux8: OFF (Z45)\r\nAux7: OFF (Z45)\r\nAux8: OFF (Z44)\r\n";
    QTest::newRow("casse de l'état ignorée") << QStringList{ "Aux8: on (Z45)", "Aux8: ON (Z45)" }
                                             << "Aux8: on (Z45)\r\n";
    QTest::newRow("échec d'envoi : la ligne suivante est redite")
        << QStringList{ "Aux8: ON (Z45)", "erreur (Z45) Aux8 ON", "Aux8: ON (Z45)", "Aux8: ON (Z45)" }
        << "Aux8: ON (Z45)\r\nerreur (Z45) Aux8 ON\r\nAux8: ON (Z45)\r\n";
    QTest::newRow("autres lignes jamais tues")
        << QStringList{ "Aux8: ON (Z45) en plus", "Aux8: ON (Z45) en plus", "Auxiliaire", "Auxiliaire" }
        << "Aux8: ON (Z45) en plus\r\nAux8: ON (Z45) en plus\r\nAuxiliaire\r\nAuxiliaire\r\n";
    QTest::newRow("résumé d'une rafale redite tu, résumé d'un changement montré")
        << QStringList{ "Aux8: OFF (Z45)", "(message semblable répété 3 fois en 0,001 s, dernier : Aux8: OFF (Z45))",
                        "(message semblable répété 2 fois en 0,001 s, dernier : Aux8: ON (Z45))", "Aux8: ON (Z45)",
                        "(message semblable répété 2 fois en 0,001 s, dernier : UDP= bruit)" }
        << "Aux8: OFF (Z45)\r\n(message semblable répété 2 fois en 0,001 s, dernier : Aux8: ON (Z45))\r\n"
           "(message semblable répété 2 fois en 0,001 s, dernier : UDP= bruit)\r\n";
    QTest::newRow("clear : la sortie est redite")
        << QStringList{ "Aux8: OFF (Z45)", "clear", "Aux8: OFF (Z45)" } << "Aux8: OFF (Z45)\r\n";
    QTest::newRow("au milieu d'une ligne continuée, rien n'est tu")
        << QStringList{ "Aux8: OFF (Z45)", "*.", "Aux8: OFF (Z45)" } << "Aux8: OFF (Z45)\r\n.Aux8: OFF (Z45)\r\n";
}

void TestJournalStatut::sortiesAuxTuesDansLaFenetre()
{
    QFETCH(QStringList, lignes);
    QFETCH(QString, fenetre);
    QTemporaryDir dossier;
    const QString chemin = dossier.filePath(QStringLiteral("journal.txt"));
    JournalStatut j;
    j.ChangeHorlogeMurale([] { return QDateTime(QDate(2026, 12, 8), QTime(23, 30)); });
    j.ActiveFiltreSortiesAux();
    QVERIFY(j.OuvreFichierJournal(chemin, nullptr));
    QString fichier;
    bool debut = true;
    for (const QString& ligne : lignes) {
        if (ligne.startsWith(QLatin1Char('*'))) {
            j.MessageStatusSScr(ligne.mid(1));
            fichier += (debut ? QStringLiteral("2026-12-08 23:30:00.000 ") : QString()) + ligne.mid(1);
            debut = false;
            continue;
        }
        j.MessageStatus(ligne);
        if (ligne == QLatin1String("clear"))
            continue;
        fichier += (debut ? QStringLiteral("2026-12-08 23:30:00.000 ") : QString()) + ligne + QLatin1Char('\n');
        debut = true;
    }
    QCOMPARE(j.Texte(), fenetre);
    QCOMPARE(QString::fromUtf8(Contenu(chemin)), fichier);
}

void TestJournalStatut::fichierEffaceOuDeplace_data()
{
    QTest::addColumn<QString>("ailleurs"); // où part le fichier ("" : effacé)
    QTest::newRow("efface") << QString();
    QTest::newRow("deplace") << QStringLiteral("j.log.vieux");
}

void TestJournalStatut::fichierEffaceOuDeplace()
{
#ifdef Q_OS_WIN
    // Windows n'efface ni ne déplace un fichier qu'un programme tient ouvert (QFile ne partage pas
    // la suppression) : le journal ne peut pas perdre son fichier ainsi.
    QSKIP("un fichier ouvert ne s'efface ni ne se déplace sous Windows");
#endif
    // Le fichier journal effacé ou déplacé pendant la marche : vu à l'écriture
    // suivante, FICHIER est recréé et une ligne le dit.
    QFETCH(QString, ailleurs);
    QTemporaryDir dossier;
    const QString chemin = dossier.filePath(QStringLiteral("j.log"));
    JournalStatut j;
    j.ChangeHorlogeMurale([] { return QDateTime(QDate(2024, 6, 1), QTime(10, 0)); });
    QVERIFY(j.OuvreFichierJournal(chemin, nullptr));
    j.MessageStatus(QStringLiteral("un"));
    if (ailleurs.isEmpty())
        QVERIFY(QFile::remove(chemin));
    else
        QVERIFY(QFile::rename(chemin, dossier.filePath(ailleurs)));
    j.MessageStatus(QStringLiteral("deux"));
    const QString heure = QStringLiteral("2024-06-01 10:00:00.000 ");
    QCOMPARE(Contenu(chemin), (heure + QStringLiteral("deux\n") + heure + QStringLiteral("journal ") + chemin
                               + QStringLiteral(" : fichier efface ou deplace pendant la marche, nouveau fichier\n"))
                                  .toUtf8());
    if (!ailleurs.isEmpty())
        QCOMPARE(Contenu(dossier.filePath(ailleurs)), (heure + QStringLiteral("un\n")).toUtf8());
}

// Un disque qui se remplit au milieu d'une ligne : une partie est écrite, puis le
// système refuse ; la ligne dit sa raison (ici la taille limite du fichier).
void TestJournalStatut::ecritureCourteDitLaRaison()
{
    QTemporaryDir dossier;
    const QString chemin = dossier.filePath(QStringLiteral("j.log"));
    JournalStatut j;
    j.ChangeHorlogeMurale([] { return QDateTime(QDate(2024, 6, 1), QTime(10, 0)); });
    QVERIFY(j.OuvreFichierJournal(chemin, nullptr));
    j.MessageStatus(QStringLiteral("un"));
#ifndef Q_OS_UNIX
    // Windows n'a pas de taille de fichier limitée par processus (RLIMIT_FSIZE) pour couper une écriture.
    QSKIP("pas de limite de taille de fichier par processus sous Windows");
#else
    struct rlimit avant {};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &avant), 0);
    const auto ancienSignal = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit borne = avant;
    borne.rlim_cur = rlim_t(QFileInfo(chemin).size() + 10);
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &borne), 0);
    j.MessageStatus(QStringLiteral("une ligne plus longue que la place"));
    ::setrlimit(RLIMIT_FSIZE, &avant);
    std::signal(SIGXFSZ, ancienSignal);
    QCOMPARE(j.Texte().split(QStringLiteral("\r\n")).value(2),
             QStringLiteral("journal ") + chemin + QStringLiteral(" : écriture impossible (File too large)"));
#endif
}

QTEST_GUILESS_MAIN(TestJournalStatut)
#include "TestJournalStatut.moc"
