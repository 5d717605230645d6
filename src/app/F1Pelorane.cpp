#include "F1Pelorane.h"

#include "VersionPelorane.h"
#include "app/BoutonMultiligne.h"
#include "app/CaseACocherMultiligne.h"
#include "app/FrmListe.h"
#ifndef PELORANE_SANS_GRAPHIQUES
#include "app/FrmRapport.h"
#endif
#include "app/StyleFenetre.h"
#include "app/ZoneEtat.h"
#include "base/CheminAffiche.h"
#include "base/Dialogues.h"
#include "base/JournalStatut.h"
#include "cdapi/LiaisonCdapi.h"
#include "drawers/TableauTiroirs.h"
#include "orders/ListesEchange.h"
#include "orders/RegistreRemises.h"
#include "service/CycleTraitement.h"
#include "service/InstanceUnique.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTime>

using namespace StyleFenetre;

namespace {

QString PourAffichage(QString texte)
{
    texte.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return texte;
}

// L'heure comme le système l'écrit, secondes comprises, sans le fuseau que Qt
// ajoute au format long.
QString FormatHeure()
{
    QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    format.remove(QLatin1Char('t'));
    return format.trimmed();
}

} // namespace

F1Pelorane::F1Pelorane(Horloge& horloge, Dialogues& dialogues, JournalStatut& journal, InstanceUnique* instance,
                       Options options, std::function<void(int)> terminer, QWidget* parent)
    : QWidget(parent)
    , m_dialogues(dialogues)
    , m_journal(journal)
    , m_instance(instance)
    , m_terminer(std::move(terminer))
    , m_service(std::make_unique<ServicePelorane>(horloge, dialogues, journal, instance, std::move(options)))
{
    CreeControles();
    SuitLeService();
#ifndef PELORANE_SANS_GRAPHIQUES
    // Rapport d'activité du jour : menu contextuel de la fenêtre (clic droit).
    FrmRapport::AjouteMenu(this, m_dialogues,
                          [this] { return m_service->Registre() ? m_service->Registre()->Chemin() : QString(); });
#endif
    AjouteMenuAPropos();
    m_minuterieJournal.setSingleShot(true);
    m_minuterieJournal.setInterval(IntervalleJournalMs);
    connect(&m_minuterieJournal, &QTimer::timeout, this, &F1Pelorane::MontreJournalEnAttente);
    connect(&m_journal, &JournalStatut::texteAjoute, this, [this](const QString& m) { MontreJournal(false, m); });
    connect(&m_journal, &JournalStatut::texteRemplace, this, [this](const QString& t) { MontreJournal(true, t); });
    MontreJournal(true, m_journal.Texte());
    if (m_instance) {
        connect(m_instance, &InstanceUnique::activationDemandee, this, &F1Pelorane::MontreAuPremierPlan);
        // Comme un clic, l'action attend le prochain passage des événements.
        connect(m_instance, &InstanceUnique::actionDemandee, this,
                [this](const QString& action) { QTimer::singleShot(0, this, [this, action] { LanceAction(action); }); });
    }
    m_timer1.setInterval(500);
    connect(&m_timer1, &QTimer::timeout, this, &F1Pelorane::Timer1_Timer);
    m_timer1.start();
}

F1Pelorane::~F1Pelorane()
{
    m_timer1.stop();
}

void F1Pelorane::SuitLeService()
{
    ServicePelorane* service = m_service.get();
    connect(service, &ServicePelorane::affichagePrepare, this, [this] {
        m_txtDerniereCde->clear();
        m_lblCompteur->setText(QStringLiteral("1"));
    });
    connect(service, &ServicePelorane::fenetreAMontrer, this, [this] { show(); });
    connect(service, &ServicePelorane::appareilsCrees, this, &F1Pelorane::SuitLesAppareils);
    connect(service, &ServicePelorane::titreConnu, m_lblTitre, &QLabel::setText);
    connect(service, &ServicePelorane::tiroirsPrepares, this, &F1Pelorane::MontreTiroirs);
    connect(service, &ServicePelorane::listesRelues, this, [this] {
        MontreListe(m_lstFichierCD, m_lblNbFichierCD, m_service->Listes()->ListeCD());
        MontreListe(m_lstFichierRT, m_lblNbFichierRT, m_service->Listes()->ListeRT());
    });
    connect(service, &ServicePelorane::arretSansQuestionDemande, this, [this](int code) {
        ArretSansConfirmation = true;
        m_codeArret = code;
        close();
    });
    connect(service, &ServicePelorane::finDemandee, this, &F1Pelorane::Termine);
    connect(service, &ServicePelorane::etatCarteChange, m_zoneEtat, &ZoneEtat::CarteChange);
}

