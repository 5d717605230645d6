#include "VersionPelorane.h"
#include "app/DialoguesQt.h"
#include "app/F1Pelorane.h"
#include "app/TraductionQt.h"
#include "base/JournalStatut.h"
#include "commun/DialoguesScriptes.h"
#include "commun/HorlogeTest.h"
#include "commun/InstallationEssai.h"
#include "drawers/EmulateurCartes.h"
#include "drawers/EcouteDatagrammes.h"
#include "drawers/LigneCartes.h"
#include "drawers/TableauTiroirs.h"
#include "service/ServicePelorane.h"
#include "app/FrmListe.h"
#include "app/ZoneEtat.h"
#include "cdapi/LiaisonCdapi.h"
#include "orders/ListesEchange.h"
#include "orders/RegistreRemises.h"

#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTimer>
#include <functional>
#include <QTest>
#include <QUdpSocket>
#include <memory>

// Démarrage et fenêtre principale, dans le processus, avec des boîtes scriptées.
static QString PortUdpLibre()
{
    QUdpSocket s;
    s.bind(QHostAddress::LocalHost, 0);
    return QString::number(s.localPort());
}

class TestDemarrage : public QObject
{
    Q_OBJECT
private slots:
    void demarrageNormal();
    void listesEtClicSurUnFichier();
    void questionDArret_data();
    void questionDArret();
    void controlesDeLaFenetre();
    void alerteRegistreIndisponible();
    void registreDUneAutreRacine();
    void tableDesControles_data();
    void tableDesControles();
    void carresRougesDesLaCreation();
    void questionDArretEnFrancais();
    void minuterieLegendeEtIcone();
    void reductionAutomatique();
    void zoneEtat_data();
    void zoneEtat();
    void journalMisEnPageVisibleSeulement();
    void aPropos();

private:
    struct Banc
    {
        InstallationEssai essai;
        EmulateurCartes cartes;
        HorlogeTest horloge;
        DialoguesScriptes dialogues;
        JournalStatut journal;
        int code = -1;
        QString racine; // vide : la racine de l'installation d'essai
        QString registre; // vide : celui de la racine
        std::unique_ptr<F1Pelorane> fenetre;

        void Cree()
        {
            QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, essai.DossierReglages());
            F1Pelorane::Options options;
            options.racine = racine.isEmpty() ? essai.Racine() : racine;
            options.registre = registre;
            if (cartes.Ouvre()) {
                cartes.DeclareCarte(QByteArrayLiteral("Z]"));
                cartes.DeclareCarte(QByteArrayLiteral("Z\\"));
                options.portSerie = cartes.CheminEsclave();
            }
            fenetre = std::make_unique<F1Pelorane>(horloge, dialogues, journal, nullptr, options,
                                                   [this](int c) { code = c; });
            // Heure murale fixe de la zone d'état : les essais ne dépendent pas de l'heure.
            fenetre->Zone_Etat()->ChangeHorlogeMurale([] { return QDateTime(QDate(2026, 12, 8), QTime(23, 30, 5)); });
        }
        // Le démarrage jusqu'aux passes : ses dernières étapes suivent le test des cartes.
        bool Demarre()
        {
            QSignalSpy fin(&fenetre->Service(), &ServicePelorane::demarrageTermine);
            return fenetre->Demarrage() && (!fin.isEmpty() || fin.wait(5000));
        }
    };
    static QString Version() { return QStringLiteral("version prog : " PELORANE_VERSION_TEXTE); }
};

