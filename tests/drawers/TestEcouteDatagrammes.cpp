#include "base/JournalStatut.h"
#include "commun/DialoguesScriptes.h"
#include "commun/HorlogeTest.h"
#include "config/Configuration.h"
#include "drawers/DatagrammeFinConvoyage.h"
#include "drawers/EcouteDatagrammes.h"
#include "drawers/FileDatagrammes.h"
#include "drawers/LigneCartes.h"
#include "drawers/TableauTiroirs.h"

#include <QTest>
#include <QElapsedTimer>
#include <QTimer>
#include <QUdpSocket>

#include <atomic>
#include <chrono>
#include <thread>

namespace {
constexpr int Rouge = TableauTiroirs::PasEnAttente;
constexpr int Vert = TableauTiroirs::AutoriseCde;
constexpr int Jaune = TableauTiroirs::CdeEnCours;
const QByteArray Prefixe = QByteArrayLiteral("-Start     -S");

quint16 PortLibre()
{
    QUdpSocket essai;
    essai.bind(QHostAddress::LocalHost, 0);
    return essai.localPort();
}
} // namespace

class TestEcouteDatagrammes : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void lecture_data();
    void lecture();
    void datagramme_data();
    void datagramme();
    void rafale();
    void flotParLots_data();
    void flotParLots();
    void arriveePendantLiberation();
    void jamaisSourdApresUnFlot();
    void inondationPendantUnEchange();
    void fermeSousUnFlot();
    void sourcesAdmises_data();
    void sourcesAdmises();
    void liaison();
    void liaisonRefusee_data();
    void liaisonRefusee();
    void portPrisAuDemarrage();

private:
    void Envoie(const QByteArray& octets);
    void AttendLecture(qint64 nombre);
    QString LigneJournalApres(int debut) const { return m_journal->Texte().mid(debut); }

    Configuration m_config;
    std::unique_ptr<JournalStatut> m_journal;
    std::unique_ptr<HorlogeTest> m_horloge;
    std::unique_ptr<DialoguesScriptes> m_dialogues;
    std::unique_ptr<LigneCartes> m_ligne;
    std::unique_ptr<TableauTiroirs> m_tiroirs;
    std::unique_ptr<EcouteDatagrammes> m_ecoute;
    QUdpSocket m_expediteur;
    quint16 m_port = 0;
};

void TestEcouteDatagrammes::init()
{
    m_config = Configuration();
    m_journal = std::make_unique<JournalStatut>();
    m_horloge = std::make_unique<HorlogeTest>();
    m_dialogues = std::make_unique<DialoguesScriptes>();
    m_ligne = std::make_unique<LigneCartes>(*m_journal, *m_dialogues, m_config);
    m_tiroirs = std::make_unique<TableauTiroirs>(*m_journal, *m_horloge, *m_ligne, m_config);
    m_ecoute = std::make_unique<EcouteDatagrammes>(*m_journal, *m_tiroirs);
    for (int n = 1; n <= 4; ++n)
        m_tiroirs->MetCouleur(n, Vert);
    m_port = PortLibre();
    m_ecoute->Lie(QStringLiteral("127.0.0.1"), QString::number(m_port));
    QVERIFY(!m_ecoute->EstFerme());
    QCOMPARE(m_journal->Texte(), QString());
}

void TestEcouteDatagrammes::cleanup()
{
    m_ecoute.reset();
    m_tiroirs.reset();
    m_ligne.reset();
}

void TestEcouteDatagrammes::Envoie(const QByteArray& octets)
{
    QCOMPARE(m_expediteur.writeDatagram(octets, QHostAddress::LocalHost, m_port), qint64(octets.size()));
}

void TestEcouteDatagrammes::lecture_data()
{
    QTest::addColumn<QByteArray>("octets");
    QTest::addColumn<bool>("finConvoyage");
    QTest::addColumn<bool>("controle");
    QTest::addColumn<int>("tiroir");
    QTest::newRow("NUL puis 1") << Prefixe + QByteArray("\0" "1", 2) << false << true << 0;
    QTest::newRow("1 puis NUL") << Prefixe + QByteArray("1\0", 2) << false << true << 0;
    QTest::newRow("ESC") << Prefixe + "\x1b" "2" << false << true << 0;
    QTest::newRow("DEL") << Prefixe + "2\x7f" << false << true << 0;
    QTest::newRow("-S0 : tous") << Prefixe + "0" << true << false << 0;
    QTest::newRow("préfixe seul : tous") << Prefixe << true << false << 0;
    QTest::newRow("tabulation et LF") << Prefixe + "\t3\n" << true << false << 3;
    QTest::newRow("CR LF final") << Prefixe + "3\r\n" << true << false << 3;
    QTest::newRow("octet haut") << Prefixe + "4 \xff" << true << false << 4;
    QTest::newRow("NUL sans préfixe") << QByteArray("bonjour\0", 8) << false << false << 0;
}