void F1Pelorane::SuitLesAppareils()
{
    // La couleur du carré suit l'état du tiroir à chaque changement. Avant l'étape 18
    // le tableau n'a pas d'état réel : les carrés gardent leur couleur de création (rouge).
    connect(m_service->Tiroirs(), &TableauTiroirs::couleurChangee, this, &F1Pelorane::PeintTiroir);
    connect(m_service->Cycle(), &CycleTraitement::texteDerniereCdeChange, this,
            [this](const QString& texte) { m_txtDerniereCde->setPlainText(PourAffichage(texte)); });
    connect(m_service->Cycle(), &CycleTraitement::compteurChange, m_lblCompteur, &QLabel::setText);
    connect(m_service->Listes(), &ListesEchange::listeCDChangee, this,
            [this](const QStringList& noms) { MontreListe(m_lstFichierCD, m_lblNbFichierCD, noms); });
    connect(m_service->Listes(), &ListesEchange::listeRTChangee, this,
            [this](const QStringList& noms) { MontreListe(m_lstFichierRT, m_lblNbFichierRT, noms); });
    connect(m_service->Registre(), &RegistreRemises::protectionChangee, m_zoneEtat, &ZoneEtat::ProtectionChange);
    connect(m_service->Liaison(), &LiaisonCdapi::liaisonEtablie, m_zoneEtat, &ZoneEtat::LiaisonEtablie);
    connect(m_service->Liaison(), &LiaisonCdapi::liaisonCoupee, m_zoneEtat, &ZoneEtat::LiaisonCoupee);
    connect(m_service->Listes(), &ListesEchange::etatDossierChange, m_zoneEtat, &ZoneEtat::DossierChange);
}

void F1Pelorane::MontreTiroirs(int nombre)
{
    for (int i = 1; i <= 8; ++i)
        m_lblTiroir[size_t(i)]->hide();
    for (int i = 1; i <= nombre; ++i)
        m_lblTiroir[size_t(i)]->show();
    // Le tableau naît « non initialisé » : Initialise ne change rien et n'émet rien ;
    // les carrés prennent ici la couleur de l'état, tous les huit.
    for (int n = 1; n <= 8; ++n)
        PeintTiroir(n, m_service->Tiroirs()->Couleur(n));
}

void F1Pelorane::PeintTiroir(int n, int couleur)
{
    if (n < 1 || n > 8)
        return;
    const QColor c = CouleurBgr(quint32(couleur));
    Colore(m_lblTiroir[size_t(n)], &c, nullptr);
}

void F1Pelorane::MontreListe(QListWidget* liste, QLabel* compteur, const QStringList& noms)
{
    liste->clear();
    liste->addItems(noms);
    compteur->setText(QString::number(noms.size()));
    liste->setVisible(!noms.isEmpty());
    compteur->setVisible(!noms.isEmpty());
}

void F1Pelorane::CreeControles()
{
    // Les images vivent dans une bibliothèque statique : il faut les enregistrer.
    Q_INIT_RESOURCE(ressources);
    setWindowTitle(QStringLiteral("VBPelorane"));
    // La zone d'état s'ajoute sous les contrôles, qui ne bougent pas.
    setFixedSize(11790 / 15, 6015 / 15 + ZoneEtat::HauteurPixels);
    m_icone1 = QIcon(QStringLiteral(":/app/images/icone1.xpm"));
    m_icone2 = QIcon(QStringLiteral(":/app/images/icone2.xpm"));
    m_legendeVersion = QStringLiteral("VBpelorane v" PELORANE_VERSION_TEXTE);
    setWindowIcon(m_icone1);
    CreeEntete();
    CreeListes();
    CreeTiroirs();
    CreeBoutons();
    CreeZoneEtat();
    AjouteAide();
}

