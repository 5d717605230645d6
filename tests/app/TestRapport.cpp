#include "app/FrmListe.h"
#include "app/FrmRapport.h"
#include "app/RapportActivite.h"
#include "base/JournalStatut.h"
#include "commun/DialoguesScriptes.h"
#include "commun/FichiersEssai.h"
#include "commun/JourneeEssai.h"
#include "orders/RegistreRemises.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <windows.h>
#endif

// Le rapport d'activité : le vrai programme (pelorane --rapport) sur la journée
// d'essai du registre (tests/commun/JourneeEssai), le PDF relu par pdftotext ; puis
// la fenêtre du rapport et son impression sur une imprimante remplacée par un PDF.
namespace {

using JourneeEssai::Jour;

#ifdef Q_OS_WIN
// Sous Wine, le chemin Unix d'un fichier (fonction propre à Wine ; absente sous Windows).
QString CheminUnix(const QString& chemin)
{
    using Conversion = char*(WINAPI*)(LPCWSTR);
    const auto convertit = reinterpret_cast<Conversion>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!convertit)
        return {};
    char* unix = convertit(reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(chemin).utf16()));
    if (!unix)
        return {};
    const QString resultat = QString::fromUtf8(unix);
    HeapFree(GetProcessHeap(), 0, unix);
    return resultat;
}
#endif

QString TexteDuPdf(const QString& pdf, int page)
{
    QTemporaryFile texte;
    if (!QFileInfo::exists(pdf) || !texte.open())
        return QStringLiteral("<PDF illisible>");
    texte.close();
    const QStringList pages = { QStringLiteral("-layout"), QStringLiteral("-f"), QString::number(page),
                                QStringLiteral("-l"), QString::number(page) };
    QProcess p;
#ifdef Q_OS_WIN
    // Pas de pdftotext pour Windows : sous Wine, celui de Linux (PELORANE_PDFTOTEXT, chemin Unix),
    // lancé par start /unix, sur les chemins Unix des fichiers ; il ne reçoit ni nos tubes ni
    // nos chemins de Windows.
    const QString lecteur = qEnvironmentVariable("PELORANE_PDFTOTEXT");
    const QString entree = CheminUnix(pdf), sortie = CheminUnix(texte.fileName());
    if (lecteur.isEmpty() || entree.isEmpty() || sortie.isEmpty())
        return QStringLiteral("<pas de lecteur de PDF hors de Wine>");
    p.start(QStringLiteral("start.exe"), QStringList{ QStringLiteral("/unix"), lecteur } + pages
                                              + QStringList{ entree, sortie });
    if (!p.waitForFinished(20000))
        return QStringLiteral("<pdftotext en échec>");
    // start n'attend pas un programme Unix : la page est lue quand son saut de page final est écrit.
    QByteArray octets;
    for (int essai = 0; essai < 200 && !octets.endsWith('\f'); ++essai) {
        QTest::qWait(50);
        QFile lu(texte.fileName());
        octets = lu.open(QIODevice::ReadOnly) ? lu.readAll() : QByteArray();
    }
    if (!octets.endsWith('\f'))
        return QStringLiteral("<pdftotext en échec>");
    return QString::fromUtf8(octets).normalized(QString::NormalizationForm_KC);
#else
    p.start(qEnvironmentVariable("PELORANE_PDFTOTEXT", QStringLiteral("pdftotext")),
            pages + QStringList{ pdf, texte.fileName() });
    if (!p.waitForFinished(20000) || p.exitCode() != 0 || !texte.open())
        return QStringLiteral("<pdftotext en échec>");
#endif
    // NFKC : la ligature "ﬁ" que le dessin du texte emploie redevient "fi".
    return QString::fromUtf8(texte.readAll()).normalized(QString::NormalizationForm_KC);
}

