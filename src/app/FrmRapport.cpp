#include "FrmRapport.h"

#include "app/CommandeRapport.h"
#include "app/FrmListe.h"
#include "app/RapportActivite.h"
#include "base/CheminAffiche.h"
#include "base/Dialogues.h"

#include <QAction>
#include <QBoxLayout>
#include <QDir>
#include <QFileDialog>
#include <QPointer>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QToolButton>

namespace {

QPointer<FrmRapport> s_fenetre;

} // namespace

static void ChargeRessourcesRapport()
{
    // L'image du bouton d'impression vit dans la bibliothèque statique.
    Q_INIT_RESOURCE(commandes);
}

FrmRapport::FrmRapport(Dialogues& dialogues, QList<StatistiquesJour> jours, QString pied)
    : QDialog(nullptr)
    , m_dialogues(dialogues)
    , m_jours(std::move(jours))
    , m_pied(std::move(pied))
{
    ChargeRessourcesRapport();
    setWindowTitle(QStringLiteral("Rapport d'activité"));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);

    m_apercu = new QPrintPreviewWidget(this);
    m_apercu->setObjectName(QStringLiteral("Apercu"));
    connect(m_apercu, &QPrintPreviewWidget::paintRequested, this,
            [this](QPrinter* imprimante) { RapportActivite::Dessine(*imprimante, m_jours, m_pied); });

    FrmListe::DisposeAvecBoutons(this, m_apercu, QStringLiteral("Imprimer ce rapport"), QString(), &m_btImprimer,
                                 &m_btFermer);
    // À côté d'« Imprimer » : sans imprimante, le rapport part en PDF.
    m_btImprimer->setText(QStringLiteral("Imprimer"));
    m_btImprimer->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_btPdf = new QPushButton(QStringLiteral("Enregistrer en PDF…"), this);
    m_btPdf->setObjectName(QStringLiteral("BtEnregistrerPdf"));
    m_btPdf->setToolTip(QStringLiteral("Enregistre ce rapport dans un fichier PDF"));
    m_btPdf->setAutoDefault(false);
    if (auto* boutons = qobject_cast<QBoxLayout*>(layout()->itemAt(1)->layout()))
        boutons->insertWidget(1, m_btPdf);
    resize(640, 820);
    m_apercu->fitInView();

    connect(m_btPdf, &QPushButton::clicked, this, &FrmRapport::BtEnregistrerPdf_Click);
    connect(m_btImprimer, &QToolButton::clicked, this, &FrmRapport::BtImprimer_Click);
    connect(m_btFermer, &QPushButton::clicked, this, &FrmRapport::close);
}

void FrmRapport::AjouteMenu(QWidget* fenetre, Dialogues& dialogues, std::function<QString()> registre)
{
    auto* action = new QAction(QStringLiteral("Rapport d'activité du jour..."), fenetre);
    action->setObjectName(QStringLiteral("ActionRapportJour"));
    fenetre->setContextMenuPolicy(Qt::ActionsContextMenu);
    fenetre->addAction(action);
    QObject::connect(action, &QAction::triggered, fenetre, [&dialogues, registre = std::move(registre)] {
        const QString chemin = registre();
        if (chemin.isEmpty()) {
            dialogues.Message(Dialogues::Icone::Exclamation, TitreApplication(),
                              QStringLiteral("Le registre des remises n'est pas encore ouvert."));
            return;
        }
        Montre(dialogues, chemin, QDate::currentDate());
    });
}

void FrmRapport::Montre(Dialogues& dialogues, const QString& registre, const QDate& jour)
{
    QList<StatistiquesJour> jours;
    QString erreur;
    if (!RapportActivite::Prepare(registre, jour, jour, &jours, &erreur)) {
        dialogues.Message(Dialogues::Icone::Exclamation, TitreApplication(),
                          QStringLiteral("impossible de lire le registre des remises ") + CheminAffiche(registre)
                              + QStringLiteral(" : ") + erreur);
        return;
    }
    // Une fenêtre déjà ouverte est remplacée : l'aperçu montre toujours le dernier état.
    if (s_fenetre)
        s_fenetre->close();
    s_fenetre = new FrmRapport(dialogues, std::move(jours), CommandeRapport::Pied(registre));
    s_fenetre->show();
    s_fenetre->raise();
    s_fenetre->activateWindow();
}

FrmRapport* FrmRapport::FenetreOuverte()
{
    return s_fenetre.data();
}

void FrmRapport::BtImprimer_Click()
{
    const QString nom = FrmListe::NomImprimanteParDefaut();
    if (nom.isEmpty()) {
        m_dialogues.Message(Dialogues::Icone::Exclamation, TitreApplication(), TexteSansImprimante());
        return;
    }
    const std::unique_ptr<QPrinter> imprimante = FrmListe::CreeImprimante(nom);
    if (!imprimante || !RapportActivite::Dessine(*imprimante, m_jours, m_pied))
        m_dialogues.Message(Dialogues::Icone::Exclamation, TitreApplication(),
                            QStringLiteral("impression du rapport impossible sur ") + nom);
}

QString FrmRapport::TexteSansImprimante()
{
    return QStringLiteral("Aucune imprimante n'est installée : le rapport ne peut pas être imprimé.\r\r"
                          "Installez une imprimante (réglages du système, Imprimantes), ou enregistrez le "
                          "rapport avec le bouton « Enregistrer en PDF… » pour l'imprimer ailleurs.");
}

void FrmRapport::BtEnregistrerPdf_Click()
{
    // Boîte ouverte sans boucle imbriquée : le choix revient par son signal.
    auto* choix = new QFileDialog(this, QStringLiteral("Enregistrer le rapport en PDF"), QDir::homePath(),
                                  QStringLiteral("Documents PDF (*.pdf)"));
    choix->setAttribute(Qt::WA_DeleteOnClose);
    choix->setAcceptMode(QFileDialog::AcceptSave);
    choix->setDefaultSuffix(QStringLiteral("pdf"));
    const QDate jour = m_jours.isEmpty() ? QDate() : m_jours.first().jour;
    choix->selectFile(QStringLiteral("rapport-") + jour.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".pdf"));
    connect(choix, &QFileDialog::fileSelected, this, [this](const QString& fichier) { EnregistrePdf(fichier); });
    choix->open();
}

bool FrmRapport::EnregistrePdf(const QString& fichier)
{
    QString erreur;
    if (RapportActivite::EcritPdf(fichier, m_jours, m_pied, &erreur))
        return true;
    m_dialogues.Message(Dialogues::Icone::Exclamation, TitreApplication(),
                        QStringLiteral("rapport non enregistré dans ") + CheminAffiche(fichier) + QStringLiteral(" : ")
                            + erreur);
    return false;
}
