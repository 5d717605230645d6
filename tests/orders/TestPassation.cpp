#include "app/JournalStatut.h"
#include "config/Configuration.h"
#include "orders/Passation.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "commun/FichiersEssai.h"

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

const QByteArray Commande("protocol: CDE\r\nposte: 003\r\nP.Recept: 009\r\ncip Qt    : 34009   001");
const QByteArray CopieAttendue(
    "protocol: Fich-Pelorane\r\nposte: 003\r\nP.Recept: 002\r\ncip Qt    : 34009   001\r\n");

} // namespace

class TestPassation : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void libreOuOccupe_data();
    void libreOuOccupe();
    void commandeIlisible();
    void ecritureImpossible_data();
    void ecritureImpossible();

private:
    QTemporaryDir m_dossier;
    Configuration m_config;
    QString m_commande;
};

void TestPassation::init()
{
    QVERIFY(m_dossier.isValid());
    m_config.DossierEchange = m_dossier.path() + QStringLiteral("/Echanges/");
    m_config.FichierPassation = m_dossier.path() + QStringLiteral("/zCdeMnl.txt");
    QFile::remove(m_config.FichierPassation);
    QVERIFY(QDir().mkpath(m_config.DossierEchange));
    m_commande = m_config.DossierEchange + QStringLiteral("CD1.txt");
    Ecrit(m_commande, Commande);
}

void TestPassation::libreOuOccupe_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<QByteArray>("passationAvant");
    QTest::addColumn<bool>("lance");
    QTest::newRow("absent") << false << QByteArray() << true;
    QTest::newRow("0 octet") << true << QByteArray() << true;
    QTest::newRow("1 octet") << true << QByteArray("\n") << true;
    QTest::newRow("2 octets") << true << QByteArray("\r\n") << false;
    QTest::newRow("commande en attente") << true << CopieAttendue << false;
}

void TestPassation::libreOuOccupe()
{
    QFETCH(bool, present);
    QFETCH(QByteArray, passationAvant);
    QFETCH(bool, lance);
    if (present)
        Ecrit(m_config.FichierPassation, passationAvant);

    JournalStatut journal;
    Passation passation(journal, m_config);
    QCOMPARE(passation.LanceFichierCde(m_commande, QStringLiteral("002")), lance);

    if (lance) {
        QCOMPARE(Lit(m_config.FichierPassation), CopieAttendue);
        QCOMPARE(journal.Texte(),
                 QStringLiteral("envoi le fichier ") + m_commande + QStringLiteral(" vers 002\r\n"));
    } else {
        QCOMPARE(Lit(m_config.FichierPassation), passationAvant);
        QCOMPARE(journal.Texte(), QStringLiteral("Impossible d'envoyer le fichier ") + m_commande
                                      + QStringLiteral(" car la commande précédente est encore en "
                                                       "attente\r\n"));
    }
    // La commande reste : c'est le cycle qui l'efface après une remise.
    QCOMPARE(Lit(m_commande), Commande);
}

void TestPassation::commandeIlisible()
{
    Ecrit(m_config.FichierPassation, QByteArray("x"));
    QVERIFY(QFile::remove(m_commande));
    JournalStatut journal;
    Passation passation(journal, m_config);
    QCOMPARE(passation.LanceFichierCde(m_commande, QStringLiteral("001")), false);
    QCOMPARE(journal.Texte(), QStringLiteral("Impossible de lire le fichier ") + m_commande
                                  + QStringLiteral(", il n'est pas envoye\r\n"));
    QCOMPARE(passation.DernierRefus(), Passation::Refus::CommandeIllisible);
    // Le fichier de passation n'a pas été ouvert en écriture.
    QCOMPARE(Lit(m_config.FichierPassation), QByteArray("x"));
}

void TestPassation::ecritureImpossible_data()
{
    QTest::addColumn<QString>("cheminPassation");
    QTest::addColumn<qint64>("limiteOctets"); // taille de fichier permise au processus, -1 sans limite
    // /dev/full accepte l'ouverture puis refuse toute écriture (disque plein).
    QTest::newRow("disque plein") << QStringLiteral("/dev/full") << qint64(-1);
    QTest::newRow("dossier absent") << QStringLiteral("<tmp>/absent/zCdeMnl.txt") << qint64(-1);
    // Écriture coupée après 20 octets : le frontal ne doit pas trouver ce début.
    QTest::newRow("ecriture coupee") << QStringLiteral("<tmp>/zCdeMnl.txt") << qint64(20);
}

void TestPassation::ecritureImpossible()
{
    QFETCH(QString, cheminPassation);
    QFETCH(qint64, limiteOctets);
    cheminPassation.replace(QStringLiteral("<tmp>"), m_dossier.path());
    const bool dansLeDossier = cheminPassation.startsWith(m_dossier.path());
    if (!dansLeDossier && !QFileInfo::exists(cheminPassation))
        QSKIP("pas de /dev/full sur cette machine");
    m_config.FichierPassation = cheminPassation;
    if (limiteOctets >= 0)
        Ecrit(cheminPassation, QByteArray("x"));

    JournalStatut journal;
    Passation passation(journal, m_config);
    bool lance = true;
    if (limiteOctets >= 0) {
#ifdef Q_OS_UNIX
        rlimit avant {};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &avant), 0);
        rlimit limite = avant;
        limite.rlim_cur = rlim_t(limiteOctets);
        auto ancienGestionnaire = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limite), 0);
        lance = passation.LanceFichierCde(m_commande, QStringLiteral("003"));
        setrlimit(RLIMIT_FSIZE, &avant);
        std::signal(SIGXFSZ, ancienGestionnaire);
#else
        QSKIP("limite de taille de fichier propre à Unix");
#endif
    } else {
        lance = passation.LanceFichierCde(m_commande, QStringLiteral("003"));
    }
    QCOMPARE(lance, false);
    QCOMPARE(passation.DernierRefus(), Passation::Refus::EcritureImpossible);
    QCOMPARE(journal.Texte(), QStringLiteral("Erreur d'ecriture du fichier de passation ")
                                  + cheminPassation + QStringLiteral(" : le fichier ") + m_commande
                                  + QStringLiteral(" n'est pas envoye\r\n"));
    // Le même échec à la passe suivante n'est pas récrit (une passe toutes les 300 ms).
    if (limiteOctets < 0) {
        QCOMPARE(passation.LanceFichierCde(m_commande, QStringLiteral("003")), false);
        QCOMPARE(journal.Texte().count(QStringLiteral("Erreur d'ecriture")), 1);
    }
    QCOMPARE(Lit(m_commande), Commande);
    if (limiteOctets >= 0)
        QCOMPARE(Lit(cheminPassation), QByteArray()); // revidé, 0 octet
    else if (dansLeDossier)
        QVERIFY(!QFileInfo::exists(cheminPassation));
}

QTEST_GUILESS_MAIN(TestPassation)
#include "TestPassation.moc"