void F1Pelorane::CreeZoneEtat()
{
    m_zoneEtat = new ZoneEtat(this);
    m_zoneEtat->setGeometry(8, 6015 / 15, 11790 / 15 - 16, ZoneEtat::HauteurPixels);
}

void F1Pelorane::AjouteAide()
{
    // L'aide est là où on la cherche : sur le contrôle lui-même.
    m_btTestCartes->setToolTip(QStringLiteral("Interroge chaque carte d'extension et écrit sa version au journal."));
    m_btTestCdapi->setToolTip(QStringLiteral(
        "Envoie l'identification à VBtrevix par la liaison CDAPI ; l'état de la liaison s'affiche en bas."));
    m_btTestCdapiA->setToolTip(QStringLiteral("Bouton inactif."));
    m_btQuitter->setToolTip(QStringLiteral("Arrête Pelorane après confirmation : plus aucune commande ne part."));
    m_btReduire->setToolTip(QStringLiteral("Réduit la fenêtre ; le service continue."));
    m_lblCompteur->setToolTip(QStringLiteral(
        "Compteur des passes de traitement : il avance sans cesse tant que le service travaille."));
    m_chkReduction->setToolTip(QStringLiteral(
        "Cochée, la fenêtre se réduit d'elle-même 30 s après avoir été ouverte."));
    for (int i = 1; i <= 8; ++i)
        m_lblTiroir[size_t(i)]->setToolTip(
            QStringLiteral("Tiroir %1 : rouge, pas en attente (occupé) ; vert, prêt pour une commande ; "
                           "jaune, commande en cours. Un clic sur un tiroir vert ou jaune le libère.")
                .arg(i));
}

void F1Pelorane::AjouteMenuAPropos()
{
    auto* action = new QAction(QStringLiteral("À propos de Pelorane…"), this);
    action->setObjectName(QStringLiteral("ActionAPropos"));
    addAction(action);
    connect(action, &QAction::triggered, this, [this] {
        m_dialogues.Message(Dialogues::Icone::Information, QStringLiteral("À propos de Pelorane"), TexteAPropos());
    });
}

QString F1Pelorane::TexteAPropos() const
{
    const Options& o = m_service->Options_();
    const QString fichierJournal = m_journal.CheminFichier();
    return QStringLiteral("Pelorane version " PELORANE_VERSION_TEXTE "\n\n")
        + QStringLiteral("Racine : ") + CheminAffiche(o.racine) + QLatin1Char('\n')
        + QStringLiteral("Base des paramètres : ")
        + (m_service->BaseParametres().isEmpty() ? QStringLiteral("pas encore lue")
                                                  : CheminAffiche(m_service->BaseParametres()))
        + QLatin1Char('\n') + QStringLiteral("Registre des remises : ")
        + CheminAffiche(o.registre.isEmpty() ? o.racine + QStringLiteral("pelorane-registre.db") : o.registre)
        + QLatin1Char('\n') + QStringLiteral("Journal : ")
        + (fichierJournal.isEmpty() ? QStringLiteral("fenêtre seulement (sans --journal)")
                                    : CheminAffiche(fichierJournal));
}