void TestEcouteDatagrammes::lecture()
{
    QFETCH(QByteArray, octets);
    QFETCH(bool, finConvoyage);
    QFETCH(bool, controle);
    QFETCH(int, tiroir);
    const DatagrammeFinConvoyage lu = DatagrammeFinConvoyage::Lit(octets);
    QCOMPARE(lu.finConvoyage, finConvoyage);
    QCOMPARE(lu.controleDansTiroir, controle);
    QCOMPARE(lu.tiroir, tiroir);
}

void TestEcouteDatagrammes::datagramme_data()
{
    QTest::addColumn<QByteArray>("octets");
    QTest::addColumn<QString>("journal");
    QTest::addColumn<QList<int>>("couleurs");
    const QList<int> inchange{ Vert, Vert, Vert, Vert };
    QTest::newRow("tiroir 3") << Prefixe + "3" << "UDP= -Start     -S3\r\nlibere tiroir: 3   \r\n"
                              << QList<int>{ Vert, Vert, Rouge, Vert };
    QTest::newRow("espaces autour") << "   " + Prefixe + "3  " << "UDP= -Start     -S3\r\nlibere tiroir: 3   \r\n"
                                    << QList<int>{ Vert, Vert, Rouge, Vert };
    QTest::newRow("12 puis lettres") << Prefixe + " 12abc" << "UDP= -Start     -S 12abc\r\n" << inchange;
    QTest::newRow("préfixe seul")
        << Prefixe << "UDP= -Start     -S\r\nlibere tiroir: 1   \r\nlibere tiroir: 2   \r\n"
                      "libere tiroir: 3   \r\nlibere tiroir: 4   \r\n"
        << QList<int>{ Rouge, Rouge, Rouge, Rouge };
    QTest::newRow("start minuscule") << QByteArray("-start     -S3") << "UDP= -start     -S3\r\n" << inchange;
    QTest::newRow("un seul espace") << QByteArray("-Start -S3") << "UDP= -Start -S3\r\n" << inchange;
    QTest::newRow("2.5") << Prefixe + "2.5" << "UDP= -Start     -S2.5\r\nlibere tiroir: 2   \r\n"
                         << QList<int>{ Vert, Rouge, Vert, Vert };
    QTest::newRow("3.5") << Prefixe + "3.5" << "UDP= -Start     -S3.5\r\nlibere tiroir: 4   \r\n"
                         << QList<int>{ Vert, Vert, Vert, Rouge };
    QTest::newRow("négatif") << Prefixe + "-1" << "UDP= -Start     -S-1\r\n" << inchange;
    QTest::newRow("saut de ligne final") << Prefixe + "1\r\n" << "UDP= -Start     -S1<0D><0A>\r\nlibere tiroir: 1   \r\n"
                                         << QList<int>{ Rouge, Vert, Vert, Vert };
    QTest::newRow("octets de contrôle") << QByteArray("\x1b[2J\0\xff", 6) << QString::fromUtf8("UDP= <1B>[2J<00>ÿ\r\n")
                                        << inchange;
    QTest::newRow("NUL dans le numéro")
        << Prefixe + QByteArray("\0" "1", 2)
        << "UDP= -Start     -S<00>1\r\nUDP: datagramme refuse (octet de controle dans le numero de tiroir)\r\n"
        << inchange;
    QTest::newRow("-S0") << Prefixe + "0"
                         << "UDP= -Start     -S0\r\nlibere tiroir: 1   \r\nlibere tiroir: 2   \r\n"
                            "libere tiroir: 3   \r\nlibere tiroir: 4   \r\n"
                         << QList<int>{ Rouge, Rouge, Rouge, Rouge };
    QTest::newRow("très long") << QByteArray(5000, 'x')
                               << "UDP= " + QString(200, QLatin1Char('x')) + " ...(5000 octets)\r\n" << inchange;
    QTest::newRow("vide") << QByteArray() << "UDP= \r\n" << inchange;
}