// Les chiffres du jour, tels que la page les montre ; les plus longues attentes
// dans leur ordre.
void VerifiePageDuJour(const QString& texte)
{
    QVERIFY2(texte.contains(QStringLiteral("Rapport d'activité du mardi 10 mars 2026")), qPrintable(texte));
    for (const char* attendu : { "Commandes remises : 4", "Mises de côté : 1", "Remises interrompues : 1",
                                 "Heure la plus chargée : 9 h - 10 h (3 remises)",
                                 "médiane 30,0 s,", "95 % des commandes en moins de 2 min 00 s",
                                 "heure de la journée", "Commandes remises par heure",
                                 "De la remise à la libération, par tiroir", "Causes de libération, par tiroir",
                                 "fin de convoyage", "temps dépassé", "tous les tiroirs",
                                 "Attente de la première vue à la remise, par heure" })
        QVERIFY2(texte.contains(QString::fromUtf8(attendu)), attendu);
    qsizetype position = 0;
    for (const char* ligne : { "42\\s+CD2\\.txt\\s+09:12:00\\s+2 min 00 s", "41\\s+CD1\\.txt\\s+09:00:30\\s+30,0 s",
                               "43\\s+CD3\\.txt\\s+14:00:05\\s+5,00 s" }) {
        const QRegularExpressionMatch m = QRegularExpression(QString::fromLatin1(ligne)).match(texte, position);
        QVERIFY2(m.hasMatch(), ligne);
        position = m.capturedEnd();
    }
    QVERIFY2(!texte.contains(QStringLiteral("CD0.txt")), "commande de la veille");
    QVERIFY2(!texte.contains(QStringLiteral("Aucune commande")), qPrintable(texte));
}

} // namespace

class TestRapport : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void rapportPdf();
    void periodeParDefaut_data();
    void periodeParDefaut();
    void erreurs_data();
    void erreurs();
    void fenetre();
    void fenetreSansRegistre();
    void dureeTexte_data();
    void dureeTexte();
    void joursPurges();

private:
    int Lance(const QStringList& arguments, QByteArray* sortie, QByteArray* erreur, const QString& temporaire = {});

    QString m_binaire;
    QTemporaryDir m_dossier;
    QString m_registre;
};

void TestRapport::initTestCase()
{
    m_binaire = qEnvironmentVariable("PELORANE_BINAIRE");
    QVERIFY2(QFileInfo(m_binaire).isExecutable(), qPrintable(m_binaire));
    m_registre = m_dossier.filePath(QStringLiteral("registre.db"));
    QVERIFY(JourneeEssai::Ecrit(m_registre));
}

void TestRapport::cleanup()
{
    if (FrmRapport* f = FrmRapport::FenetreOuverte())
        f->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    FrmListe::MetImprimantes({});
}