void F1Pelorane::CreeEntete()
{
    m_lblTitre = new QLabel(QStringLiteral("PELORANE - GRINDEL"), this);
    m_lblTitre->setObjectName(QStringLiteral("Lbl_Titre"));
    m_lblTitre->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_lblTitre->setFont(Police(font().family(), 13.5, true));
    m_lblTitre->setGeometry(EnPixels(120, 0, 6855, 375));

    m_chkReduction = new CaseACocherMultiligne(QStringLiteral("réduction automatique de la fenetre"), this);
    m_chkReduction->setObjectName(QStringLiteral("ChkReductionAutomatique"));
    m_chkReduction->setChecked(true);
    m_chkReduction->setGeometry(EnPixels(7440, 0, 1935, 495));
    m_chkReduction->setFont(Police(font().family(), 7, false));

    m_lblCompteur = new QLabel(QStringLiteral("Label1"), this);
    m_lblCompteur->setObjectName(QStringLiteral("Lbl_compteur"));
    m_lblCompteur->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_lblCompteur->setFont(Police(font().family(), 13.5, false));
    Colore(m_lblCompteur, nullptr, &rouge);
    m_lblCompteur->setGeometry(EnPixels(9480, 120, 615, 495));

    m_btReduire = new QPushButton(QIcon(QStringLiteral(":/app/images/reduire.xpm")), QStringLiteral("Reduire"), this);
    m_btReduire->setObjectName(QStringLiteral("Bt_Reduire"));
    m_btReduire->setIconSize(QSize(24, 24));
    m_btReduire->setGeometry(EnPixels(10080, 0, 1575, 735));
    connect(m_btReduire, &QPushButton::clicked, this, &F1Pelorane::Bt_Reduire_Click);

    auto entete = [this](const char* nom, const QString& texte, const QColor& fond, QRect place) {
        auto* l = new QLabel(texte, this);
        l->setObjectName(QString::fromLatin1(nom));
        Colore(l, &fond, nullptr);
        l->setGeometry(place);
        return l;
    };
    entete("Lbl_CdeEnAttente", QStringLiteral("Cde en Attente"), cyanClair, EnPixels(120, 480, 1455, 255));
    entete("Lbl_fich_retourEnAttente", QStringLiteral("Fich retour en attente"), roseClair,
           EnPixels(1680, 480, 1575, 255));
    entete("Lbl_DerniereCde", QStringLiteral("Dernière Commande prise en compte:"), vertClair,
           EnPixels(3360, 480, 3975, 255));

    m_lblHeure = new QLabel(QStringLiteral("Heure"), this);
    m_lblHeure->setObjectName(QStringLiteral("Lbl_Heure"));
    m_lblHeure->setAlignment(Qt::AlignRight | Qt::AlignTop);
    m_lblHeure->setGeometry(EnPixels(8760, 480, 1215, 255));

}

void F1Pelorane::CreeListes()
{
    m_lstFichierCD = new QListWidget(this);
    m_lstFichierCD->setObjectName(QStringLiteral("LstFichierCD"));
    // Liste triée : l'ordre (par nom, sans égard à la casse) vient des listes du
    // dossier ; le tri de QListWidget, lui, tient compte de la casse.
    m_lstFichierCD->setSortingEnabled(false);
    Colore(m_lstFichierCD, &cyanClair, &bleu);
    m_lstFichierCD->setGeometry(EnPixels(120, 720, 1455, 4155));
    connect(m_lstFichierCD, &QListWidget::itemClicked, this, [this] { LstFichierCD_Click(); });
    connect(m_lstFichierCD, &QListWidget::itemActivated, this, [this] { LstFichierCD_Click(); });

    m_lstFichierRT = new QListWidget(this);
    m_lstFichierRT->setObjectName(QStringLiteral("LstFichierRT"));
    m_lstFichierRT->setSortingEnabled(false);
    Colore(m_lstFichierRT, &roseClair, &rouge);
    m_lstFichierRT->setGeometry(EnPixels(1680, 720, 1575, 4155));
    connect(m_lstFichierRT, &QListWidget::itemClicked, this, [this] { LstFichierRT_Click(); });
    connect(m_lstFichierRT, &QListWidget::itemActivated, this, [this] { LstFichierRT_Click(); });

    m_txtDerniereCde = new QPlainTextEdit(this);
    m_txtDerniereCde->setObjectName(QStringLiteral("Txt_DerniereCde"));
    QFont courier = Police(QStringLiteral("Courier New"), 8.25, false);
    courier.setStyleHint(QFont::TypeWriter);
    m_txtDerniereCde->setFont(courier);
    Colore(m_txtDerniereCde, &vertClair, nullptr);
    m_txtDerniereCde->setGeometry(EnPixels(3360, 720, 3975, 4455));

    m_textHist = new QPlainTextEdit(this);
    m_textHist->setObjectName(QStringLiteral("Text_HistMessages"));
    m_textHist->setReadOnly(true);
    m_textHist->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont terminal = Police(QStringLiteral("Terminal"), 6, true);
    terminal.setStyleHint(QFont::TypeWriter);
    terminal.setFamilies({ QStringLiteral("Terminal"), QFontDatabase::systemFont(QFontDatabase::FixedFont).family() });
    m_textHist->setFont(terminal);
    Colore(m_textHist, &orangeClair, &bleu);
    m_textHist->setGeometry(EnPixels(7440, 720, 4335, 4455));

    m_lblNbFichierCD = new QLabel(QStringLiteral("Label1"), this);
    m_lblNbFichierCD->setObjectName(QStringLiteral("Lbl_NbFichierCD"));
    m_lblNbFichierCD->setAlignment(Qt::AlignCenter);
    m_lblNbFichierCD->setFont(Police(font().family(), 18, true));
    Colore(m_lblNbFichierCD, &jaune, &bleu);
    m_lblNbFichierCD->setGeometry(EnPixels(120, 4920, 1455, 495));

    m_lblNbFichierRT = new QLabel(QStringLiteral("Label1"), this);
    m_lblNbFichierRT->setObjectName(QStringLiteral("Lbl_NbFichierRT"));
    m_lblNbFichierRT->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_lblNbFichierRT->setFont(Police(font().family(), 12, false));
    Colore(m_lblNbFichierRT, nullptr, &rouge);
    m_lblNbFichierRT->setGeometry(EnPixels(1800, 4920, 1455, 255));

}

