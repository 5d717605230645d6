#include "ZoneEtat.h"

#include "app/StyleFenetre.h"

#include <QLabel>

#include <algorithm>

using namespace StyleFenetre;

namespace {

// Vert sombre : tout va ; orange brûlé : à regarder. Le rouge est pris par les tiroirs.
const QColor couleurBon(0x00, 0x64, 0x00);
const QColor couleurDefaut(0xB3, 0x4A, 0x00);
constexpr int HauteurLigne = 16;

} // namespace

ZoneEtat::ZoneEtat(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Zone_Etat"));
    m_lblLiaison = CreeLigne("Lbl_EtatLiaison", 0);
    m_lblCartes = CreeLigne("Lbl_EtatCartes", 1);
    m_lblRegistre = CreeLigne("Lbl_EtatRegistre", 2);
    m_lblDossier = CreeLigne("Lbl_EtatDossier", 3);
    Montre(m_lblLiaison, QStringLiteral("Liaison CDAPI : jamais ouverte (appuyez sur « Test Liaison CDAPI »)"), false);
    Montre(m_lblCartes, QStringLiteral("Cartes : pas encore lues"), false);
    Montre(m_lblRegistre, QStringLiteral("Registre des remises : pas encore ouvert"), false);
    Montre(m_lblDossier, QStringLiteral("Dossier d'échange : pas encore lu"), false);
}

QLabel* ZoneEtat::CreeLigne(const char* nom, int rang)
{
    auto* ligne = new QLabel(this);
    ligne->setObjectName(QString::fromLatin1(nom));
    ligne->setFont(Police(font().family(), 8, false));
    ligne->setGeometry(0, 2 + rang * HauteurLigne, 1000, HauteurLigne);
    ligne->setTextFormat(Qt::PlainText);
    return ligne;
}

QString ZoneEtat::Heure() const
{
    return m_horlogeMurale().toString(QStringLiteral("HH:mm"));
}

QString ZoneEtat::HeureSecondes(int dansS) const
{
    return m_horlogeMurale().addSecs(dansS).toString(QStringLiteral("HH:mm:ss"));
}

void ZoneEtat::Montre(QLabel* ligne, const QString& texte, bool enDefaut)
{
    ligne->setText(texte);
    QFont police = ligne->font();
    police.setBold(enDefaut);
    ligne->setFont(police);
    Colore(ligne, nullptr, enDefaut ? &couleurDefaut : &couleurBon);
}

void ZoneEtat::LiaisonEtablie()
{
    if (m_etatLiaison != 0)
        m_liaisonDepuis = Heure();
    m_etatLiaison = 0;
    Montre(m_lblLiaison, QStringLiteral("Liaison CDAPI : connectée depuis ") + m_liaisonDepuis, false);
}

void ZoneEtat::LiaisonCoupee(int prochainEssaiS)
{
    // Les essais qui échouent l'un après l'autre ne changent que l'heure du suivant.
    if (m_etatLiaison != 1)
        m_liaisonDepuis = Heure();
    m_etatLiaison = 1;
    const QString suite = prochainEssaiS < 0
        ? QStringLiteral(", nouvel essai au prochain envoi (« Test Liaison CDAPI »)")
        : QStringLiteral(", nouvel essai à ") + HeureSecondes(prochainEssaiS);
    Montre(m_lblLiaison, QStringLiteral("Liaison CDAPI : coupée depuis ") + m_liaisonDepuis + suite, true);
}

void ZoneEtat::CarteChange(const QString& nom, int etat)
{
    if (etat < 0 || etat > 2)
        return;
    auto carte = std::find_if(m_cartes.begin(), m_cartes.end(), [&nom](const EtatCarte& c) { return c.nom == nom; });
    if (carte == m_cartes.end()) {
        m_cartes.append({ nom, etat, Heure() });
    } else if (carte->etat != etat) {
        carte->etat = etat;
        carte->depuis = Heure();
    }
    MontreCartes();
}

void ZoneEtat::MontreCartes()
{
    static const char* const etats[] = { "répond", "en retard", "port perdu" };
    QStringList parties;
    bool enDefaut = false;
    for (const EtatCarte& c : m_cartes) {
        parties << c.nom + QLatin1Char(' ') + QString::fromUtf8(etats[c.etat]) + QStringLiteral(" depuis ") + c.depuis;
        enDefaut = enDefaut || c.etat != 0;
    }
    Montre(m_lblCartes, QStringLiteral("Cartes : ") + parties.join(QStringLiteral(" ; ")), enDefaut);
}

void ZoneEtat::ProtectionChange(bool active)
{
    if (m_protection != int(active))
        m_protectionDepuis = Heure();
    const QString& depuis = m_protectionDepuis;
    m_protection = int(active);
    if (active)
        Montre(m_lblRegistre, QStringLiteral("Registre des remises : protection double remise active depuis ") + depuis,
               false);
    else
        Montre(m_lblRegistre,
               QStringLiteral("Registre des remises : protection double remise COUPÉE depuis ") + depuis
                   + QStringLiteral(" (registre indisponible)"),
               true);
}

void ZoneEtat::DossierChange(int etat, const QString& raison)
{
    if (etat < 0 || etat > 2)
        return;
    // Un même état redit à chaque relecture ne change ni l'heure ni la raison montrée.
    if (etat == m_etatDossier)
        return;
    m_etatDossier = etat;
    m_dossierDepuis = Heure();
    QString texte;
    if (etat == 0)
        texte = QStringLiteral("Dossier d'échange : veillé depuis ") + m_dossierDepuis;
    else if (etat == 1)
        texte = QStringLiteral("Dossier d'échange : inaccessible depuis ") + m_dossierDepuis
            + (raison.isEmpty() ? QString() : QStringLiteral(" (") + raison + QLatin1Char(')'));
    else if (raison.isEmpty())
        texte = QStringLiteral("Dossier d'échange : veille perdue depuis ") + m_dossierDepuis
            + QStringLiteral(", relu à chaque passe");
    else
        texte = QStringLiteral("Dossier d'échange : sans veille depuis ") + m_dossierDepuis + QStringLiteral(" (")
            + raison + QStringLiteral("), relu à chaque passe");
    Montre(m_lblDossier, texte, etat != 0);
}