int TestRapport::Lance(const QStringList& arguments, QByteArray* sortie, QByteArray* erreur, const QString& temporaire)
{
    QProcess p;
    // Comme un service lancé hors d'une session de bureau.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    if (!temporaire.isEmpty())
        env.insert(QStringLiteral("TMPDIR"), temporaire);
    p.setProcessEnvironment(env);
    p.start(m_binaire, arguments);
    if (!p.waitForFinished(60000))
        return -1;
    // Fins de ligne du système (\r\n sous Windows) ramenées à \n.
    *sortie = p.readAllStandardOutput().replace("\r\n", "\n");
    *erreur = p.readAllStandardError().replace("\r\n", "\n");
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

void TestRapport::rapportPdf()
{
    const QString pdf = m_dossier.filePath(QStringLiteral("rapport.pdf"));
    const QString temporaire = m_dossier.filePath(QStringLiteral("tmp"));
    QVERIFY(QDir().mkpath(temporaire));
    // Le registre tenu ouvert (WAL) comme par le service qui tourne, une ligne en cours d'écriture.
    JournalStatut journal;
    RegistreRemises enService(journal);
    enService.MetHorlogeMurale([] { return JourneeEssai::A(Jour.addDays(2), "12:00:00"); });
    QVERIFY(enService.Ouvre(m_registre));
    QVERIFY(enService.DebutRemise(QStringLiteral("CD8.txt"), "ordre:    48\r\n", QStringLiteral("1")) > 0);
    QByteArray sortie, erreur;
    QCOMPARE(Lance({ "--registre", m_registre, "--rapport", "--du", "2026-03-10", "--au", "2026-03-13", "--pdf", pdf },
                   &sortie, &erreur, temporaire),
             0);
    // Démarrage silencieux : rien sur la sortie d'erreur, pas même l'avis de Qt
    // sur XDG_RUNTIME_DIR ; le dossier d'exécution privé est à nous seuls.
    QCOMPARE(erreur, QByteArray());
    QCOMPARE(sortie, "rapport écrit : " + QDir::toNativeSeparators(pdf).toUtf8() + " (4 pages)\n");
#ifdef Q_OS_UNIX
    // Sous Windows, Qt ne cherche pas de dossier d'exécution (XDG_RUNTIME_DIR) : rien à préparer.
    struct stat etat = {};
    const QByteArray execution = temporaire.toUtf8() + "/pelorane-execution-" + QByteArray::number(::getuid());
    QCOMPARE(::lstat(execution.constData(), &etat), 0);
    QCOMPARE(int(etat.st_mode & 07777), 0700);
#endif

    VerifiePageDuJour(TexteDuPdf(pdf, 1));
    // Le 11, la seule commande de minuit passé ; le 12, la remise en cours du service.
    const QString une = TexteDuPdf(pdf, 2);
    QVERIFY2(une.contains(QStringLiteral("Commandes remises : 1")), qPrintable(une));
    QVERIFY2(une.contains(QStringLiteral("Heure la plus chargée : 0 h - 1 h (1 remise)")), qPrintable(une));
    // Chaque page porte son numéro, la page vide aussi.
    for (int page = 1; page <= 4; ++page)
        QVERIFY2(TexteDuPdf(pdf, page).contains(QStringLiteral("page %1 sur 4").arg(page)), qPrintable(QString::number(page)));
    const QString encours = TexteDuPdf(pdf, 3);
    QVERIFY2(encours.contains(QStringLiteral("Rapport d'activité du jeudi 12 mars 2026")), qPrintable(encours));
    QVERIFY2(encours.contains(QStringLiteral("Remises interrompues : 1")), qPrintable(encours)); // CD8, en cours
    QVERIFY2(!encours.contains(QStringLiteral("Aucune commande")), qPrintable(encours));
    // Le 13, rien : une page qui le dit.
    const QString vide = TexteDuPdf(pdf, 4);
    QVERIFY2(vide.contains(QStringLiteral("Rapport d'activité du vendredi 13 mars 2026")), qPrintable(vide));
    QVERIFY2(vide.contains(QStringLiteral("Aucune commande ce jour.")), qPrintable(vide));
    QVERIFY2(!vide.contains(QStringLiteral("Commandes remises :")), qPrintable(vide));
}

void TestRapport::periodeParDefaut_data()
{
    QTest::addColumn<QStringList>("dates");
    QTest::addColumn<QString>("pages");
    const QString hier = QDate::currentDate().addDays(-1).toString(Qt::ISODate);
    const QString demain = QDate::currentDate().addDays(1).toString(Qt::ISODate);
    QTest::newRow("aujourd'hui") << QStringList{} << "1 page";
    QTest::newRow("--du hier : jusqu'à aujourd'hui") << QStringList{ "--du", hier } << "2 pages";
    QTest::newRow("--du demain : ce jour-là") << QStringList{ "--du", demain } << "1 page";
    QTest::newRow("--au passé : ce jour-là") << QStringList{ "--au", "2026-03-10" } << "1 page";
    QTest::newRow("--au demain : depuis aujourd'hui") << QStringList{ "--au", demain } << "2 pages";
}

void TestRapport::periodeParDefaut()
{
    QFETCH(QStringList, dates);
    QFETCH(QString, pages);
    const QString pdf = m_dossier.filePath(QStringLiteral("periode.pdf"));
    QByteArray sortie, erreur;
    QCOMPARE(Lance(QStringList{ "--registre", m_registre, "--rapport", "--pdf", pdf } + dates, &sortie, &erreur), 0);
    QCOMPARE(QString::fromUtf8(sortie), QStringLiteral("rapport écrit : %1 (%2)\n").arg(QDir::toNativeSeparators(pdf), pages));
}

void TestRapport::erreurs_data()
{
    QTest::addColumn<QStringList>("arguments"); // REGISTRE, PDF et DOSSIER remplacés
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    const QString pdf = QStringLiteral("PDF");
    QTest::newRow("registre absent") << QStringList{ "--registre", "DOSSIER/absent.db", "--rapport", "--pdf", pdf } << 1
                                     << "impossible de lire le registre des remises DOSSIER/absent.db : registre "
                                        "introuvable\n";
    QTest::newRow("pas une base") << QStringList{ "--registre", "DOSSIER/faux.db", "--rapport", "--pdf", pdf } << 1
                                  << "impossible de lire le registre des remises DOSSIER/faux.db : ";
    QTest::newRow("sans --pdf") << QStringList{ "--registre", "REGISTRE", "--rapport" } << 64
                                << "--rapport demande --pdf FICHIER\n";
    QTest::newRow("date") << QStringList{ "--registre", "REGISTRE", "--rapport", "--du", "2026-13-01", "--pdf", pdf }
                          << 64 << "date incorrecte pour --du : 2026-13-01 (attendu AAAA-MM-JJ)\n";
    QTest::newRow("à l'envers") << QStringList{ "--registre", "REGISTRE", "--rapport", "--du", "2026-03-11", "--au",
                                                "2026-03-10", "--pdf", pdf }
                                << 64
                                << "période incorrecte : du 2026-03-11 au 2026-03-10 (au plus 366 jours, --du avant "
                                   "--au)\n";
    QTest::newRow("plus d'un an") << QStringList{ "--registre", "REGISTRE", "--rapport", "--du", "2025-03-09", "--au",
                                                  "2026-03-10", "--pdf", pdf }
                                  << 64
                                  << "période incorrecte : du 2025-03-09 au 2026-03-10 (au plus 366 jours, --du "
                                     "avant --au)\n";
    QTest::newRow("--pdf seul") << QStringList{ "--registre", "REGISTRE", "--pdf", pdf } << 64
                                << "--du, --au et --pdf ne vont qu'avec --rapport\n";
    QTest::newRow("PDF impossible") << QStringList{ "--registre", "REGISTRE", "--rapport", "--du", "2026-03-10",
                                                    "--pdf", "DOSSIER/absent/r.pdf" }
                                    << 1 << "impossible d'écrire le rapport DOSSIER/absent/r.pdf : impossible de créer "
                                            "le fichier\n";
}

void TestRapport::erreurs()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QFETCH(QString, message);
    Ecrit(m_dossier.filePath(QStringLiteral("faux.db")), QByteArray(4096, 'x'));
    const QString pdf = m_dossier.filePath(QStringLiteral("erreur.pdf"));
    QFile::remove(pdf);
    for (QString& a : arguments) {
        a.replace(QStringLiteral("REGISTRE"), m_registre);
        a.replace(QStringLiteral("PDF"), pdf);
        a.replace(QStringLiteral("DOSSIER"), m_dossier.path());
    }
    // Chemins tels que le système les écrit (les messages n'ont pas d'autre "/").
    message = QDir::toNativeSeparators(message.replace(QStringLiteral("DOSSIER"), m_dossier.path()));
    QByteArray sortie, erreur;
    QCOMPARE(Lance(arguments, &sortie, &erreur), code);
    if (message.endsWith(QLatin1Char('\n')))
        QCOMPARE(QString::fromUtf8(erreur), message);
    else // l'erreur de SQLite suit le début du message
        QVERIFY2(erreur.startsWith(message.toUtf8()) && erreur.size() > message.toUtf8().size() + 2, erreur);
    QCOMPARE(sortie, QByteArray());
    QVERIFY(!QFileInfo::exists(pdf));
}

