#include "FrmListe.h"
#include "base/CheminAffiche.h"

#include "orders/FichierCommande.h"
#include "base/SystemeFichiers.h"
#include "base/Dialogues.h"
#include "base/JournalStatut.h"

#include <QFile>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QPointer<FrmListe> s_fenetre;
FrmListe::Imprimantes s_imprimantes;

QFont PoliceFixe()
{
    QFont police(QStringLiteral("Courier"));
    // "Courier" n'existe pas partout : l'indication garde une chasse fixe.
    police.setStyleHint(QFont::TypeWriter);
    police.setFixedPitch(true);
    return police;
}

} // namespace

static void ChargeRessourcesCommandes()
{
    // Bibliothèque statique : sans cet appel l'éditeur de liens laisserait
    // l'image du bouton de côté.
    Q_INIT_RESOURCE(commandes);
}

FrmListe::FrmListe(Dialogues& dialogues, QWidget* parent)
    : QDialog(parent)
    , m_dialogues(dialogues)
{
    ChargeRessourcesCommandes();
    setWindowTitle(QStringLiteral("Liste"));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);

    m_text1 = new QPlainTextEdit(this);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_text1->setFont(PoliceFixe());

    DisposeAvecBoutons(this, m_text1, QStringLiteral("Imprimer cette liste"), QStringLiteral("Fermer cette liste"),
                       &m_btImprimer, &m_btFermer);
    resize(560, 420);

    connect(m_btImprimer, &QToolButton::clicked, this, &FrmListe::BtImprimer_Click);
    connect(m_btFermer, &QPushButton::clicked, this, &FrmListe::Bt_fermer_Click);
}

FrmListe::~FrmListe() = default;

void FrmListe::MontreFichier(QWidget* parent, JournalStatut& journal, Dialogues& dialogues,
                             const QString& cheminComplet)
{
    // Lecture bornée : un octet de plus que ce que l'écran montre suffit à
    // savoir qu'il faut couper ; un tube ou un périphérique n'est jamais ouvert.
    QByteArray contenu;
    const SystemeFichiers::Lecture lecture =
        SystemeFichiers::LitBorne(cheminComplet, FichierCommande::TailleMaxAffichage + 1, &contenu);
    if (lecture != SystemeFichiers::Lecture::Lue && lecture != SystemeFichiers::Lecture::TropGrosse) {
        journal.MessageStatus(QStringLiteral("Impossible de lire le fichier ") + CheminAffiche(cheminComplet));
        return;
    }

    if (!s_fenetre)
        s_fenetre = new FrmListe(dialogues, parent);
    s_fenetre->MetTexte(FichierCommande::TexteVueFichier(CheminAffiche(cheminComplet), contenu));
    // Ce gestionnaire tourne déjà dans une cession d'événements : la fenêtre
    // s'affiche dès qu'il rend la main.
    s_fenetre->show();
    s_fenetre->raise();
    s_fenetre->activateWindow();
}

FrmListe* FrmListe::FenetreOuverte()
{
    return s_fenetre.data();
}

void FrmListe::MetImprimantes(const Imprimantes& imprimantes)
{
    s_imprimantes = imprimantes;
}

QStringList FrmListe::LignesAImprimer(const QString& texte)
{
    QStringList lignes;
    QString ligne;
    for (const QChar c : texte) {
        if (c == QLatin1Char('\n')) {
            lignes.append(ligne);
            ligne.clear();
        } else if (c != QLatin1Char('\r')) {
            ligne += c;
        }
    }
    if (!ligne.isEmpty())
        lignes.append(ligne);
    return lignes;
}

QString FrmListe::NamePrinterDefaut()
{
    return NomImprimanteParDefaut();
}

