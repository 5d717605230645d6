#include "base/JournalStatut.h"
#include "commun/DialoguesScriptes.h"
#include "app/FrmListe.h"

#include <QApplication>
#include <QFile>
#include <QFontInfo>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QDir>
#include "commun/SousWine.h"

#include <QTest>

#include "commun/FichiersEssai.h"
#include <QToolButton>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

// Détruit pour de bon les fenêtres fermées (WA_DeleteOnClose passe par deleteLater).
void VideSuppressionsDifferees()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Lignes du PDF telles que pdftotext les rend (sans la fin de page).
QStringList LignesDuPdf(const QString& pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), { QStringLiteral("-layout"), pdf, QStringLiteral("-") });
    if (!p.waitForFinished(10000) || p.exitCode() != 0)
        return { QStringLiteral("<pdftotext en échec>") };
    QString texte = QString::fromUtf8(p.readAllStandardOutput());
    texte.remove(QChar(0x0C));
    QStringList lignes = texte.split(QLatin1Char('\n'));
    while (!lignes.isEmpty() && lignes.last().trimmed().isEmpty())
        lignes.removeLast();
    for (QString& l : lignes)
        l = l.trimmed();
    return lignes;
}

} // namespace

class TestFrmListe : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void lignesAImprimer_data();
    void lignesAImprimer();
    void montreFichier();
    void fenetreReutiliseeJusquAFermeture();
    void fichierDisparu_data();
    void fichierDisparu();
    void fichierLongCoupe();
    void impression_data();
    void impression();
    void texteEfface();
    void sansImprimanteDuSysteme();
    void echecImpression();

private:
    FrmListe* Ouvre(const QByteArray& contenu, const QString& nom = QStringLiteral("CD1.txt"));
    void ImprimeDansPdf(const QString& pdf);

    std::unique_ptr<QTemporaryDir> m_racine;
    QString m_dossier;
    JournalStatut m_journal;
    DialoguesScriptes m_dialogues;
    QStringList m_imprimantesCreees;
};

void TestFrmListe::init()
{
    m_racine = std::make_unique<QTemporaryDir>();
    QVERIFY(m_racine->isValid());
    m_dossier = m_racine->path() + QStringLiteral("/Echanges/");
    QVERIFY(QDir().mkpath(m_dossier));
    m_journal.MessageStatus(QStringLiteral("clear"));
    m_dialogues = DialoguesScriptes();
    m_imprimantesCreees.clear();
    FrmListe::MetImprimantes({});
}

void TestFrmListe::cleanup()
{
    if (FrmListe* f = FrmListe::FenetreOuverte())
        f->close();
    VideSuppressionsDifferees();
    FrmListe::MetImprimantes({});
}

FrmListe* TestFrmListe::Ouvre(const QByteArray& contenu, const QString& nom)
{
    Ecrit(m_dossier + nom, contenu);
    FrmListe::MontreFichier(nullptr, m_journal, m_dialogues, m_dossier + nom);
    return FrmListe::FenetreOuverte();
}

void TestFrmListe::ImprimeDansPdf(const QString& pdf)
{
    FrmListe::MetImprimantes({ [] { return QStringLiteral("PDF-test"); },
                               [this, pdf](const QString& nom) {
                                   m_imprimantesCreees.append(nom);
                                   auto p = std::make_unique<QPrinter>(QPrinter::HighResolution);
                                   p->setOutputFormat(QPrinter::PdfFormat);
                                   p->setOutputFileName(pdf);
                                   return p;
                               } });
}

void TestFrmListe::lignesAImprimer_data()
{
    QTest::addColumn<QString>("texte");
    QTest::addColumn<QStringList>("lignes");
    QTest::newRow("CR LF") << "a\r\nb\r\n" << QStringList{ "a", "b" };
    QTest::newRow("deux sauts de suite") << "a\n\nb" << QStringList{ "a", "", "b" };
    QTest::newRow("sans saut") << "abc" << QStringList{ "abc" };
    QTest::newRow("vide") << "" << QStringList{};
    QTest::newRow("un seul saut") << "\r\n" << QStringList{ "" };
    QTest::newRow("CR au milieu ignore") << "a\rb\n" << QStringList{ "ab" };
    QTest::newRow("reste de CR seuls") << "a\n\r\r" << QStringList{ "a" };
}

void TestFrmListe::lignesAImprimer()
{
    QFETCH(QString, texte);
    QFETCH(QStringList, lignes);
    QCOMPARE(FrmListe::LignesAImprimer(texte), lignes);
}

