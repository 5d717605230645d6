#include "base/JournalStatut.h"
#include "config/Configuration.h"
#include "orders/Passation.h"

#include <QFile>
#include <QTemporaryDir>
#include <QDir>
#include <QTest>

#include "commun/FichiersEssai.h"

#ifdef Q_OS_UNIX
#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
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
    void contenuRemisTelQuel();
    void passationPasOrdinaire_data();
    void passationPasOrdinaire();
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
    QCOMPARE(passation.LanceFichierCde(m_commande, QStringLiteral("002"), Commande), lance);

    if (lance) {
        QCOMPARE(Lit(m_config.FichierPassation), CopieAttendue);
        QCOMPARE(journal.Texte(),
                 QStringLiteral("envoi le fichier ") + QDir::toNativeSeparators(m_commande) + QStringLiteral(" vers 002\r\n"));
    } else {
        QCOMPARE(Lit(m_config.FichierPassation), passationAvant);
        QCOMPARE(journal.Texte(), QStringLiteral("Impossible d'envoyer le fichier ") + QDir::toNativeSeparators(m_commande)
                                      + QStringLiteral(" car la commande précédente est encore en "
                                                       "attente\r\n"));
    }
    // La commande reste : c'est le cycle qui l'efface après une remise.
    QCOMPARE(Lit(m_commande), Commande);
}

void TestPassation::contenuRemisTelQuel()
{
    // Les octets remis sont ceux que le cycle a lus et montrés, pas une relecture :
    // le fichier a changé (ou disparu) depuis, la copie reste celle du contenu reçu.
    QVERIFY(QFile::remove(m_commande));
    JournalStatut journal;
    Passation passation(journal, m_config);
    QVERIFY(passation.LanceFichierCde(m_commande, QStringLiteral("002"), Commande));
    QCOMPARE(Lit(m_config.FichierPassation), CopieAttendue);
    QCOMPARE(passation.DernierRefus(), Passation::Refus::Aucun);
}

void TestPassation::passationPasOrdinaire_data()
{
    QTest::addColumn<QString>("sorte");
    QTest::addColumn<QString>("genre");
    QTest::newRow("dossier") << "dossier" << "dossier";
    QTest::newRow("lien vers /dev/null") << "null" << "lien vers un périphérique";
    QTest::newRow("tube nomme") << "tube" << "tube nommé";
    QTest::newRow("socket") << "socket" << "socket";
    QTest::newRow("lien sans cible") << "casse" << "lien sans cible";
    QTest::newRow("lien vers un dossier") << "lienDossier" << "lien vers un dossier";
    // Avant : /dev/full était ouvert et l'échec d'écriture signalé ; ce n'est pas un fichier.
    QTest::newRow("/dev/full") << "full" << "périphérique";
}

void TestPassation::passationPasOrdinaire()
{
#ifndef Q_OS_UNIX
    QSKIP("tubes, sockets et liens propres à Unix");
#else
    QFETCH(QString, sorte);
    QFETCH(QString, genre);
    // Chemin court : une socket Unix a un nom de 108 octets au plus.
    if (sorte == QStringLiteral("full"))
        m_config.FichierPassation = QStringLiteral("/dev/full");
    const QString chemin = m_config.FichierPassation;
    const QString cible = m_dossier.path() + QStringLiteral("/cible-absente");
    int socketFd = -1;
    if (sorte == QStringLiteral("dossier")) {
        QVERIFY(QDir().mkpath(chemin));
    } else if (sorte == QStringLiteral("null")) {
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), chemin));
    } else if (sorte == QStringLiteral("tube")) {
        QCOMPARE(::mkfifo(QFile::encodeName(chemin).constData(), 0600), 0);
    } else if (sorte == QStringLiteral("socket")) {
        socketFd = CreeSocketUnix(chemin);
        if (socketFd == -1)
            QSKIP("dossier temporaire trop long pour une socket");
        QVERIFY(socketFd >= 0);
    } else if (sorte == QStringLiteral("full")) {
        if (!QFileInfo::exists(chemin))
            QSKIP("pas de /dev/full sur cette machine");
    } else if (sorte == QStringLiteral("casse")) {
        QVERIFY(QFile::link(cible, chemin));
    } else {
        QVERIFY(QFile::link(m_dossier.path(), chemin));
    }

    JournalStatut journal;
    Passation passation(journal, m_config);
    const QString ligne = QStringLiteral("fichier de passation inutilisable (") + genre
        + QStringLiteral(", pas un fichier ordinaire) : ") + chemin
        + QStringLiteral(" ; aucune commande n'est envoyee\r\n");
    // Refusée à chaque passe, une seule ligne tant que le défaut ne change pas.
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(passation.LanceFichierCde(m_commande, QStringLiteral("002"), Commande), false);
        QCOMPARE(passation.DernierRefus(), Passation::Refus::PassationInvalide);
    }
    QCOMPARE(journal.Texte(), ligne);
    QVERIFY(!QFileInfo::exists(cible)); // un lien sans cible ne crée pas sa cible
    QCOMPARE(Lit(m_commande), Commande);

    // Remis en ordre : une ligne le dit, la commande part.
    if (sorte == QStringLiteral("full"))
        return;
    if (socketFd >= 0)
        ::close(socketFd);
    if (sorte == QStringLiteral("dossier"))
        QVERIFY(QDir(chemin).removeRecursively());
    else
        QVERIFY(QFile::remove(chemin));
    QVERIFY(passation.LanceFichierCde(m_commande, QStringLiteral("002"), Commande));
    QCOMPARE(journal.Texte(), ligne + QStringLiteral("fichier de passation de nouveau utilisable : ") + chemin
                                  + QStringLiteral("\r\nenvoi le fichier ") + QDir::toNativeSeparators(m_commande)
                                  + QStringLiteral(" vers 002\r\n"));
    QCOMPARE(Lit(chemin), CopieAttendue);
#endif
}

void TestPassation::ecritureImpossible_data()
{
    QTest::addColumn<QString>("cheminPassation");
    QTest::addColumn<qint64>("limiteOctets"); // taille de fichier permise au processus, -1 sans limite
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
        lance = passation.LanceFichierCde(m_commande, QStringLiteral("003"), Commande);
        setrlimit(RLIMIT_FSIZE, &avant);
        std::signal(SIGXFSZ, ancienGestionnaire);
#else
        QSKIP("limite de taille de fichier propre à Unix");
#endif
    } else {
        lance = passation.LanceFichierCde(m_commande, QStringLiteral("003"), Commande);
    }
    QCOMPARE(lance, false);
    QCOMPARE(passation.DernierRefus(), Passation::Refus::EcritureImpossible);
    QCOMPARE(journal.Texte(), QStringLiteral("Erreur d'ecriture du fichier de passation ")
                                  + QDir::toNativeSeparators(cheminPassation) + QStringLiteral(" : le fichier ") + QDir::toNativeSeparators(m_commande)
                                  + QStringLiteral(" n'est pas envoye\r\n"));
    // Le même échec à la passe suivante n'est pas récrit (une passe toutes les 300 ms).
    if (limiteOctets < 0) {
        QCOMPARE(passation.LanceFichierCde(m_commande, QStringLiteral("003"), Commande), false);
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