void TestDemarrage::demarrageNormal()
{
    Banc banc;
    banc.essai.EcritReglage(banc.essai.CreeBase());
    QVERIFY(banc.essai.Execute(QStringLiteral("INSERT INTO paramINITtrevix (codevariable, valeur) VALUES "
                                              "('Nb_Tiroirs', '3'), ('Titre_Fenetre', ' Officine du port '), "
                                              "('UDP_Port', '%1')")
                                  .arg(PortUdpLibre())));
    banc.Cree();
    QVERIFY(banc.Demarre());
    QCOMPARE(banc.code, -1);
    const QString echanges = banc.essai.Racine() + QStringLiteral("Echanges/");
    const QStringList attendues = {
        Version(),
        QStringLiteral("base: ") + banc.essai.Base(),
        QStringLiteral("registre: ") + banc.essai.Racine() + QStringLiteral("pelorane-registre.db"),
        QStringLiteral("adr UDP: 127.0.0.1:%1").arg(banc.fenetre->Parametres().UdpPort),
        QStringLiteral("Creation du dossier ") + echanges,
        QStringLiteral("dossier d'echange: ") + echanges,
        QStringLiteral("ouvre le COM1:9600,n,8,1"),
        QStringLiteral("test de liaison avec les cartes..."),
        QStringLiteral("Carte: Z45: V1.0"),
        QStringLiteral("Carte: Z44: V1.0"),
        QStringLiteral("libere tiroir: 1   "),
        QStringLiteral("libere tiroir: 2   "),
        QStringLiteral("libere tiroir: 3   "),
        QStringLiteral("- En attente de commande (fichiers) ou BP -"),
        QString(),
    };
    QCOMPARE(banc.journal.Texte().split(QStringLiteral("\r\n")), attendues);
    for (int i = 1; i <= 3; ++i)
        QCOMPARE(banc.fenetre->Lbl_Tiroir(i)->palette().color(QPalette::Window), QColor(255, 0, 0));
    QVERIFY(!banc.fenetre->Service().Datagrammes()->EstFerme());
    QVERIFY(QFileInfo(echanges).isDir());
    QCOMPARE(banc.fenetre->Lbl_Titre()->text(), QStringLiteral("Officine du port"));
    QCOMPARE(banc.fenetre->Lbl_compteur()->text(), QStringLiteral("1"));
    QCOMPARE(banc.fenetre->Parametres().FichierPassation, banc.essai.Racine() + QStringLiteral("zCdeMnl.txt"));
    for (int i = 1; i <= 8; ++i)
        QCOMPARE(banc.fenetre->Lbl_Tiroir(i)->isVisible(), i <= 3);
    QVERIFY(banc.dialogues.Boites().isEmpty());
    // La zone d'état dit ce qui dure, chaque état avec son heure.
    const ZoneEtat* zone = banc.fenetre->Zone_Etat();
    QCOMPARE(zone->Lbl_EtatRegistre()->text(),
             QStringLiteral("Registre des remises : protection double remise active depuis 23:30"));
    QCOMPARE(zone->Lbl_EtatLiaison()->text(),
             QStringLiteral("Liaison CDAPI : jamais ouverte (appuyez sur « Test Liaison CDAPI »)"));
    QVERIFY2(zone->Lbl_EtatDossier()->text() == QStringLiteral("Dossier d'échange : veillé depuis 23:30")
                 || zone->Lbl_EtatDossier()->text().startsWith(QStringLiteral("Dossier d'échange : sans veille depuis 23:30 (")),
             qPrintable(zone->Lbl_EtatDossier()->text()));

    // Second démarrage : le dossier existe, pas de ligne de création.
    Banc second;
    second.essai.EcritReglage(second.essai.CreeBase());
    QVERIFY(QDir().mkpath(second.essai.Racine() + QStringLiteral("Echanges")));
    second.Cree();
    QVERIFY(second.fenetre->Demarrage());
    QVERIFY(!second.journal.Texte().contains(QStringLiteral("Creation du dossier")));
}