void TestRapport::fenetre()
{
    DialoguesScriptes dialogues;
    QWidget principale;
    QString registre; // vide tant que le registre n'est pas ouvert
    FrmRapport::AjouteMenu(&principale, dialogues, [&registre] { return registre; });
    QCOMPARE(principale.contextMenuPolicy(), Qt::ActionsContextMenu);
    QAction* action = principale.findChild<QAction*>(QStringLiteral("ActionRapportJour"));
    QVERIFY(action);
    QCOMPARE(action->text(), QStringLiteral("Rapport d'activité du jour..."));
    action->trigger();
    QCOMPARE(dialogues.Boites().size(), 1);
    QCOMPARE(dialogues.Boites().at(0).texte, QStringLiteral("Le registre des remises n'est pas encore ouvert."));
    QVERIFY(!FrmRapport::FenetreOuverte());

    // Le registre ouvert : le rapport du jour (ici sans commande) s'ouvre.
    registre = m_registre;
    action->trigger();
    QVERIFY(FrmRapport::FenetreOuverte());
    QCOMPARE(FrmRapport::FenetreOuverte()->Jours().size(), 1);
    QCOMPARE(FrmRapport::FenetreOuverte()->Jours().at(0).jour, QDate::currentDate());

    // Le jour des commandes, imprimé sur l'imprimante par défaut (ici un PDF).
    FrmRapport::Montre(dialogues, m_registre, Jour);
    FrmRapport* f = FrmRapport::FenetreOuverte();
    QVERIFY(f);
    f->Apercu()->updatePreview(); // l'aperçu dessine la page du jour
    QCOMPARE(f->Apercu()->pageCount(), 1);
    const QString pdf = m_dossier.filePath(QStringLiteral("imprime.pdf"));
    QStringList creees;
    FrmListe::MetImprimantes({ [] { return QStringLiteral("PDF-test"); },
                               [&creees, pdf](const QString& nom) {
                                   creees << nom;
                                   auto p = std::make_unique<QPrinter>(QPrinter::HighResolution);
                                   p->setOutputFormat(QPrinter::PdfFormat);
                                   p->setOutputFileName(pdf);
                                   return p;
                               } });
    f->BtImprimer()->click();
    QCOMPARE(creees, QStringList{ "PDF-test" });
    QCOMPARE(dialogues.Boites().size(), 1);
    VerifiePageDuJour(TexteDuPdf(pdf, 1));

    // Sans imprimante : une boîte qui dit quoi faire, aucun travail.
    FrmListe::MetImprimantes({ [] { return QString(); }, nullptr });
    f->BtImprimer()->click();
    QCOMPARE(dialogues.Boites().size(), 2);
    QCOMPARE(dialogues.Boites().at(1).texte,
             QStringLiteral("Aucune imprimante n'est installée : le rapport ne peut pas être imprimé.\r\r"
                            "Installez une imprimante (réglages du système, Imprimantes), ou enregistrez le "
                            "rapport avec le bouton « Enregistrer en PDF… » pour l'imprimer ailleurs."));

    // Enregistrer en PDF, à côté d'« Imprimer » : la même page dans le fichier choisi.
    QCOMPARE(f->BtEnregistrerPdf()->text(), QStringLiteral("Enregistrer en PDF…"));
    QCOMPARE(f->BtImprimer()->text(), QStringLiteral("Imprimer"));
    const QString enregistre = m_dossier.filePath(QStringLiteral("enregistre.pdf"));
    QVERIFY(f->EnregistrePdf(enregistre));
    VerifiePageDuJour(TexteDuPdf(enregistre, 1));
    QCOMPARE(dialogues.Boites().size(), 2);
    const QString impossible = m_dossier.filePath(QStringLiteral("absent/rapport.pdf"));
    QVERIFY(!f->EnregistrePdf(impossible));
    QCOMPARE(dialogues.Boites().size(), 3);
    QCOMPARE(dialogues.Boites().at(2).texte,
             QStringLiteral("rapport non enregistré dans ") + QDir::toNativeSeparators(impossible)
                 + QStringLiteral(" : impossible de créer le fichier"));
}