void F1Pelorane::CreeTiroirs()
{
    for (int i = 1; i <= 8; ++i) {
        auto* l = new QLabel(QStringLiteral("T%1").arg(i), this);
        l->setObjectName(QStringLiteral("Lbl_Tiroir%1").arg(i));
        l->setAlignment(Qt::AlignCenter);
        l->setFont(Police(font().family(), 12, true));
        Colore(l, &rouge, nullptr);
        l->setGeometry(EnPixels(240 + 600 * (i - 1), 5520, 375, 375));
        l->installEventFilter(this);
        m_lblTiroir[size_t(i)] = l;
    }

    auto* legende = new QLabel(QStringLiteral("Rouge: pas en attente Vert: autorise une cde Jaune: Cde en cours"), this);
    legende->setObjectName(QStringLiteral("lbl_couleurs"));
    legende->setWordWrap(true);
    legende->setFont(Police(font().family(), 7, false));
    legende->setGeometry(EnPixels(5040, 5280, 1815, 615));


}

void F1Pelorane::CreeBoutons()
{
    auto bouton = [this](const char* nom, const QString& texte, QRect place) {
        auto* b = new BoutonMultiligne(texte, this);
        b->setObjectName(QString::fromLatin1(nom));
        b->setGeometry(place);
        b->setFont(Police(font().family(), 7.5, false));
        return b;
    };
    m_btTestCartes = bouton("Bt_Test_LiaisonCartes", QStringLiteral("Test liaison Cartes"),
                            EnPixels(7440, 5280, 855, 615));
    m_btTestCdapi = bouton("Bt_TestLiaisonCDAPI", QStringLiteral("Test Liaison CDAPI"),
                           EnPixels(8520, 5280, 975, 615));
    m_btTestCdapiA = bouton("Bt_Test_CDAPI_A", QStringLiteral("Test CDAPI 'A'"), EnPixels(9480, 5280, 975, 615));
    m_btTestCdapiA->setEnabled(false);
    connect(m_btTestCartes, &QPushButton::clicked, this, &F1Pelorane::Bt_Test_LiaisonCartes_Click);
    connect(m_btTestCdapi, &QPushButton::clicked, this, &F1Pelorane::Bt_TestLiaisonCDAPI_Click);
    m_btQuitter = bouton("Bt_Quitter", QStringLiteral("Fin"), EnPixels(10560, 5280, 1095, 615));
    Colore(m_btQuitter, &rouge, nullptr);
    m_btQuitter->setStyleSheet(QStringLiteral("QPushButton { background-color: #FF0000; }"));
    connect(m_btQuitter, &QPushButton::clicked, this, &F1Pelorane::Bt_Quitter_Click);
}