void TestEcouteDatagrammes::datagramme()
{
    QFETCH(QByteArray, octets);
    QFETCH(QString, journal);
    QFETCH(QList<int>, couleurs);
    Envoie(octets);
    QTRY_COMPARE(m_journal->Texte(), journal);
    QTest::qWait(20);
    QCOMPARE(m_journal->Texte(), journal);
    QList<int> obtenues;
    for (int n = 1; n <= 4; ++n)
        obtenues.append(m_tiroirs->Couleur(n));
    QCOMPARE(obtenues, couleurs);
}

void TestEcouteDatagrammes::rafale()
{
    // Trois datagrammes attendent avant que la boucle d'événements ne tourne.
    Envoie(Prefixe + "1");
    Envoie("bonjour");
    Envoie(Prefixe + "4");
    QTRY_COMPARE(m_journal->Texte(), QStringLiteral("UDP= -Start     -S1\r\nlibere tiroir: 1   \r\n"
                                                    "UDP= bonjour\r\n"
                                                    "UDP= -Start     -S4\r\nlibere tiroir: 4   \r\n"));
}

void TestEcouteDatagrammes::flotParLots_data()
{
    QTest::addColumn<int>("bruits");
    QTest::addColumn<QByteArrayList>("valides");
    QTest::addColumn<QStringList>("fin");
    const int borne = FileDatagrammes::EntreesMax;
    const QString sautes = QStringLiteral("%1 datagrammes non journalises (flot trop rapide, liberations appliquees)");
    QTest::newRow("sous la borne") << borne - 1 << QByteArrayList{ Prefixe + "2" }
                                   << QStringList{ "UDP= -Start     -S2", "libere tiroir: 2   " };
    QTest::newRow("borne plus un") << borne << QByteArrayList{ Prefixe + "2" }
                                   << QStringList{ sautes.arg(1), "libere tiroir: 2   " };
    QTest::newRow("regroupés par tiroir")
        << borne << QByteArrayList{ Prefixe + "3", Prefixe + "1", Prefixe + "3", Prefixe + " 1" }
        << QStringList{ sautes.arg(4), "libere tiroir: 3   ", "libere tiroir: 1   " };
    QTest::newRow("tous, hors bornes, contrôle")
        << borne << QByteArrayList{ Prefixe + "9", Prefixe + "-1", Prefixe + QByteArray("\0" "2", 2), Prefixe, Prefixe + "2" }
        << QStringList{ sautes.arg(5), "libere tiroir: 1   ", "libere tiroir: 2   ", "libere tiroir: 3   ",
                        "libere tiroir: 4   ", "libere tiroir: 2   " };
}

void TestEcouteDatagrammes::flotParLots()
{
    // Le fil des fenêtres ne tourne pas pendant l'envoi : le fil de lecture a tout
    // déposé avant le premier tour d'événements. Les 256 premiers datagrammes sont
    // journalisés dans l'ordre ; les suivants sont comptés en une ligne, et leurs
    // libérations regroupées par tiroir, dans l'ordre de première arrivée.
    QFETCH(int, bruits);
    QFETCH(QByteArrayList, valides);
    QFETCH(QStringList, fin);
    QString attendu;
    for (int i = 0; i < bruits; ++i) {
        const QByteArray texte = "datagramme " + QByteArray::number(i);
        Envoie(texte);
        attendu += QStringLiteral("UDP= ") + QString::fromLatin1(texte) + QStringLiteral("\r\n");
    }
    for (const QByteArray& valide : valides)
        Envoie(valide);
    attendu += fin.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
    AttendLecture(bruits + valides.size());
    QTRY_COMPARE(m_journal->Texte(), attendu);
    QTest::qWait(20);
    QCOMPARE(m_journal->Texte(), attendu);
}