void TestRapport::fenetreSansRegistre()
{
    DialoguesScriptes dialogues;
    const QString absent = m_dossier.filePath(QStringLiteral("absent.db"));
    FrmRapport::Montre(dialogues, absent, Jour);
    QVERIFY(!FrmRapport::FenetreOuverte());
    QCOMPARE(dialogues.Boites().size(), 1);
    QCOMPARE(dialogues.Boites().at(0).texte,
             QStringLiteral("impossible de lire le registre des remises ") + QDir::toNativeSeparators(absent)
                 + QStringLiteral(" : registre introuvable"));
}

void TestRapport::dureeTexte_data()
{
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<QString>("texte");
    QTest::newRow("zéro") << qint64(0) << "0,00 s";
    QTest::newRow("centièmes") << qint64(210) << "0,21 s";
    QTest::newRow("centièmes arrondis") << qint64(9994) << "9,99 s";
    QTest::newRow("arrondi à 10 s : dixièmes") << qint64(9995) << "10,0 s";
    QTest::newRow("dixièmes") << qint64(12345) << "12,3 s";
    QTest::newRow("juste sous la minute") << qint64(59949) << "59,9 s";
    QTest::newRow("arrondi à la minute") << qint64(59950) << "1 min 00 s";
    QTest::newRow("minutes") << qint64(245000) << "4 min 05 s";
    QTest::newRow("heures") << qint64(3720000) << "1 h 02 min";
}