void TestDemarrage::listesEtClicSurUnFichier()
{
    Banc banc;
    banc.essai.EcritReglage(banc.essai.CreeBase());
    QVERIFY(banc.essai.Execute(QStringLiteral("INSERT INTO paramINITtrevix (codevariable, valeur) VALUES "
                                              "('UDP_Port', '%1'), ('Lect reelle etat tiroirs', 'N')")
                                  .arg(PortUdpLibre())));
    const QString echanges = banc.essai.Racine() + QStringLiteral("Echanges/");
    QVERIFY(QDir().mkpath(echanges));
    for (const char* nom : { "CD2.txt", "cd10.TXT", "RT1.txt" }) {
        QFile f(echanges + QString::fromLatin1(nom));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("ordre     0001\r\nC.rendu   cr\xE8me\r\n");
    }
    banc.Cree();
    QVERIFY(banc.Demarre());
    F1Pelorane& f = *banc.fenetre;
    auto* cd = f.findChild<QListWidget*>(QStringLiteral("LstFichierCD"));
    auto* rt = f.findChild<QListWidget*>(QStringLiteral("LstFichierRT"));
    QCOMPARE(cd->count(), 2);
    QCOMPARE(cd->item(0)->text(), QStringLiteral("cd10.TXT"));
    QCOMPARE(f.findChild<QLabel*>(QStringLiteral("Lbl_NbFichierCD"))->text(), QStringLiteral("2"));
    QCOMPARE(f.findChild<QLabel*>(QStringLiteral("Lbl_NbFichierRT"))->text(), QStringLiteral("1"));
    QVERIFY(banc.journal.Texte().contains(QStringLiteral("**** MODE SIMULATION CARTE(s) ****\r\nAux8: ON (Z45)\r\n")));

    // Sans sélection, le clic ne fait rien ; sur le retour, la fenêtre Liste le montre.
    f.LstFichierRT_Click();
    QVERIFY(!FrmListe::FenetreOuverte());
    rt->setCurrentRow(0);
    f.LstFichierRT_Click();
    QVERIFY(FrmListe::FenetreOuverte());
    QCOMPARE(FrmListe::FenetreOuverte()->Texte(),
             QStringLiteral("------ fichier : ") + echanges
                 + QStringLiteral("RT1.txt ------\nordre     0001\nC.rendu   crème\n"));
    FrmListe::FenetreOuverte()->Bt_fermer_Click();

    // Clics sur les carrés (mode simulation) : le bouton droit ne fait rien ; un
    // clic gauche rend vert un tiroir rouge ; un double clic ne compte qu'une fois.
    const QColor rouge(255, 0, 0), vert(0, 255, 0);
    QTest::mouseClick(f.Lbl_Tiroir(2), Qt::RightButton);
    QCOMPARE(f.Lbl_Tiroir(2)->palette().color(QPalette::Window), rouge);
    QTest::mouseClick(f.Lbl_Tiroir(2), Qt::LeftButton);
    QCOMPARE(f.Lbl_Tiroir(2)->palette().color(QPalette::Window), vert);
    // Suite réelle d'un double clic : appui, relâchement, double clic, relâchement.
    const QPointF centre = QRectF(f.Lbl_Tiroir(3)->rect()).center();
    for (QEvent::Type type : { QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                               QEvent::MouseButtonRelease }) {
        QMouseEvent e(type, centre, f.Lbl_Tiroir(3)->mapToGlobal(centre), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(f.Lbl_Tiroir(3), &e);
    }
    QCOMPARE(f.Lbl_Tiroir(3)->palette().color(QPalette::Window), vert);
}

void TestDemarrage::questionDArret_data()
{
    QTest::addColumn<bool>("parBouton");
    QTest::addColumn<bool>("oui");
    QTest::newRow("Fin puis Non") << true << false;
    QTest::newRow("Fin puis Oui") << true << true;
    QTest::newRow("fermeture systeme puis Non") << false << false;
    QTest::newRow("fermeture systeme puis Oui") << false << true;
}

void TestDemarrage::questionDArret()
{
    QFETCH(bool, parBouton);
    QFETCH(bool, oui);
    Banc banc;
    banc.essai.EcritReglage(banc.essai.CreeBase());
    banc.Cree();
    QVERIFY(banc.Demarre());
    const QString journalAvant = banc.journal.Texte();
    banc.fenetre->ArretSansConfirmation = true;
    banc.dialogues.PrepareReponse(oui ? Dialogues::Reponse::Oui : Dialogues::Reponse::Non);
    if (parBouton)
        banc.fenetre->Bt_Quitter_Click(); // remet ArretSansConfirmation à faux
    else {
        banc.fenetre->ArretSansConfirmation = false;
        banc.fenetre->close();
    }
    QCOMPARE(banc.dialogues.Boites().size(), 1);
    const auto& boite = banc.dialogues.Boites().first();
    QVERIFY(boite.question);
    QCOMPARE(boite.icone, Dialogues::Icone::Critique);
    QCOMPARE(boite.parDefaut, Dialogues::Reponse::Non);
    QCOMPARE(boite.titre, QStringLiteral("ARRET du programme"));
    QCOMPARE(boite.texte, QStringLiteral("Ce Programme est INDISPENSABLE à l'execution des commandes\r\r"
                                         "Voulez-vous REELEMENT ARRETER ce programme ?"));
    QCOMPARE(banc.fenetre->isVisible(), !oui);
    QCOMPARE(banc.code, oui ? 0 : -1);
    if (!oui) {
        QCOMPARE(banc.journal.Texte(), journalAvant);
        QVERIFY(banc.fenetre->Service().Ligne()->EstOuvert());
    } else {
        QCOMPARE(banc.journal.Texte(), journalAvant + QStringLiteral("ferme port COM\r\n"));
        QVERIFY(!banc.fenetre->Service().Ligne()->EstOuvert());
        QVERIFY(banc.fenetre->Service().Datagrammes()->EstFerme());
    }
}

void TestDemarrage::alerteRegistreIndisponible()
{
    // Sans registre, les commandes passent sans protection contre les doubles
    // remises : la fenêtre le montre tant que ça dure, pas seulement une ligne.
    Banc banc;
    banc.essai.EcritReglage(banc.essai.CreeBase());
    QVERIFY(banc.essai.Execute(QStringLiteral("INSERT INTO paramINITtrevix (codevariable, valeur) VALUES "
                                              "('UDP_Port', '%1')")
                                  .arg(PortUdpLibre())));
    banc.registre = banc.essai.Chemin(QStringLiteral("absent/registre.db"));
    banc.Cree();
    QVERIFY(banc.Demarre());
    QCOMPARE(banc.fenetre->Zone_Etat()->Lbl_EtatRegistre()->text(),
             QStringLiteral("Registre des remises : protection double remise COUPÉE depuis 23:30 (registre indisponible)"));
    QCOMPARE(banc.fenetre->Zone_Etat()->Lbl_EtatRegistre()->palette().color(QPalette::WindowText), QColor(0xB3, 0x4A, 0x00));
    // La zone est sous les contrôles, qui ne bougent pas ; la fenêtre a grandi d'autant.
    QCOMPARE(banc.fenetre->Zone_Etat()->geometry().top(), 6015 / 15);
    QVERIFY(banc.fenetre->Zone_Etat()->isVisible() || !banc.fenetre->isVisible());
}

void TestDemarrage::registreDUneAutreRacine()
{
    // Un registre appartient à la racine qui l'a créé : une autre racine qui le
    // reçoit par --registre s'arrête (code 7) au lieu d'adopter ses tiroirs en vol.
    Banc premier;
    premier.essai.EcritReglage(premier.essai.CreeBase());
    QVERIFY(premier.essai.Execute(QStringLiteral("INSERT INTO paramINITtrevix (codevariable, valeur) VALUES "
                                                 "('UDP_Port', '%1')")
                                      .arg(PortUdpLibre())));
    premier.Cree();
    QVERIFY(premier.fenetre->Demarrage());
    const QString registre = premier.essai.Racine() + QStringLiteral("pelorane-registre.db");
    premier.fenetre.reset();

    Banc second;
    second.essai.EcritReglage(second.essai.CreeBase());
    second.registre = registre;
    second.Cree();
    QVERIFY(!second.fenetre->Demarrage());
    QCOMPARE(second.code, 7);
    QCOMPARE(second.dialogues.Boites().size(), 1);
    QCOMPARE(second.dialogues.Boites().first().texte,
             QStringLiteral("le registre des remises %1 appartient a la racine %2 : il ne peut pas servir a la racine %3")
                 .arg(registre, QDir::cleanPath(premier.essai.Racine()), second.essai.Racine()));
}

void TestDemarrage::controlesDeLaFenetre()
{
    Banc banc;
    banc.Cree();
    F1Pelorane& f = *banc.fenetre;
    QCOMPARE(f.windowTitle(), QStringLiteral("VBPelorane"));
    QCOMPARE(f.size(), QSize(786, 401 + ZoneEtat::HauteurPixels));
    QVERIFY(!f.Bt_Test_CDAPI_A()->isEnabled());
    QVERIFY(f.ChkReductionAutomatique()->isChecked());
    QCOMPARE(f.Lbl_Tiroir(8)->text(), QStringLiteral("T8"));
    QCOMPARE(f.Lbl_Tiroir(8)->geometry(), QRect((240 + 600 * 7) / 15, 5520 / 15, 375 / 15, 375 / 15));
    QCOMPARE(f.Lbl_Tiroir(1)->palette().color(QPalette::Window), QColor(255, 0, 0));
    auto* lst = f.findChild<QWidget*>(QStringLiteral("LstFichierCD"));
    QVERIFY(lst);
    QCOMPARE(lst->palette().color(QPalette::Base), QColor(192, 255, 255));
    QCOMPARE(lst->palette().color(QPalette::Text), QColor(0, 0, 255));
    auto* hist = f.findChild<QWidget*>(QStringLiteral("Text_HistMessages"));
    QCOMPARE(hist->palette().color(QPalette::Base), QColor(255, 224, 192));
    for (const char* nom : { "Lbl_CdeEnAttente", "Lbl_fich_retourEnAttente", "Lbl_DerniereCde", "Lbl_Heure",
                             "LstFichierRT", "Txt_DerniereCde", "Lbl_NbFichierCD", "Lbl_NbFichierRT", "lbl_couleurs",
                             "Bt_Test_LiaisonCartes", "Bt_TestLiaisonCDAPI", "Bt_Quitter", "Bt_Reduire" })
        QVERIFY2(f.findChild<QWidget*>(QString::fromLatin1(nom)), nom);
    // Le rapport d'activité du jour : au menu contextuel, sans contrôle de plus.
    QCOMPARE(f.contextMenuPolicy(), Qt::ActionsContextMenu);
    QCOMPARE(f.actions().size(), 2);
    QCOMPARE(f.actions().at(0)->text(), QStringLiteral("Rapport d'activité du jour..."));
    QCOMPARE(f.actions().at(1)->text(), QStringLiteral("À propos de Pelorane…"));
    // Une bulle d'aide sur chaque bouton, chaque carré, le compteur et la case.
    for (const char* nom : { "Bt_Test_LiaisonCartes", "Bt_TestLiaisonCDAPI", "Bt_Quitter", "Bt_Reduire",
                             "Lbl_compteur", "ChkReductionAutomatique", "Lbl_Tiroir1", "Lbl_Tiroir8" })
        QVERIFY2(!f.findChild<QWidget*>(QString::fromLatin1(nom))->toolTip().isEmpty(), nom);
}

void TestDemarrage::zoneEtat_data()
{
    // Signaux reçus, dans l'ordre ("carte|NOM|ETAT", "coupee|S", "etablie",
    // "dossier|ETAT|RAISON", "protection|0/1", "heure|HH:MM:SS") ; puis l'étiquette
    // regardée et son texte.
    QTest::addColumn<QStringList>("signaux");
    QTest::addColumn<QString>("etiquette");
    QTest::addColumn<QString>("texte");
    QTest::addColumn<bool>("enDefaut");
    QTest::newRow("carte perdue")
        << QStringList{ "carte|Z45|0", "carte|Z44|0", "heure|23:59:10", "carte|Z44|2" } << "Lbl_EtatCartes"
        << "Cartes : Z45 répond depuis 23:30 ; Z44 port perdu depuis 23:59" << true;
    QTest::newRow("carte redite : heure gardée")
        << QStringList{ "carte|Z45|1", "heure|00:30:00", "carte|Z45|1" } << "Lbl_EtatCartes"
        << "Cartes : Z45 en retard depuis 23:30" << true;
    QTest::newRow("carte revenue")
        << QStringList{ "carte|Z45|2", "heure|00:30:00", "carte|Z45|0" } << "Lbl_EtatCartes"
        << "Cartes : Z45 répond depuis 00:30" << false;
    QTest::newRow("état inconnu ignoré") << QStringList{ "carte|Z45|7" } << "Lbl_EtatCartes"
                                        << "Cartes : pas encore lues" << false;
    QTest::newRow("liaison établie") << QStringList{ "etablie" } << "Lbl_EtatLiaison"
                                     << "Liaison CDAPI : connectée depuis 23:30" << false;
    QTest::newRow("liaison coupée, essais successifs")
        << QStringList{ "etablie", "heure|23:59:58", "coupee|1", "heure|00:00:01", "coupee|4" } << "Lbl_EtatLiaison"
        << "Liaison CDAPI : coupée depuis 23:59, nouvel essai à 00:00:05" << true;
    QTest::newRow("premier test manqué")
        << QStringList{ "coupee|-1" } << "Lbl_EtatLiaison"
        << "Liaison CDAPI : coupée depuis 23:30, nouvel essai au prochain envoi (« Test Liaison CDAPI »)" << true;
    QTest::newRow("dossier inaccessible")
        << QStringList{ "dossier|0|", "heure|00:30:00", "dossier|1|Permission non accordée", "dossier|1|autre" }
        << "Lbl_EtatDossier" << "Dossier d'échange : inaccessible depuis 00:30 (Permission non accordée)" << true;
    QTest::newRow("veille perdue") << QStringList{ "dossier|2|" } << "Lbl_EtatDossier"
                                   << "Dossier d'échange : veille perdue depuis 23:30, relu à chaque passe" << true;
    QTest::newRow("sans veille")
        << QStringList{ "dossier|2|système de fichiers réseau" } << "Lbl_EtatDossier"
        << "Dossier d'échange : sans veille depuis 23:30 (système de fichiers réseau), relu à chaque passe" << true;
    QTest::newRow("protection rétablie")
        << QStringList{ "protection|0", "heure|00:30:00", "protection|1" } << "Lbl_EtatRegistre"
        << "Registre des remises : protection double remise active depuis 00:30" << false;
}

void TestDemarrage::zoneEtat()
{
    // La fenêtre suit les signaux du service et de ses appareils, tels qu'ils sont émis.
    QFETCH(QStringList, signaux);
    QFETCH(QString, etiquette);
    QFETCH(QString, texte);
    QFETCH(bool, enDefaut);
    Banc banc;
    banc.essai.EcritReglage(banc.essai.CreeBase());
    QVERIFY(banc.essai.Execute(QStringLiteral("INSERT INTO paramINITtrevix (codevariable, valeur) VALUES "
                                              "('UDP_Port', '%1')")
                                  .arg(PortUdpLibre())));
    banc.Cree();
    QVERIFY(banc.Demarre());
    ServicePelorane& service = banc.fenetre->Service();
    QDateTime maintenant(QDate(2026, 12, 8), QTime(23, 30, 5));
    banc.fenetre->Zone_Etat()->ChangeHorlogeMurale([&maintenant] { return maintenant; });
    for (const QString& signal : signaux) {
        const QStringList c = signal.split(QLatin1Char('|'));
        if (c[0] == QLatin1String("carte"))
            emit service.etatCarteChange(c[1], c[2].toInt());
        else if (c[0] == QLatin1String("coupee"))
            emit service.Liaison()->liaisonCoupee(c[1].toInt());
        else if (c[0] == QLatin1String("etablie"))
            emit service.Liaison()->liaisonEtablie();
        else if (c[0] == QLatin1String("dossier"))
            emit service.Listes()->etatDossierChange(c[1].toInt(), c[2]);
        else if (c[0] == QLatin1String("protection"))
            emit service.Registre()->protectionChangee(c[1] == QLatin1String("1"));
        else if (c[0] == QLatin1String("heure"))
            maintenant = QDateTime(QDate(2026, 12, maintenant.time() > QTime::fromString(c[1]) ? 9 : 8),
                                   QTime::fromString(c[1]));
    }
    auto* l = banc.fenetre->findChild<QLabel*>(etiquette);
    QVERIFY(l);
    QCOMPARE(l->text(), texte);
    QCOMPARE(l->palette().color(QPalette::WindowText), enDefaut ? QColor(0xB3, 0x4A, 0x00) : QColor(0x00, 0x64, 0x00));
    // Le rouge reste aux tiroirs.
    QVERIFY(l->palette().color(QPalette::WindowText) != QColor(255, 0, 0));
}

void TestDemarrage::journalMisEnPageVisibleSeulement()
{
    // La boîte du journal n'est refaite que fenêtre visible, par la minuterie du
    // journal ; réduite, elle attend, et le texte entier revient à la restauration.
    Banc banc;
    banc.Cree();
    F1Pelorane& f = *banc.fenetre;
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    QPlainTextEdit* boite = f.Text_HistMessages();
    banc.journal.MessageStatus(QStringLiteral("un"));
    banc.journal.MessageStatus(QStringLiteral("deux"));
    QCOMPARE(boite->toPlainText(), QString()); // pas à chaque ligne
    QTRY_COMPARE(boite->toPlainText(), QStringLiteral("un\ndeux\n"));
    f.Bt_Reduire_Click();
    QVERIFY(f.isMinimized());
    for (int i = 0; i < 3000; ++i) // plus que la taille du journal : il repart de "...."
        banc.journal.MessageStatus(QStringLiteral("ligne %1").arg(i));
    f.MontreJournalEnAttente(); // réduite : rien n'est mis en page
    QCOMPARE(boite->toPlainText(), QStringLiteral("un\ndeux\n"));
    f.showNormal();
    QTRY_COMPARE(boite->toPlainText(), QString(banc.journal.Texte()).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    QVERIFY(boite->toPlainText().startsWith(QStringLiteral("....\n")));
    // Restaurée, la fenêtre garde son rythme : une ligne attend la minuterie.
    QElapsedTimer attente;
    attente.start();
    banc.journal.MessageStatus(QStringLiteral("apres"));
    QTRY_VERIFY(boite->toPlainText().endsWith(QStringLiteral("apres\n")));
    QVERIFY2(attente.elapsed() >= F1Pelorane::IntervalleJournalMs * 8 / 10, qPrintable(QString::number(attente.elapsed())));
}

void TestDemarrage::aPropos()
{
    Banc banc;
    banc.essai.EcritReglage(banc.essai.CreeBase());
    banc.Cree();
    F1Pelorane& f = *banc.fenetre;
    QCOMPARE(f.TexteAPropos(), QStringLiteral("Pelorane version " PELORANE_VERSION_TEXTE "\n\nRacine : %1\n"
                                              "Base des paramètres : pas encore lue\n"
                                              "Registre des remises : %1pelorane-registre.db\n"
                                              "Journal : fenêtre seulement (sans --journal)")
                                   .arg(banc.essai.Racine()));
    QVERIFY(f.Demarrage());
    QVERIFY(f.TexteAPropos().contains(QStringLiteral("\nBase des paramètres : ") + banc.essai.Base() + QLatin1Char('\n')));
    f.actions().at(1)->trigger();
    QCOMPARE(banc.dialogues.Boites().size(), 1);
    QCOMPARE(banc.dialogues.Boites().at(0).titre, QStringLiteral("À propos de Pelorane"));
    QCOMPARE(banc.dialogues.Boites().at(0).texte, f.TexteAPropos());
}

// Tableau des contrôles de la fenêtre principale : genre, texte de création,
// couleurs (BGR, -1 : celle du système), police, alignement et place en twips.
void TestDemarrage::tableDesControles_data()
{
    QTest::addColumn<QString>("genre");
    QTest::addColumn<QString>("texte");
    QTest::addColumn<qint64>("fond");
    QTest::addColumn<qint64>("encre");
    QTest::addColumn<QString>("famille"); // vide : police du système
    QTest::addColumn<double>("points");   // 0 : taille non imposée
    QTest::addColumn<bool>("gras");
    QTest::addColumn<int>("alignement");  // alignement horizontal, 0 : non vérifié
    QTest::addColumn<QRect>("twips");
    const int centre = Qt::AlignHCenter, droite = Qt::AlignRight;
    QTest::newRow("Lbl_Titre") << "QLabel" << "PELORANE - GRINDEL" << qint64(-1) << qint64(-1) << "" << 13.5 << true
                               << centre << QRect(120, 0, 6855, 375);
    QTest::newRow("ChkReductionAutomatique") << "CaseACocherMultiligne" << "réduction automatique de la fenetre"
                                             << qint64(-1) << qint64(-1) << "" << 0.0 << false << 0
                                             << QRect(7440, 0, 1935, 495);
    QTest::newRow("Lbl_compteur") << "QLabel" << "Label1" << qint64(-1) << qint64(0xFF) << "" << 13.5 << false
                                  << centre << QRect(9480, 120, 615, 495);
    QTest::newRow("Bt_Reduire") << "QPushButton" << "Reduire" << qint64(-1) << qint64(-1) << "" << 0.0 << false << 0
                                << QRect(10080, 0, 1575, 735);
    QTest::newRow("Lbl_CdeEnAttente") << "QLabel" << "Cde en Attente" << qint64(0xFFFFC0) << qint64(-1) << ""
                                      << 0.0 << false << 0 << QRect(120, 480, 1455, 255);
    QTest::newRow("Lbl_fich_retourEnAttente") << "QLabel" << "Fich retour en attente" << qint64(0xC0C0FF)
                                              << qint64(-1) << "" << 0.0 << false << 0 << QRect(1680, 480, 1575, 255);
    QTest::newRow("Lbl_DerniereCde") << "QLabel" << "Dernière Commande prise en compte:" << qint64(0xC0FFC0)
                                     << qint64(-1) << "" << 0.0 << false << 0 << QRect(3360, 480, 3975, 255);
    QTest::newRow("Lbl_Heure") << "QLabel" << "Heure" << qint64(-1) << qint64(-1) << "" << 0.0 << false << droite
                               << QRect(8760, 480, 1215, 255);
    QTest::newRow("LstFichierCD") << "QListWidget" << "" << qint64(0xFFFFC0) << qint64(0xFF0000) << "" << 0.0
                                  << false << 0 << QRect(120, 720, 1455, 4155);
    QTest::newRow("LstFichierRT") << "QListWidget" << "" << qint64(0xC0C0FF) << qint64(0xFF) << "" << 0.0 << false
                                  << 0 << QRect(1680, 720, 1575, 4155);
    QTest::newRow("Txt_DerniereCde") << "QPlainTextEdit" << "" << qint64(0xC0FFC0) << qint64(-1) << "Courier New"
                                     << 8.25 << false << 0 << QRect(3360, 720, 3975, 4455);
    QTest::newRow("Text_HistMessages") << "QPlainTextEdit" << "" << qint64(0xC0E0FF) << qint64(0xFF0000)
                                       << "Terminal" << 6.0 << true << 0 << QRect(7440, 720, 4335, 4455);
    QTest::newRow("Lbl_NbFichierCD") << "QLabel" << "Label1" << qint64(0xFFFF) << qint64(0xFF0000) << "" << 18.0
                                     << true << centre << QRect(120, 4920, 1455, 495);
    QTest::newRow("Lbl_NbFichierRT") << "QLabel" << "Label1" << qint64(-1) << qint64(0xFF) << "" << 12.0 << false
                                     << centre << QRect(1800, 4920, 1455, 255);
    for (int i = 1; i <= 8; ++i)
        QTest::addRow("Lbl_Tiroir%d", i) << "QLabel" << QStringLiteral("T%1").arg(i) << qint64(0xFF) << qint64(-1)
                                         << "" << 12.0 << true << centre << QRect(240 + 600 * (i - 1), 5520, 375, 375);
    QTest::newRow("lbl_couleurs") << "QLabel" << "Rouge: pas en attente Vert: autorise une cde Jaune: Cde en cours"
                                  << qint64(-1) << qint64(-1) << "" << 0.0 << false << 0
                                  << QRect(5040, 5280, 1815, 615);
    QTest::newRow("Bt_Test_LiaisonCartes") << "BoutonMultiligne" << "Test liaison Cartes" << qint64(-1) << qint64(-1)
                                           << "" << 0.0 << false << 0 << QRect(7440, 5280, 855, 615);
    QTest::newRow("Bt_TestLiaisonCDAPI") << "BoutonMultiligne" << "Test Liaison CDAPI" << qint64(-1) << qint64(-1)
                                         << "" << 0.0 << false << 0 << QRect(8520, 5280, 975, 615);
    QTest::newRow("Bt_Test_CDAPI_A") << "BoutonMultiligne" << "Test CDAPI 'A'" << qint64(-1) << qint64(-1) << ""
                                     << 0.0 << false << 0 << QRect(9480, 5280, 975, 615);
    QTest::newRow("Bt_Quitter") << "BoutonMultiligne" << "Fin" << qint64(0xFF) << qint64(-1) << "" << 0.0 << false
                                << 0 << QRect(10560, 5280, 1095, 615);
}

void TestDemarrage::tableDesControles()
{
    QFETCH(QString, genre);
    QFETCH(QString, texte);
    QFETCH(qint64, fond);
    QFETCH(qint64, encre);
    QFETCH(QString, famille);
    QFETCH(double, points);
    QFETCH(bool, gras);
    QFETCH(int, alignement);
    QFETCH(QRect, twips);
    Banc banc;
    banc.Cree();
    auto* w = banc.fenetre->findChild<QWidget*>(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(w);
    QCOMPARE(QString::fromLatin1(w->metaObject()->className()), genre);
    auto bgr = [](qint64 v) { return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF)); };
    const bool champ = qobject_cast<QAbstractScrollArea*>(w) != nullptr; // liste, boîte de texte
    const bool bouton = qobject_cast<QAbstractButton*>(w) != nullptr;
    if (auto* l = qobject_cast<QLabel*>(w)) {
        QCOMPARE(l->text(), texte);
        if (alignement)
            QCOMPARE(int(l->alignment() & Qt::AlignHorizontal_Mask), alignement);
    } else if (bouton) {
        QCOMPARE(static_cast<QAbstractButton*>(w)->text(), texte);
    } else if (auto* t = qobject_cast<QPlainTextEdit*>(w)) {
        QCOMPARE(t->toPlainText(), texte);
    } else if (auto* lst = qobject_cast<QListWidget*>(w)) {
        QCOMPARE(lst->count(), 0);
    }
    if (fond >= 0) {
        const QPalette::ColorRole role = champ ? QPalette::Base : bouton ? QPalette::Button : QPalette::Window;
        QCOMPARE(w->palette().color(role), bgr(fond));
        if (!champ)
            QVERIFY(w->autoFillBackground());
    }
    if (encre >= 0)
        QCOMPARE(w->palette().color(champ ? QPalette::Text : QPalette::WindowText), bgr(encre));
    if (!famille.isEmpty())
        QCOMPARE(w->font().families().value(0), famille);
    if (points > 0) {
        QCOMPARE(w->font().pointSizeF(), points);
        QCOMPARE(w->font().bold(), gras);
    }
    QCOMPARE(w->geometry(), QRect(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15));
}

// Les carrés ont leur couleur de création (rouge) jusqu'à l'étape 18 qui les met
// au blanc ; la libération de l'étape 24 les remet au rouge.
void TestDemarrage::carresRougesDesLaCreation()
{
    Banc banc;
    banc.essai.EcritReglage(banc.essai.CreeBase());
    QVERIFY(banc.essai.Execute(QStringLiteral("INSERT INTO paramINITtrevix (codevariable, valeur) VALUES "
                                              "('UDP_Port', '%1')").arg(PortUdpLibre())));
    banc.Cree();
    const QColor rouge(255, 0, 0), blanc(255, 255, 255);
    QCOMPARE(banc.fenetre->Lbl_Tiroir(1)->palette().color(QPalette::Window), rouge);
    // Couleur vue à chaque cession du démarrage : étape 14 (titre), puis étape 18.
    QList<QColor> vues;
    QList<QString> journalVu;
    std::function<void()> note = [&] {
        vues << banc.fenetre->Lbl_Tiroir(1)->palette().color(QPalette::Window);
        journalVu << banc.journal.Texte();
        if (vues.size() < 2)
            QTimer::singleShot(0, banc.fenetre.get(), note);
    };
    QTimer::singleShot(0, banc.fenetre.get(), note);
    QVERIFY(banc.Demarre());
    QCOMPARE(vues.size(), 2);
    QVERIFY(journalVu.value(0).endsWith(QStringLiteral("registre: ") + banc.essai.Racine()
                                        + QStringLiteral("pelorane-registre.db\r\n")));
    QCOMPARE(vues.value(0), rouge);
    QVERIFY(journalVu.value(1).endsWith(QStringLiteral("dossier d'echange: ") + banc.essai.Racine()
                                        + QStringLiteral("Echanges/\r\n")));
    QCOMPARE(vues.value(1), blanc);
    QCOMPARE(banc.fenetre->Lbl_Tiroir(1)->palette().color(QPalette::Window), rouge);
}

// La vraie boîte de la question d'arrêt, avec la traduction de Qt compilée dans le
// programme : "Oui" et "Non", "Non" par défaut, quelle que soit la langue du système.
void TestDemarrage::questionDArretEnFrancais()
{
    const QString texte = QStringLiteral("Ce Programme est INDISPENSABLE à l'execution des commandes\r\r"
                                         "Voulez-vous REELEMENT ARRETER ce programme ?");
    {
        const auto avant = DialoguesQt::CreeQuestion(Dialogues::Icone::Critique, QStringLiteral("ARRET du programme"),
                                                     texte, Dialogues::Reponse::Non, nullptr);
        QCOMPARE(avant->button(QMessageBox::Yes)->text(), QStringLiteral("&Yes"));
    }
    QVERIFY(ChargeTraductionQt(*QCoreApplication::instance()));
    const auto boite = DialoguesQt::CreeQuestion(Dialogues::Icone::Critique, QStringLiteral("ARRET du programme"),
                                                 texte, Dialogues::Reponse::Non, nullptr);
    QCOMPARE(boite->button(QMessageBox::Yes)->text(), QStringLiteral("&Oui"));
    QCOMPARE(boite->button(QMessageBox::No)->text(), QStringLiteral("&Non"));
    QCOMPARE(boite->defaultButton(), boite->button(QMessageBox::No));
    QCOMPARE(boite->icon(), QMessageBox::Critical);
    QCOMPARE(boite->windowTitle(), QStringLiteral("ARRET du programme"));
    QCOMPARE(boite->text(), QStringLiteral("Ce Programme est INDISPENSABLE à l'execution des commandes\n\n"
                                           "Voulez-vous REELEMENT ARRETER ce programme ?"));
    // La boîte du port des cartes (un seul bouton) : OK reste OK en français.
    QMessageBox ok(QMessageBox::Critical, QStringLiteral("t"), QStringLiteral("x"), QMessageBox::Ok);
    QCOMPARE(ok.button(QMessageBox::Ok)->text(), QStringLiteral("OK"));
    QMessageBox annuler(QMessageBox::Critical, QStringLiteral("t"), QStringLiteral("x"), QMessageBox::Cancel);
    QCOMPARE(annuler.button(QMessageBox::Cancel)->text(), QStringLiteral("Annuler"));
}

void TestDemarrage::minuterieLegendeEtIcone()
{
    Banc banc;
    banc.Cree();
    F1Pelorane& f = *banc.fenetre;
    f.show();
    f.Timer1_Timer();
    QVERIFY(f.IconeMarquee()); // la seconde icône d'abord
    QCOMPARE(f.windowTitle(), QStringLiteral("VBpelorane v" PELORANE_VERSION_TEXTE));
    f.Timer1_Timer();
    QVERIFY(!f.IconeMarquee());
    f.findChild<QLabel*>(QStringLiteral("Lbl_NbFichierCD"))->setText(QStringLiteral("3"));
    f.findChild<QLabel*>(QStringLiteral("Lbl_NbFichierRT"))->setText(QStringLiteral("0"));
    f.Bt_Reduire_Click();
    QVERIFY(f.isMinimized());
    f.Timer1_Timer();
    QCOMPARE(f.windowTitle(), QStringLiteral("VBpelorane 3-0"));
    QCOMPARE(f.CompteurReduction(), 0);
    QVERIFY(banc.journal.Texte().isEmpty());
}

void TestDemarrage::reductionAutomatique()
{
    Banc banc;
    banc.Cree();
    F1Pelorane& f = *banc.fenetre;
    f.show();
    for (int i = 0; i < 60; ++i)
        f.Timer1_Timer();
    QVERIFY(!f.isMinimized());
    f.ChkReductionAutomatique()->setChecked(false);
    f.Timer1_Timer(); // décoché : le compte repart de zéro
    QCOMPARE(f.CompteurReduction(), 1);
    f.ChkReductionAutomatique()->setChecked(true);
    for (int i = 0; i < 59; ++i)
        f.Timer1_Timer();
    QCOMPARE(f.CompteurReduction(), 60);
    QVERIFY(!f.isMinimized());
    f.Timer1_Timer(); // 61e tic : réduite
    QVERIFY(f.isMinimized());
}

QTEST_MAIN(TestDemarrage)
#include "TestDemarrage.moc"