void F1Pelorane::MontreJournal(bool remplace, const QString& texte)
{
    // La boîte n'est pas refaite à chaque ligne : ce qui arrive attend la prochaine
    // mise en page (au plus quatre par seconde), et aucune tant que la fenêtre est
    // cachée ou réduite. Ce qui attend reste borné par la taille du journal : au-delà,
    // la boîte reprendra simplement le texte entier du journal.
    if (remplace || m_journalARemplacer || m_journalEnAttente.size() + texte.size() > JournalStatut::TailleMaximale) {
        m_journalARemplacer = true;
        m_journalEnAttente.clear();
    } else {
        m_journalEnAttente += texte;
    }
    if (JournalVisible() && !m_minuterieJournal.isActive())
        m_minuterieJournal.start();
}

bool F1Pelorane::JournalVisible() const
{
    return isVisible() && !isMinimized();
}

void F1Pelorane::MontreJournalEnAttente()
{
    m_minuterieJournal.stop();
    if (!JournalVisible())
        return;
    if (m_journalARemplacer) {
        m_textHist->setPlainText(PourAffichage(m_journal.Texte()));
    } else if (!m_journalEnAttente.isEmpty()) {
        // Ajout en fin de texte sans réécrire la boîte entière.
        QTextCursor curseur = m_textHist->textCursor();
        curseur.movePosition(QTextCursor::End);
        curseur.insertText(PourAffichage(m_journalEnAttente));
        m_textHist->setTextCursor(curseur);
    } else {
        return;
    }
    m_journalARemplacer = false;
    m_journalEnAttente.clear();
    m_textHist->ensureCursorVisible();
}

void F1Pelorane::showEvent(QShowEvent* evenement)
{
    QWidget::showEvent(evenement);
    if (m_journalARemplacer || !m_journalEnAttente.isEmpty())
        MontreJournalBientot();
}

void F1Pelorane::changeEvent(QEvent* evenement)
{
    QWidget::changeEvent(evenement);
    if (evenement->type() == QEvent::WindowStateChange && JournalVisible()
        && (m_journalARemplacer || !m_journalEnAttente.isEmpty()))
        MontreJournalBientot();
}

void F1Pelorane::MontreJournalBientot()
{
    // Au prochain passage des événements, sans toucher à l'intervalle de la minuterie.
    QMetaObject::invokeMethod(this, &F1Pelorane::MontreJournalEnAttente, Qt::QueuedConnection);
}

void F1Pelorane::Form_Load()
{
    // Les passes commencent à la fin du démarrage, menées par les événements ; le
    // programme finit par Form_Unload.
    Demarrage();
}

bool F1Pelorane::Demarrage()
{
    return m_service->Demarre();
}

void F1Pelorane::Form_Unload(int& Cancel)
{
    if (!ArretSansConfirmation) {
        const auto reponse = m_dialogues.QuestionOuiNon(
            Dialogues::Icone::Critique, QStringLiteral("ARRET du programme"),
            QStringLiteral("Ce Programme est INDISPENSABLE à l'execution des commandes\r\r"
                           "Voulez-vous REELEMENT ARRETER ce programme ?"),
            Dialogues::Reponse::Non);
        if (reponse != Dialogues::Reponse::Oui) {
            Cancel = 1;
            return;
        }
    }
    m_service->FermeLiens();
    Termine(ArretSansConfirmation ? m_codeArret : 0);
}

void F1Pelorane::Termine(int code)
{
    m_termine = true;
    m_timer1.stop();
    m_service->Arrete();
    if (m_terminer)
        m_terminer(code);
}

void F1Pelorane::closeEvent(QCloseEvent* evenement)
{
    if (m_termine) {
        evenement->accept();
        return;
    }
    int Cancel = 0;
    Form_Unload(Cancel);
    if (Cancel != 0)
        evenement->ignore();
    else
        evenement->accept();
}

bool F1Pelorane::eventFilter(QObject* objet, QEvent* evenement)
{
    const QEvent::Type type = evenement->type();
    if (type == QEvent::MouseButtonRelease || type == QEvent::MouseButtonDblClick) {
        for (int i = 1; i <= 8; ++i) {
            if (objet != m_lblTiroir[size_t(i)])
                continue;
            // Un clic : bouton gauche relâché sur le carré ; un double clic n'en fait
            // qu'un (sinon le tiroir passerait au vert puis serait aussitôt libéré).
            const auto* souris = static_cast<QMouseEvent*>(evenement);
            if (type == QEvent::MouseButtonDblClick) {
                m_ignoreRelachement = true;
            } else if (m_ignoreRelachement) {
                m_ignoreRelachement = false;
            } else if (souris->button() == Qt::LeftButton
                       && m_lblTiroir[size_t(i)]->rect().contains(souris->position().toPoint())) {
                Lbl_Tiroir_Click(i);
            }
            return true;
        }
    }
    return QWidget::eventFilter(objet, evenement);
}

