#include "VersionPelorane.h"
#include "base/Dialogues.h"
#include "base/JournalStatut.h"
#include "commun/DialoguesScriptes.h"
#include "commun/HorlogeTest.h"
#include "commun/InstallationEssai.h"
#include "service/ServicePelorane.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QDir>
#include <QTest>
#include <memory>

// La séquence de démarrage sans fenêtre, avec des boîtes scriptées.
class TestServicePelorane : public QObject
{
    Q_OBJECT
private slots:
    void echecsFatals_data();
    void echecsFatals();

private:
    struct Banc
    {
        InstallationEssai essai;
        HorlogeTest horloge;
        DialoguesScriptes dialogues;
        JournalStatut journal;
        int code = -1;
        QString racine; // vide : la racine de l'installation d'essai
        std::unique_ptr<ServicePelorane> service;

        void Cree()
        {
            QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, essai.DossierReglages());
            ServicePelorane::Options options;
            options.racine = racine.isEmpty() ? essai.Racine() : racine;
            service = std::make_unique<ServicePelorane>(horloge, dialogues, journal, nullptr, options);
            QObject::connect(service.get(), &ServicePelorane::finDemandee, service.get(), [this](int c) { code = c; });
        }
    };
    static QString Version() { return QStringLiteral("version prog : " PELORANE_VERSION_TEXTE); }
};

void TestServicePelorane::echecsFatals_data()
{
    QTest::addColumn<QString>("cas");
    QTest::addColumn<int>("codeAttendu");
    QTest::addColumn<QString>("texteAttendu"); // %1 = chemin de la base
    QTest::addColumn<QString>("journalAttendu");
    QTest::newRow("reglage absent") << "sans-reglage" << 2
                                    << "Vous devez lancer VBtrevix ce programme pour creer le chemin de la base de données"
                                    << Version() + "\r\n";
    QTest::newRow("cle absente") << "sans-cle" << 2
                                 << "Vous devez lancer VBtrevix ce programme pour creer le chemin de la base de données"
                                 << Version() + "\r\n";
    QTest::newRow("fichier absent") << "sans-fichier" << 3 << "le fichier %1 est absent" << Version() + "\r\n";
    QTest::newRow("table absente") << "sans-table" << 4
                                   << "impossible d'ouvrir la base de données %1\rla table paramINITtrevix est absente"
                                   << Version() + "\r\nbase: %1\r\n";
    QTest::newRow("dossier d'echange impossible") << "sans-dossier" << 5
                                                  << "impossible de creer le dossier d'echange %2"
                                                  << Version() + "\r\nbase: %1\r\nregistre: %3\r\n"
                                                                 "registre des remises indisponible (%3 : dossier "
                                                                 "absent) : les commandes continuent, mais après un "
                                                                 "arrêt brutal une commande pourrait être remise deux "
                                                                 "fois ; nouvel essai à la prochaine remise\r\n"
                                                                 "adr UDP: 127.0.0.1:43325\r\n"
                                                                 "Creation du dossier %2\r\n";
}

void TestServicePelorane::echecsFatals()
{
    QFETCH(QString, cas);
    QFETCH(int, codeAttendu);
    QFETCH(QString, texteAttendu);
    QFETCH(QString, journalAttendu);
    Banc banc;
    QString base = banc.essai.Chemin(QStringLiteral("absente.db"));
    if (cas == QLatin1String("sans-cle"))
        banc.essai.EcritReglage(QString());
    if (cas == QLatin1String("sans-fichier"))
        banc.essai.EcritReglage(base);
    if (cas == QLatin1String("sans-table")) {
        QFile vide(base);
        QVERIFY(vide.open(QIODevice::WriteOnly));
        banc.essai.EcritReglage(base);
    }
    // Une racine sous un fichier ordinaire : le dossier d'échange ne peut pas être créé.
    const QString echanges = banc.essai.Chemin(QStringLiteral("fichier/racine/Echanges/"));
    if (cas == QLatin1String("sans-dossier")) {
        base = banc.essai.CreeBase();
        banc.essai.EcritReglage(base);
        QFile fichier(banc.essai.Chemin(QStringLiteral("fichier")));
        QVERIFY(fichier.open(QIODevice::WriteOnly));
        banc.racine = banc.essai.Chemin(QStringLiteral("fichier/racine/"));
    }
    auto remplit = [&](QString t) {
        // Chemins tels que le système les écrit (\ sous Windows).
        return t.replace(QLatin1String("%1"), QDir::toNativeSeparators(base))
            .replace(QLatin1String("%2"), QDir::toNativeSeparators(echanges))
            .replace(QLatin1String("%3"), QDir::toNativeSeparators(
                                              banc.essai.Chemin(QStringLiteral("fichier/racine/pelorane-registre.db"))));
    };
    banc.Cree();
    QVERIFY(!banc.service->Demarre());
    QCOMPARE(banc.code, codeAttendu);
    QCOMPARE(banc.dialogues.Boites().size(), 1);
    const auto& boite = banc.dialogues.Boites().first();
    QCOMPARE(boite.icone, Dialogues::Icone::Critique);
    QCOMPARE(boite.titre, QStringLiteral("VBpelorane"));
    QCOMPARE(boite.texte, remplit(texteAttendu));
    QCOMPARE(banc.journal.Texte(), remplit(journalAttendu));
    QVERIFY(!QFileInfo::exists(banc.essai.Racine() + QStringLiteral("Echanges")));
}

QTEST_GUILESS_MAIN(TestServicePelorane)
#include "TestServicePelorane.moc"
