#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

// Le programme lancé comme le lance l'entrée du menu (Exec= de pelorane.desktop),
// sur un vrai serveur X (Xvfb) avec un gestionnaire de fenêtres (openbox), par un
// utilisateur neuf : la boîte fatale doit rester jusqu'à ce qu'on y réponde.
class TestBureau : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void boiteFataleAttendLaReponse();

private:
    QString Fenetres(const QString& titre, bool visibles) const;
    QProcess m_xvfb;
    QProcess m_openbox;
    QString m_ecran;
    QProcessEnvironment m_env;
};

void TestBureau::initTestCase()
{
    for (const char* outil : { "Xvfb", "openbox", "xdotool" })
        if (QStandardPaths::findExecutable(QString::fromLatin1(outil)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 absent : paquets xvfb, openbox et xdotool (scripts/paquets.sh)")
                                 .arg(QString::fromLatin1(outil))));
    // Un numéro d'écran libre : ni prise ni verrou de serveur X à ce nom.
    for (int n = 90 + int(QCoreApplication::applicationPid() % 100); n < 400; ++n) {
        if (!QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n))
            && !QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(n))) {
            m_ecran = QStringLiteral(":%1").arg(n);
            break;
        }
    }
    QVERIFY(!m_ecran.isEmpty());
    m_xvfb.start(QStringLiteral("Xvfb"), { m_ecran, QStringLiteral("-screen"), QStringLiteral("0"),
                                           QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                                           QStringLiteral("tcp") });
    QVERIFY(m_xvfb.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X") + m_ecran.mid(1)), 10000);
    m_env = QProcessEnvironment::systemEnvironment();
    m_env.insert(QStringLiteral("DISPLAY"), m_ecran);
    m_env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    m_env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    m_openbox.setProcessEnvironment(m_env);
    m_openbox.start(QStringLiteral("openbox"), { QStringLiteral("--sm-disable") });
    QVERIFY(m_openbox.waitForStarted(5000));
}

void TestBureau::cleanupTestCase()
{
    for (QProcess* p : { &m_openbox, &m_xvfb }) {
        if (p->state() == QProcess::NotRunning)
            continue;
        p->terminate();
        if (!p->waitForFinished(5000))
            p->kill();
        p->waitForFinished(5000);
    }
}

QString TestBureau::Fenetres(const QString& titre, bool visibles) const
{
    QProcess x;
    x.setProcessEnvironment(m_env);
    QStringList arguments{ QStringLiteral("search") };
    if (visibles)
        arguments << QStringLiteral("--onlyvisible");
    x.start(QStringLiteral("xdotool"), arguments << QStringLiteral("--name") << titre);
    x.waitForFinished(5000);
    return QString::fromLatin1(x.readAllStandardOutput()).trimmed();
}

void TestBureau::boiteFataleAttendLaReponse()
{
    // La commande de l'entrée du menu, cherchée dans le PATH comme le fait le bureau.
    QFile bureau(qEnvironmentVariable("PELORANE_BUREAU"));
    QVERIFY2(bureau.open(QIODevice::ReadOnly), qPrintable(bureau.fileName()));
    const QRegularExpressionMatch exec =
        QRegularExpression(QStringLiteral("^Exec=(\\S+)$"), QRegularExpression::MultilineOption)
            .match(QString::fromUtf8(bureau.readAll()));
    QVERIFY(exec.hasMatch());
    QCOMPARE(exec.captured(1), QStringLiteral("pelorane"));
    const QString binaire = qEnvironmentVariable("PELORANE_BINAIRE");
    QCOMPARE(QFileInfo(binaire).fileName(), exec.captured(1));

    QTemporaryDir home;
    QProcessEnvironment env = m_env;
    env.insert(QStringLiteral("HOME"), home.path());
    env.remove(QStringLiteral("XDG_CONFIG_HOME"));
    env.insert(QStringLiteral("PATH"), QFileInfo(binaire).absolutePath() + QLatin1Char(':') + env.value(QStringLiteral("PATH")));
    QProcess pelorane;
    pelorane.setProcessEnvironment(env);
    pelorane.setWorkingDirectory(home.path());
    pelorane.start(QStandardPaths::findExecutable(exec.captured(1), { QFileInfo(binaire).absolutePath() }), {});
    QVERIFY(pelorane.waitForStarted(5000));
    // Un essai manqué ne laisse pas le programme tourner.
    const auto arret = qScopeGuard([&pelorane] {
        if (pelorane.state() != QProcess::NotRunning) {
            pelorane.kill();
            pelorane.waitForFinished(5000);
        }
    });

    // La boîte fatale (réglage absent) paraît, et reste : personne n'y a répondu.
    const QString titre = QStringLiteral("^VBpelorane$");
    // Un HOME neuf : fontconfig y refait son cache, long sur une machine chargée.
    QTRY_VERIFY_WITH_TIMEOUT(!Fenetres(titre, true).isEmpty(), 90000);
    QVERIFY2(!pelorane.waitForFinished(3000), "la boîte fatale a disparu sans réponse");
    // La réponse : Entrée, envoyée à chaque fenêtre de ce titre (la principale porte le même
    // et l'ignore, bloquée par la boîte modale), jusqu'à la fin du programme. Elle est
    // envoyée à la fenêtre elle-même, sans la rendre active : au bout de 30 s la
    // principale se réduit et emporte la boîte, qui n'est plus montrée, et le gestionnaire
    // de fenêtres ne donne pas toujours le clavier à la boîte.
    bool fini = false;
    QStringList essayees;
    QElapsedTimer reponse;
    reponse.start();
    for (int tour = 0; !fini && reponse.elapsed() < 75000; ++tour) {
        if (tour > 0)
            QTest::qWait(1000);
        const QStringList fenetres = Fenetres(titre, false).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (const QString& id : fenetres.mid(0, 4)) {
            essayees << id;
            QProcess touche;
            touche.setProcessEnvironment(m_env);
            touche.start(QStringLiteral("xdotool"),
                         { QStringLiteral("key"), QStringLiteral("--window"), id, QStringLiteral("Return") });
            if (!touche.waitForFinished(5000)) {
                touche.kill();
                touche.waitForFinished(2000);
            }
            // Fini pendant l'envoi, ou dans les 2 s qui suivent.
            if (pelorane.state() == QProcess::NotRunning || pelorane.waitForFinished(2000)) {
                fini = true;
                break;
            }
        }
    }
    QVERIFY2(fini, qPrintable(QStringLiteral("Entrée envoyée aux fenêtres %1 sans fin du programme")
                                  .arg(essayees.join(QStringLiteral(", ")))));
    QCOMPARE(pelorane.exitStatus(), QProcess::NormalExit);
    QCOMPARE(pelorane.exitCode(), 2);
    QVERIFY(QString::fromUtf8(pelorane.readAllStandardError())
                .contains(QStringLiteral("[VBpelorane] Vous devez lancer VBtrevix ce programme pour creer le chemin de "
                                         "la base de données")));
    // Rien n'est laissé derrière dans le HOME du nouvel utilisateur.
    QVERIFY(!QFileInfo::exists(home.filePath(QStringLiteral("grindel"))));
}

QTEST_GUILESS_MAIN(TestBureau)
#include "TestBureau.moc"