void FrmListe::DisposeAvecBoutons(QWidget* fenetre, QWidget* contenu, const QString& bulleImprimer,
                                  const QString& bulleOk, QToolButton** imprimer, QPushButton** ok)
{
    auto* btImprimer = new QToolButton(fenetre);
    btImprimer->setObjectName(QStringLiteral("BtImprimer"));
    btImprimer->setIcon(QIcon(QStringLiteral(":/commandes/imprimer.png")));
    btImprimer->setIconSize(QSize(24, 24));
    btImprimer->setToolTip(bulleImprimer);
    auto* btOk = new QPushButton(QStringLiteral("OK"), fenetre);
    btOk->setObjectName(QStringLiteral("Bt_fermer"));
    if (!bulleOk.isEmpty())
        btOk->setToolTip(bulleOk);
    btOk->setAutoDefault(false);

    auto* boutons = new QHBoxLayout;
    boutons->addWidget(btImprimer);
    boutons->addStretch(1);
    boutons->addWidget(btOk);
    auto* disposition = new QVBoxLayout(fenetre);
    disposition->addWidget(contenu, 1);
    disposition->addLayout(boutons);
    *imprimer = btImprimer;
    *ok = btOk;
}

std::unique_ptr<QPrinter> FrmListe::CreeImprimante(const QString& nom)
{
    if (s_imprimantes.cree)
        return s_imprimantes.cree(nom);
    auto imprimante = std::make_unique<QPrinter>(QPrinter::HighResolution);
    imprimante->setPrinterName(nom);
    return imprimante;
}

QString FrmListe::NomImprimanteParDefaut()
{
    if (s_imprimantes.nomParDefaut)
        return s_imprimantes.nomParDefaut();
    // Attention : QPrinter::isValid() est vrai même sans imprimante ; seule
    // l'imprimante par défaut nulle dit qu'il n'y en a pas.
    const QPrinterInfo parDefaut = QPrinterInfo::defaultPrinter();
    return parDefaut.isNull() ? QString() : parDefaut.printerName();
}

void FrmListe::SignaleErreurImpression(const QString& nomImprimante)
{
    m_dialogues.Message(Dialogues::Icone::Exclamation, TitreApplication(),
                        QStringLiteral("erreur dans 'BtImprimer_Click'\r impression impossible sur ")
                            + nomImprimante);
}

void FrmListe::BtImprimer_Click()
{
    const QString nom = NamePrinterDefaut();
    if (nom.isEmpty()) {
        m_dialogues.Message(Dialogues::Icone::Critique, TitreApplication(),
                            QStringLiteral(" Vous ne pouvez pas utiliser cette fonction, car vous "
                                           "n'avez pas d'imprimante installée"));
        return;
    }

    // Un texte effacé n'ouvre aucun travail d'impression : il n'en reste
    // jamais un en suspens jusqu'à l'impression suivante.
    const QString texte = Texte();
    if (texte.isEmpty())
        return;

    const std::unique_ptr<QPrinter> imprimante = CreeImprimante(nom);
    QPainter peintre;
    if (!imprimante || !peintre.begin(imprimante.get())) {
        SignaleErreurImpression(nom);
        return;
    }

    QFont titre = PoliceFixe();
    titre.setPointSize(12);
    titre.setBold(true);
    QFont corps = PoliceFixe();
    corps.setPointSize(8);
    corps.setBold(false);

    const qreal hauteurPage = peintre.viewport().height();
    qreal y = 0;
    bool ok = true;
    auto imprimeLigne = [&](const QString& ligne) {
        if (!ok)
            return;
        const QFontMetricsF mesures(peintre.font(), imprimante.get());
        if (y > 0 && y + mesures.height() > hauteurPage) {
            if (!imprimante->newPage()) {
                ok = false;
                return;
            }
            y = 0;
        }
        peintre.drawText(QPointF(0, y + mesures.ascent()), ligne);
        y += mesures.lineSpacing();
    };

    peintre.setFont(titre);
    imprimeLigne(windowTitle());
    imprimeLigne(QString());
    peintre.setFont(corps);
    for (const QString& ligne : LignesAImprimer(texte))
        imprimeLigne(ligne);

    // La fin du travail envoie le document à l'imprimante.
    if (!peintre.end() || !ok)
        SignaleErreurImpression(nom);
}

void FrmListe::Bt_fermer_Click()
{
    close(); // WA_DeleteOnClose : le texte part avec la fenêtre
}

QString FrmListe::Texte() const
{
    return m_text1->toPlainText();
}

void FrmListe::MetTexte(const QString& texte)
{
    m_text1->setPlainText(texte);
}