void TestEcouteDatagrammes::AttendLecture(qint64 nombre)
{
    // Sans faire tourner la boucle d'événements (le fil des fenêtres est « occupé »).
    QElapsedTimer chrono;
    chrono.start();
    qint64 vus = -1;
    while (chrono.elapsed() < 10000 && (m_ecoute->DatagrammesRecus() < nombre || m_ecoute->DatagrammesRecus() != vus)) {
        vus = m_ecoute->DatagrammesRecus();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    QVERIFY2(m_ecoute->DatagrammesRecus() >= nombre, qPrintable(QString::number(m_ecoute->DatagrammesRecus())));
}

void TestEcouteDatagrammes::arriveePendantLiberation()
{
    // Un datagramme qui arrive pendant les cessions de OuvreTiroir(0) est traité après
    // le premier, jamais au milieu de ses lignes, et n'est pas perdu.
    bool envoye = false;
    connect(m_tiroirs.get(), &TableauTiroirs::couleurChangee, this, [&](int tiroir, int) {
        if (tiroir == 1 && !envoye) {
            envoye = true;
            Envoie(Prefixe + "2");
            QTest::qWait(0);
        }
    });
    m_tiroirs->MetCouleur(2, Jaune);
    Envoie(Prefixe);
    QTRY_COMPARE(m_journal->Texte(), QStringLiteral("UDP= -Start     -S\r\nlibere tiroir: 1   \r\nlibere tiroir: 2   \r\n"
                                                    "libere tiroir: 3   \r\nlibere tiroir: 4   \r\n"
                                                    "UDP= -Start     -S2\r\nlibere tiroir: 2   \r\n"));
    QVERIFY(envoye);
}

void TestEcouteDatagrammes::jamaisSourdApresUnFlot()
{
    // Un autre fil inonde la socket (50 000 datagrammes/s pendant 1 s) pendant que la
    // boucle d'événements tourne ; après le flot, un datagramme valide doit encore être
    // lu et honoré.
    m_tiroirs->MetCouleur(4, Vert);
    std::atomic<int> envoyes{ 0 };
    std::thread inondeur([port = m_port, &envoyes] {
        // Socket du fil inondeur, écrite sans boucle d'événements (même code sous Unix et Windows).
        QUdpSocket socket;
        const QByteArray textes[2] = { Prefixe + "3", QByteArrayLiteral("bruit") };
        const auto debut = std::chrono::steady_clock::now();
        for (int ms = 0; ms < 1000; ++ms) {
            for (int i = 0; i < 50; ++i) {
                const QByteArray& t = textes[i % 2];
                if (socket.writeDatagram(t, QHostAddress::LocalHost, port) > 0)
                    ++envoyes;
            }
            std::this_thread::sleep_until(debut + std::chrono::milliseconds(ms + 1));
        }
    });
    QElapsedTimer chrono;
    chrono.start();
    while (chrono.elapsed() < 1200)
        QTest::qWait(10);
    inondeur.join();
    QVERIFY2(envoyes > 10000, qPrintable(QString::number(envoyes)));
    // Laisse la socket se vider, puis le datagramme valide après le flot.
    QTRY_VERIFY_WITH_TIMEOUT(!m_journal->Texte().isEmpty(), 5000);
    QTest::qWait(500);
    Envoie(Prefixe + "4");
    QTRY_COMPARE_WITH_TIMEOUT(m_tiroirs->Couleur(4), Rouge, 5000);
}

void TestEcouteDatagrammes::inondationPendantUnEchange()
{
    // Le fil des fenêtres est pris 1 s (comme par un échange avec les cartes) pendant
    // qu'un autre fil inonde le port à 50 000 datagrammes/s ; des "-S3" puis des "-S1"
    // valides passent au milieu du flot. Chaque tiroir est libéré une fois.
    std::atomic<int> envoyes{ 0 };
    std::thread inondeur([port = m_port, &envoyes] {
        // Socket du fil inondeur, écrite sans boucle d'événements (même code sous Unix et Windows).
        QUdpSocket socket;
        const auto debut = std::chrono::steady_clock::now();
        for (int ms = 0; ms < 500; ++ms) {
            for (int i = 0; i < 50; ++i) {
                const int n = ms * 50 + i;
                const bool trois = n == 8000 || n == 8500 || n == 9000;
                const bool un = n == 16000 || n == 16500 || n == 17000;
                const QByteArray t = trois ? Prefixe + "3" : un ? Prefixe + "1" : "bruit " + QByteArray::number(n);
                if (socket.writeDatagram(t, QHostAddress::LocalHost, port) > 0)
                    ++envoyes;
            }
            std::this_thread::sleep_until(debut + std::chrono::milliseconds(ms + 1));
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    inondeur.join();
    QVERIFY2(envoyes > 20000, qPrintable(QString::number(envoyes)));
    // Le noyau a pu jeter une partie du bruit ; le compte dit ce que le fil a lu.
    AttendLecture(FileDatagrammes::EntreesMax + 6);
    QString attendu;
    for (int n = 0; n < FileDatagrammes::EntreesMax; ++n)
        attendu += QStringLiteral("UDP= bruit %1\r\n").arg(n);
    attendu += QStringLiteral("%1 datagrammes non journalises (flot trop rapide, liberations appliquees)\r\n"
                              "libere tiroir: 3   \r\nlibere tiroir: 1   \r\n")
                   .arg(m_ecoute->DatagrammesRecus() - FileDatagrammes::EntreesMax);
    QTRY_COMPARE_WITH_TIMEOUT(m_journal->Texte(), attendu, 5000);
    QCOMPARE(m_tiroirs->Couleur(3), Rouge);
    QCOMPARE(m_tiroirs->Couleur(1), Rouge);
    QCOMPARE(m_tiroirs->Couleur(2), Vert);
}

void TestEcouteDatagrammes::fermeSousUnFlot()
{
    // Ferme rend la main vite même sous un flot continu, et rend le port : une
    // nouvelle liaison exclusive au même port réussit (aucun descripteur n'est resté).
    std::atomic<bool> fin{ false };
    std::thread inondeur([port = m_port, &fin] {
        // Socket du fil inondeur, écrite sans boucle d'événements (même code sous Unix et Windows).
        QUdpSocket socket;
        while (!fin)
            socket.writeDatagram(QByteArrayLiteral("bruit"), QHostAddress::LocalHost, port);
    });
    QElapsedTimer chrono;
    chrono.start();
    while (m_ecoute->DatagrammesRecus() < 10000 && chrono.elapsed() < 10000)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    QVERIFY(m_ecoute->DatagrammesRecus() >= 10000);
    chrono.restart();
    m_ecoute->Ferme();
    const qint64 duree = chrono.elapsed();
    fin = true;
    inondeur.join();
    QVERIFY2(duree < 1000, qPrintable(QString::number(duree)));
    QVERIFY(m_ecoute->EstFerme());
    QCOMPARE(m_ecoute->PortLocal(), quint16(0));
    QCOMPARE(m_journal->Texte(), QString());
    m_ecoute->Lie(QStringLiteral("127.0.0.1"), QString::number(m_port));
    QCOMPARE(m_journal->Texte(), QString());
    QCOMPARE(m_ecoute->PortLocal(), m_port);
    Envoie(Prefixe + "2");
    QTRY_COMPARE(m_tiroirs->Couleur(2), Rouge);
}

void TestEcouteDatagrammes::sourcesAdmises_data()
{
    QTest::addColumn<QStringList>("sources");
    QTest::addColumn<QString>("journal");
    QTest::addColumn<int>("couleur1");
    QTest::newRow("sans option") << QStringList() << "UDP= -Start     -S1\r\nlibere tiroir: 1   \r\n" << Rouge;
    QTest::newRow("expéditeur admis")
        << QStringList{ "127.0.0.9", " 127.0.0.1" } << "UDP= -Start     -S1\r\nlibere tiroir: 1   \r\n" << Rouge;
    QTest::newRow("autre expéditeur")
        << QStringList{ "127.0.0.9" } << "UDP: datagrammes de 127.0.0.1 ignores (expediteur non admis)\r\n" << Vert;
    QTest::newRow("adresse illisible")
        << QStringList{ "abc" }
        << "Erreur UDP: source incorrecte abc\r\nUDP: datagrammes de 127.0.0.1 ignores (expediteur non admis)\r\n"
        << Vert;
}

void TestEcouteDatagrammes::sourcesAdmises()
{
    // Deux datagrammes du même expéditeur : au plus une ligne pour lui.
    QFETCH(QStringList, sources);
    QFETCH(QString, journal);
    QFETCH(int, couleur1);
    m_ecoute->AdmetSources(sources);
    Envoie(Prefixe + "1");
    Envoie(Prefixe + "1");
    QString attendu = journal;
    if (couleur1 == Rouge)
        attendu += QStringLiteral("UDP= -Start     -S1\r\nlibere tiroir: 1   \r\n");
    QTRY_COMPARE(m_journal->Texte(), attendu);
    QTest::qWait(50);
    QCOMPARE(m_journal->Texte(), attendu);
    QCOMPARE(m_tiroirs->Couleur(1), couleur1);
}

void TestEcouteDatagrammes::liaison()
{
    // Lie ferme d'abord : relier au même port réussit ; Ferme ne journalise rien.
    m_ecoute->Lie(QStringLiteral("127.0.0.1"), QStringLiteral(" ") + QString::number(m_port) + QStringLiteral(".2"));
    QCOMPARE(m_ecoute->PortLocal(), m_port);
    m_ecoute->Ferme();
    QVERIFY(m_ecoute->EstFerme());
    m_ecoute->Ferme();
    QCOMPARE(m_journal->Texte(), QString());
    Envoie(Prefixe + "1");
    QTest::qWait(50);
    QCOMPARE(m_tiroirs->Couleur(1), Vert);

    // Sans adresse locale (valeur Null dans la base) : écoute sur toutes les adresses.
    m_ecoute->Lie(QString(), QString::number(m_port));
    QVERIFY(!m_ecoute->EstFerme());
    QCOMPARE(m_journal->Texte(), QString());
    Envoie(Prefixe + "1");
    QTRY_COMPARE(m_tiroirs->Couleur(1), Rouge);
}

void TestEcouteDatagrammes::liaisonRefusee_data()
{
    QTest::addColumn<QString>("adresse");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("debut");
    QTest::newRow("port pris") << "127.0.0.1" << "PRIS" << "Erreur UDP: impossible d'ecouter sur 127.0.0.1:";
    QTest::newRow("port illisible") << "127.0.0.1" << "abc" << "Erreur UDP: port local incorrect 127.0.0.1:abc";
    QTest::newRow("port trop grand") << "127.0.0.1" << "70000" << "Erreur UDP: port local incorrect 127.0.0.1:70000";
    QTest::newRow("adresse illisible") << "127.0.0.300" << "43325"
                                       << "Erreur UDP: adresse locale incorrecte 127.0.0.300:43325";
}

void TestEcouteDatagrammes::liaisonRefusee()
{
    QFETCH(QString, adresse);
    QFETCH(QString, port);
    QFETCH(QString, debut);
    QUdpSocket occupant;
    if (port == QLatin1String("PRIS")) {
        QVERIFY(occupant.bind(QHostAddress::LocalHost, 0, QAbstractSocket::DontShareAddress));
        port = QString::number(occupant.localPort());
        debut += port + QStringLiteral(" (");
    }
    m_ecoute->Lie(adresse, port);
    QVERIFY(m_ecoute->EstFerme());
    const QStringList lignes = m_journal->Texte().split(QStringLiteral("\r\n"));
    QCOMPARE(lignes.size(), 2);
    QVERIFY2(lignes[0].startsWith(debut), qPrintable(lignes[0]));
}

// Le port est tenu par un autre programme au démarrage : l'écoute se refait
// d'elle-même quand il le rend, avec une ligne, et les datagrammes libèrent de nouveau.
void TestEcouteDatagrammes::portPrisAuDemarrage()
{
    m_ecoute->Ferme();
    auto occupant = std::make_unique<QUdpSocket>();
    QVERIFY(occupant->bind(QHostAddress::LocalHost, m_port, QAbstractSocket::DontShareAddress));
    m_ecoute->Lie(QStringLiteral("127.0.0.1"), QString::number(m_port));
    QVERIFY(m_ecoute->EstFerme());
    const QString cible = QStringLiteral("127.0.0.1:") + QString::number(m_port);
    QVERIFY(m_journal->Texte().startsWith(QStringLiteral("Erreur UDP: impossible d'ecouter sur ") + cible + QStringLiteral(" (")));
    const int avant = int(m_journal->Texte().size());

    // Tant que le port reste pris, les essais se taisent.
    QTest::qWait(5500);
    QVERIFY(m_ecoute->EstFerme());
    QCOMPARE(m_journal->Texte().size(), avant);

    occupant.reset();
    QTRY_VERIFY_WITH_TIMEOUT(!m_ecoute->EstFerme(), 6000);
    QCOMPARE(m_ecoute->PortLocal(), m_port);
    QCOMPARE(m_journal->Texte().mid(avant), QStringLiteral("UDP: ecoute etablie sur ") + cible + QStringLiteral(" (le port a ete libere)\r\n"));
    Envoie(Prefixe + "2");
    QTRY_COMPARE(m_tiroirs->Couleur(2), Rouge);
}

QTEST_MAIN(TestEcouteDatagrammes)
#include "TestEcouteDatagrammes.moc"