void TestRapport::dureeTexte()
{
    QFETCH(qint64, ms);
    QFETCH(QString, texte);
    QCOMPARE(RapportActivite::TexteDuree(ms), texte);
}

void TestRapport::joursPurges()
{
    // Le registre garde 90 jours : un jour d'avant la limite de sa purge est dit
    // purgé, jamais « Aucune commande ce jour. » (il en avait peut-être).
    const QString registre = m_dossier.filePath(QStringLiteral("purge.db"));
    JournalStatut journal;
    {
        RegistreRemises ancien(journal);
        ancien.MetHorlogeMurale([] { return JourneeEssai::A(QDate(2025, 11, 20), "10:00:00"); });
        QVERIFY(ancien.Ouvre(registre));
        const qint64 id = ancien.DebutRemise(QStringLiteral("CD1.txt"), "ordre:    31\r\n", QStringLiteral("001"));
        ancien.RemiseFaite(id);
        ancien.FichierEfface(id);
        ancien.TiroirLibere(1, RegistreRemises::Liberation::Datagramme);
        ancien.Ferme();
    }
    // Midi local, 90 jours plus tard : la limite tombe le 2 décembre vers midi.
    RegistreRemises service(journal);
    service.MetHorlogeMurale([] { return JourneeEssai::A(QDate(2026, 3, 2), "12:00:00"); });
    QVERIFY(service.Ouvre(registre));
    service.Ferme();
    const QString pdf = m_dossier.filePath(QStringLiteral("purge.pdf"));
    QByteArray sortie, erreur;
    QCOMPARE(Lance({ "--registre", registre, "--rapport", "--du", "2025-11-19", "--au", "2025-12-04", "--pdf", pdf },
                   &sortie, &erreur),
             0);
    QCOMPARE(sortie, "rapport écrit : " + QDir::toNativeSeparators(pdf).toUtf8() + " (16 pages)\n");
    for (int page = 1; page <= 16; ++page) {
        const QString texte = TexteDuPdf(pdf, page);
        const bool purge = page <= 14; // jusqu'au 2 décembre, jour de la limite compris
        QVERIFY2(texte.contains(QStringLiteral("Jour purgé du registre")) == purge, qPrintable(texte));
        QVERIFY2(texte.contains(QStringLiteral("Aucune commande ce jour.")) == !purge, qPrintable(texte));
    }
    QVERIFY2(TexteDuPdf(pdf, 14).contains(QStringLiteral("Rapport d'activité du mardi 2 décembre 2025")),
             qPrintable(TexteDuPdf(pdf, 14)));
    // Sans purge, un jour sans ligne reste un jour sans commande.
    QCOMPARE(Lance({ "--registre", m_registre, "--rapport", "--du", "2025-11-20", "--au", "2025-11-20", "--pdf", pdf },
                   &sortie, &erreur),
             0);
    QVERIFY(TexteDuPdf(pdf, 1).contains(QStringLiteral("Aucune commande ce jour.")));
}

QTEST_MAIN(TestRapport)
#include "TestRapport.moc"