void TestFrmListe::montreFichier()
{
    FrmListe* f = Ouvre(QByteArray("protocol: CDE\r\nordre: caf\xE9\r\ncip Qt"), QStringLiteral("RT1.txt"));
    QVERIFY(f);
    QVERIFY(f->isVisible());
    QVERIFY(!f->isModal());
    QCOMPARE(f->windowTitle(), QStringLiteral("Liste"));
    QCOMPARE(f->Texte(), QStringLiteral("------ fichier : ") + QDir::toNativeSeparators(m_dossier)
                             + QStringLiteral("RT1.txt ------\nprotocol: CDE\nordre: caf\u00E9\n"
                                              "cip Qt\n"));
    QCOMPARE(f->Text1()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    // Wine n'a pas de Courier New : la police fixe du système y est une police proportionnelle.
    if (!SousWine())
        QVERIFY(QFontInfo(f->Text1()->font()).fixedPitch());
    QCOMPARE(f->BtImprimer()->toolTip(), QStringLiteral("Imprimer cette liste"));
    QVERIFY(!f->BtImprimer()->icon().pixmap(QSize(24, 24)).isNull());
    QCOMPARE(f->Bt_fermer()->text(), QStringLiteral("OK"));
    QCOMPARE(f->Bt_fermer()->toolTip(), QStringLiteral("Fermer cette liste"));
    QCOMPARE(m_journal.Texte(), QString());
}

void TestFrmListe::fenetreReutiliseeJusquAFermeture()
{
    QPointer<FrmListe> premiere = Ouvre("a\r\n", QStringLiteral("CD1.txt"));
    QVERIFY(premiere);
    FrmListe* seconde = Ouvre("b\r\n", QStringLiteral("CD2.txt"));
    QCOMPARE(seconde, premiere.data());
    QCOMPARE(seconde->Texte(),
             QStringLiteral("------ fichier : ") + QDir::toNativeSeparators(m_dossier) + QStringLiteral("CD2.txt ------\nb\n"));

    QTest::mouseClick(seconde->Bt_fermer(), Qt::LeftButton);
    VideSuppressionsDifferees();
    QVERIFY(premiere.isNull());
    QCOMPARE(FrmListe::FenetreOuverte(), nullptr);

    FrmListe* nouvelle = Ouvre("c\r\n", QStringLiteral("CD3.txt"));
    QVERIFY(nouvelle);
    QCOMPARE(nouvelle->Texte(),
             QStringLiteral("------ fichier : ") + QDir::toNativeSeparators(m_dossier) + QStringLiteral("CD3.txt ------\nc\n"));
}

void TestFrmListe::fichierDisparu_data()
{
    QTest::addColumn<QString>("genre");
    QTest::newRow("absent") << QString();
    QTest::newRow("tube nomme") << QStringLiteral("tube");
    QTest::newRow("lien vers /dev/zero") << QStringLiteral("zero");
    QTest::newRow("dossier") << QStringLiteral("dossier");
}

void TestFrmListe::fichierDisparu()
{
    QFETCH(QString, genre);
    const QString chemin = m_dossier + QStringLiteral("CD9.txt");
#ifdef Q_OS_UNIX
    // Un tube sans écrivain bloquerait la fenêtre à l'ouverture ; /dev/zero ne finit jamais.
    if (genre == QStringLiteral("tube"))
        QCOMPARE(::mkfifo(QFile::encodeName(chemin).constData(), 0600), 0);
    else if (genre == QStringLiteral("zero"))
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), chemin));
#else
    if (!genre.isEmpty() && genre != QStringLiteral("dossier"))
        QSKIP("tubes et /dev/zero propres à Unix");
#endif
    if (genre == QStringLiteral("dossier"))
        QVERIFY(QDir().mkpath(chemin));
    FrmListe::MontreFichier(nullptr, m_journal, m_dialogues, chemin);
    QCOMPARE(FrmListe::FenetreOuverte(), nullptr);
    QCOMPARE(m_journal.Texte(), QStringLiteral("Impossible de lire le fichier ") + QDir::toNativeSeparators(chemin) + QStringLiteral("\r\n"));
    QVERIFY(m_dialogues.Boites().isEmpty());
}

void TestFrmListe::fichierLongCoupe()
{
    // 2 Mio : seuls les 64 premiers Kio sont lus et montrés, suivis de la ligne de coupure.
    QByteArray contenu;
    for (int i = 0; contenu.size() < 2 * 1024 * 1024; ++i)
        contenu += QByteArray::number(i).rightJustified(9, '0') + "\r\n"; // 11 octets par ligne
    FrmListe* f = Ouvre(contenu, QStringLiteral("RT2.txt"));
    QVERIFY(f);
    const QString texte = f->Texte();
    const QString entete = QStringLiteral("------ fichier : ") + QDir::toNativeSeparators(m_dossier) + QStringLiteral("RT2.txt ------\n");
    QVERIFY(texte.startsWith(entete + QStringLiteral("000000000\n000000001\n")));
    // 65536 = 5957 lignes de 11 octets + 9 octets : la dernière ligne montrée est coupée.
    QVERIFY2(texte.endsWith(QStringLiteral("\n000005956\n000005957\n------ affichage coupé : seuls les 65536 premiers "
                                           "octets sont montrés ------\n")),
             qPrintable(texte.right(120)));
    QCOMPARE(texte.size(), entete.size() + 5957 * 10 + 10 + 77);
}