void F1Pelorane::Timer1_Timer()
{
    // 1. Horloge (le format du système est lu une fois).
    static const QString format = FormatHeure();
    m_lblHeure->setText(QLocale::system().toString(QTime::currentTime(), format));

    // 2. L'icône alterne, la seconde d'abord : signe de vie.
    if (m_marqueIcone == QLatin1String("*")) {
        m_marqueIcone.clear();
        setWindowIcon(m_icone1);
    } else {
        m_marqueIcone = QStringLiteral("*");
        setWindowIcon(m_icone2);
    }

    // 3. Légende et réduction automatique.
    // Une légende inchangée n'est pas redonnée au système de fenêtres.
    const auto legende = [this](const QString& texte) {
        if (windowTitle() != texte)
            setWindowTitle(texte);
    };
    if (isMinimized()) {
        m_compteurReduction = 0;
        legende(QStringLiteral("VBpelorane ") + m_lblNbFichierCD->text() + QStringLiteral("-")
                + m_lblNbFichierRT->text());
    } else {
        legende(m_legendeVersion);
        if (!m_chkReduction->isChecked())
            m_compteurReduction = 0;
        ++m_compteurReduction;
        if (m_compteurReduction > 60)
            Bt_Reduire_Click();
    }

    // 4. Temps d'attente des tiroirs.
    if (m_service->Cycle())
        m_service->Cycle()->ControleTempsTiroirs(m_service->Parametres().TempsMaxAttenteMs);
}

void F1Pelorane::Bt_Quitter_Click()
{
    ArretSansConfirmation = false;
    close();
}

void F1Pelorane::Bt_Test_LiaisonCartes_Click()
{
    if (m_service->Tiroirs())
        m_service->Tiroirs()->Bt_Test_LiaisonCartes_Click();
}

void F1Pelorane::Bt_TestLiaisonCDAPI_Click()
{
    if (m_service->Liaison())
        m_service->Liaison()->Bt_TestLiaisonCDAPI_Click();
}

void F1Pelorane::Lbl_Tiroir_Click(int Index)
{
    if (m_service->Tiroirs())
        m_service->Tiroirs()->Lbl_Tiroir_Click(Index);
}

void F1Pelorane::CliqueListe(QListWidget* liste)
{
    if (liste->count() < 1 || !liste->currentItem() || liste->currentItem()->text().isEmpty())
        return;
    // Fenêtre indépendante : elle ne doit pas disparaître avec la fenêtre principale
    // quand celle-ci se réduit toute seule.
    FrmListe::MontreFichier(nullptr, m_journal, m_dialogues, m_service->Parametres().DossierEchange + liste->currentItem()->text());
}

void F1Pelorane::LstFichierCD_Click()
{
    CliqueListe(m_lstFichierCD);
}

void F1Pelorane::LstFichierRT_Click()
{
    CliqueListe(m_lstFichierRT);
}

void F1Pelorane::Bt_Reduire_Click()
{
    showMinimized();
}

void F1Pelorane::ArreteSansQuestion()
{
    ArretSansConfirmation = true;
    close();
}

QStringList F1Pelorane::ActionsConnues()
{
    return { QStringLiteral("test-liaison-cdapi"), QStringLiteral("test-liaison-cartes"), QStringLiteral("montrer") };
}

void F1Pelorane::LanceAction(const QString& action)
{
    if (m_termine)
        return;
    if (action == QLatin1String("test-liaison-cdapi"))
        Bt_TestLiaisonCDAPI_Click();
    else if (action == QLatin1String("test-liaison-cartes"))
        Bt_Test_LiaisonCartes_Click();
    else if (action == QLatin1String("montrer"))
        MontreAuPremierPlan();
}

void F1Pelorane::MontreAuPremierPlan()
{
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}
