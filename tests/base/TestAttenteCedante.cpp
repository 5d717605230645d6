#include "base/HorlogeSysteme.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <ctime>

// L'attente réelle de la boucle de traitement (300 ms) : les événements passent dès
// qu'ils arrivent, la fin n'est pas avant le délai, et le fil dort pendant ce temps.
class TestAttenteCedante : public QObject
{
    Q_OBJECT
private slots:
    void evenementsPassentPendantLAttente();
};

static double TempsProcesseurMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1e6;
}

void TestAttenteCedante::evenementsPassentPendantLAttente()
{
    HorlogeSysteme horloge;
    QUdpSocket reception;
    QVERIFY(reception.bind(QHostAddress::LocalHost, 0));
    QElapsedTimer chrono;
    qint64 recuA = -1, minuterieA = -1;
    QByteArray recu;
    connect(&reception, &QUdpSocket::readyRead, this, [&] {
        recuA = chrono.elapsed();
        while (reception.hasPendingDatagrams()) {
            QByteArray d(int(reception.pendingDatagramSize()), '\0');
            reception.readDatagram(d.data(), d.size());
            recu += d;
        }
    });
    QUdpSocket envoi;
    QTimer::singleShot(100, this, [&] {
        minuterieA = chrono.elapsed();
        envoi.writeDatagram(QByteArrayLiteral("-Start     -S3"), QHostAddress::LocalHost, reception.localPort());
    });
    const qint64 debut = horloge.get_exact_milli_second();
    const double processeurAvant = TempsProcesseurMs();
    chrono.start();
    horloge.AttendEnCedant(300);
    const qint64 duree = chrono.elapsed();
    const double processeur = TempsProcesseurMs() - processeurAvant;

#ifdef Q_OS_WIN
    // Les minuteries de Windows ont la milliseconde du système pour grain : elles échoient parfois
    // une milliseconde avant leur terme, mesurée par QElapsedTimer.
    constexpr qint64 Grain = 1;
#else
    constexpr qint64 Grain = 0;
#endif
    QVERIFY2(duree >= 300 - Grain && duree < 450, qPrintable(QString::number(duree)));
    QVERIFY(horloge.get_exact_milli_second() - debut >= 300 - Grain);
    QVERIFY2(minuterieA >= 100 - Grain && minuterieA < 200, qPrintable(QString::number(minuterieA)));
    QCOMPARE(recu, QByteArrayLiteral("-Start     -S3"));
    QVERIFY2(recuA >= minuterieA && recuA < 250, qPrintable(QString::number(recuA)));
    // Sans scrutation : quelques millisecondes de processeur pour 300 ms d'attente.
    QVERIFY2(processeur < 60.0, qPrintable(QString::number(processeur)));
}

QTEST_GUILESS_MAIN(TestAttenteCedante)
#include "TestAttenteCedante.moc"