void TestFrmListe::impression_data()
{
    QTest::addColumn<QByteArray>("contenu");
    QTest::addColumn<QStringList>("lignesCorps");
    QTest::newRow("commande") << QByteArray("ordre    : 4521\r\ncip Qt    : 3400930000001 001\r\n")
                              << QStringList{ "ordre    : 4521", "cip Qt    : 3400930000001 001" };
    QTest::newRow("ligne vide au milieu") << QByteArray("un\r\n\r\ndeux")
                                          << QStringList{ "un", "", "deux" };
}

void TestFrmListe::impression()
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QSKIP("pdftotext absent (paquet poppler-utils)");
    QFETCH(QByteArray, contenu);
    QFETCH(QStringList, lignesCorps);
    const QString pdf = m_racine->path() + QStringLiteral("/sortie.pdf");
    ImprimeDansPdf(pdf);
    FrmListe* f = Ouvre(contenu);
    QVERIFY(f);
    QTest::mouseClick(f->BtImprimer(), Qt::LeftButton);

    QVERIFY(m_dialogues.Boites().isEmpty());
    QCOMPARE(m_imprimantesCreees, QStringList{ "PDF-test" });
    QStringList attendu{ "Liste", "", QStringLiteral("------ fichier : ") + QDir::toNativeSeparators(m_dossier)
                                          + QStringLiteral("CD1.txt ------") };
    attendu += lignesCorps;
    QCOMPARE(LignesDuPdf(pdf), attendu);

    // Une imprimante neuve pour chaque impression.
    QVERIFY(QFile::remove(pdf));
    f->BtImprimer_Click();
    QCOMPARE(m_imprimantesCreees, (QStringList{ "PDF-test", "PDF-test" }));
    QCOMPARE(LignesDuPdf(pdf), attendu);
}

void TestFrmListe::texteEfface()
{
    const QString pdf = m_racine->path() + QStringLiteral("/sortie.pdf");
    ImprimeDansPdf(pdf);
    FrmListe* f = Ouvre("a\r\n");
    QVERIFY(f);
    f->MetTexte(QString());
    f->BtImprimer_Click();
    // Aucun travail commencé : pas d'imprimante ouverte, pas de document.
    QVERIFY(m_imprimantesCreees.isEmpty());
    QVERIFY(!QFileInfo::exists(pdf));
    QVERIFY(m_dialogues.Boites().isEmpty());
}

void TestFrmListe::sansImprimanteDuSysteme()
{
    if (!QPrinterInfo::defaultPrinter().isNull())
        QSKIP("cette machine a une imprimante par défaut");
    FrmListe* f = Ouvre("a\r\n");
    QVERIFY(f);
    QCOMPARE(f->NamePrinterDefaut(), QString());
    f->BtImprimer_Click();
    QCOMPARE(m_dialogues.Boites().size(), 1);
    const DialoguesScriptes::Boite& b = m_dialogues.Boites().first();
    QCOMPARE(b.icone, Dialogues::Icone::Critique);
    QCOMPARE(b.titre, QStringLiteral("VBpelorane"));
    QCOMPARE(b.texte, QStringLiteral(" Vous ne pouvez pas utiliser cette fonction, car vous n'avez "
                                     "pas d'imprimante installée"));
    QVERIFY(!b.question);
}

void TestFrmListe::echecImpression()
{
    // Un PDF dans un dossier absent : l'ouverture du travail échoue.
    const QString pdf = m_racine->path() + QStringLiteral("/absent/sortie.pdf");
    ImprimeDansPdf(pdf);
    FrmListe* f = Ouvre("a\r\n");
    QVERIFY(f);
    f->BtImprimer_Click();
    QCOMPARE(m_dialogues.Boites().size(), 1);
    const DialoguesScriptes::Boite& b = m_dialogues.Boites().first();
    QCOMPARE(b.icone, Dialogues::Icone::Exclamation);
    QCOMPARE(b.titre, QStringLiteral("VBpelorane"));
    QCOMPARE(b.texte, QStringLiteral("erreur dans 'BtImprimer_Click'\r impression impossible sur PDF-test"));
    QVERIFY(!QFileInfo::exists(pdf));
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TestFrmListe t;
    return QTest::qExec(&t, argc, argv);
}
#include "TestFrmListe.moc"
