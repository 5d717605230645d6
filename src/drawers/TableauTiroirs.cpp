#include "TableauTiroirs.h"

#include "base/Horloge.h"
#include "base/JournalStatut.h"
#include "config/Configuration.h"
#include "drawers/LigneCartes.h"
#include "drawers/TrameCartes.h"

TableauTiroirs::TableauTiroirs(JournalStatut& journal, Horloge& horloge, LigneCartes& ligne,
                               const Configuration& configuration, QObject* parent)
    : QObject(parent)
    , m_journal(journal)
    , m_horloge(horloge)
    , m_ligne(ligne)
    , m_configuration(configuration)
{
    m_couleurs.fill(NonInitialise);
    m_heures.fill(0);
}

int TableauTiroirs::NbTiroirs() const
{
    // La fenêtre n'a que huit libellés : une valeur hors de 0..8 est bornée.
    return qBound(0, m_configuration.NbTiroirs, NombreMaxTiroirs);
}

int TableauTiroirs::NombreCartes() const
{
    return (NbTiroirs() + 1) / 2;
}

void TableauTiroirs::Initialise()
{
    for (int n = 1; n <= NbTiroirs(); ++n)
        MetCouleur(n, NonInitialise);
    m_heures.fill(0);
}

int TableauTiroirs::Couleur(int n) const
{
    if (n < 1 || n > NombreMaxTiroirs)
        return 0;
    return m_couleurs[size_t(n)];
}

void TableauTiroirs::MetCouleur(int n, int couleur)
{
    if (n < 1 || n > NombreMaxTiroirs || m_couleurs[size_t(n)] == couleur)
        return;
    m_couleurs[size_t(n)] = couleur;
    emit couleurChangee(n, couleur);
}

qint64 TableauTiroirs::HeureTiroirLibre(int n) const
{
    if (n < 1 || n > NombreMaxTiroirs)
        return 0;
    return m_heures[size_t(n)];
}

void TableauTiroirs::MetHeureTiroirLibre(int n, qint64 heure)
{
    if (n < 1 || n > NombreMaxTiroirs)
        return;
    m_heures[size_t(n)] = heure;
}

QByteArray TableauTiroirs::EchangeCarte(int carte, const QByteArray& commande, const QByteArray& parametres)
{
    const QByteArray adresse = AdresseCarte(m_configuration.NomCarteExt[size_t(carte)]);
    if (adresse.isEmpty())
        return EchecCartes::NomCarteIncorrect;
    return m_ligne.EnvoiEtReponseGrindel2(commande + adresse + parametres, 1000);
}

QByteArray TableauTiroirs::LitCarte(int carte, bool& dejaAttendu)
{
    const QString& nom = m_configuration.NomCarteExt[size_t(carte)];
    const QByteArray adresse = AdresseCarte(nom);
    if (adresse.isEmpty())
        return EchecCartes::NomCarteIncorrect;
    SuiviCartes& suivi = m_ligne.Suivi();
    if (suivi.EnRetard(adresse)) {
        // Ses tiroirs restent rouges ; une version reçue dans son délai la remet à l'heure.
        MetCouleur(2 * carte - 1, PasEnAttente);
        MetCouleur(2 * carte, PasEnAttente);
        if (!suivi.ResynchroDue(adresse))
            return QByteArray();
        const QByteArray version = m_ligne.EchangeVerifie(
            "V" + adresse, 1000, [&](const QByteArray& charge) { return suivi.EstVersionDe(adresse, charge); });
        if (EstEchecCartes(version)) {
            suivi.ResynchroManquee(adresse);
            return QByteArray();
        }
        suivi.NoteVersion(adresse, version);
        suivi.Rattrape(adresse);
        m_journal.MessageStatus(QStringLiteral("carte ") + nom + QStringLiteral(" de nouveau dans les temps"));
        return QByteArray();
    }
    // Une réponse "G" d'une trame passée est encore en route : aucune lecture ne part
    // avant qu'elle soit arrivée, sans quoi elle serait prise pour celle de cette carte.
    // Une seule attente par passe ; les tiroirs gardent leur état.
    const QByteArray corps = "G" + adresse + "L";
    if (m_ligne.AttendLectureGEnRoute(dejaAttendu ? 0 : AttenteLectureEnRouteMs, corps)) {
        dejaAttendu = true;
        return QByteArray();
    }
    const QByteArray resultat = m_ligne.EchangeVerifie(corps, 1000, &SuiviCartes::EstLectureG);
    if (EstEchecCartes(resultat) && suivi.MetEnRetard(adresse)) {
        m_journal.MessageStatus(TexteAffichable(resultat));
        m_journal.MessageStatus(QStringLiteral("carte ") + nom + QStringLiteral(" en retard: tiroirs ")
                                + QString::number(2 * carte - 1) + QStringLiteral(" et ") + QString::number(2 * carte)
                                + QStringLiteral(" rouges jusqu'a une reponse dans les temps"));
        MetCouleur(2 * carte - 1, PasEnAttente);
        MetCouleur(2 * carte, PasEnAttente);
        return QByteArray();
    }
    return resultat;
}

void TableauTiroirs::LectureEtatTiroir(int n)
{
    if (n > NbTiroirs() || n < 0)
        return;
    if (m_configuration.ModeSimulation()) {
        m_horloge.timePause(0.1);
        return;
    }
    if (n != 0) {
        m_horloge.Cede();
        return;
    }
    bool dejaAttendu = false;
    for (int i = 1; i <= NombreCartes(); ++i) {
        if (m_configuration.NomCarteExt[size_t(i)].trimmed().isEmpty())
            continue;
        const QByteArray resultat = LitCarte(i, dejaAttendu);
        if (resultat.isNull())
            continue;

        if (resultat.size() == 2) {
            for (int j = 1; j <= 2; ++j) {
                const int k = 2 * (i - 1) + j;
                if (resultat.at(j - 1) == '1')
                    continue;
                // La couleur est relue à chaque pas : un datagramme ou un clic traités
                // pendant une pause de l'échange précédent ont pu la changer.
                if (Couleur(k) == PasEnAttente) {
                    MetCouleur(k, AutoriseCde);
                    MetHeureTiroirLibre(k, m_horloge.get_exact_milli_second());
                }
                if (Couleur(k) == AutoriseCde)
                    MetHeureTiroirLibre(k, m_horloge.get_exact_milli_second());
                m_ligne.AuxGri2(QStringLiteral("8"), QStringLiteral("OFF"));
            }
        } else {
            MetCouleur(2 * i - 1, PasEnAttente);
            MetCouleur(2 * i, PasEnAttente);
            m_journal.MessageStatus(TexteAffichable(resultat));
        }
    }
    m_horloge.Cede();
}

QString TableauTiroirs::OuvreTiroir(int NumTiroir, CauseLiberation cause)
{
    if (NumTiroir > NbTiroirs() || NumTiroir < 0)
        return QString();
    const int premier = NumTiroir == 0 ? 1 : NumTiroir;
    const int dernier = NumTiroir == 0 ? NbTiroirs() : NumTiroir;
    for (int n = premier; n <= dernier; ++n) {
        MetCouleur(n, PasEnAttente);
        emit tiroirLibere(n, cause);
        m_journal.MessageStatus(QStringLiteral("libere tiroir: ") + QString::number(n) + QStringLiteral("   "));
        m_horloge.Cede();
    }
    return QString();
}

QString TableauTiroirs::RechGareLibre()
{
    const int nb = NbTiroirs();
    if (nb == 0)
        return QString();
    if (m_prochaineGare < 1 || m_prochaineGare > nb)
        m_prochaineGare = 1;
    int k = m_prochaineGare;
    ++m_prochaineGare;
    if (m_prochaineGare > nb)
        m_prochaineGare = 1;
    for (int essai = 0; essai < nb; ++essai) {
        if (Couleur(k) == AutoriseCde)
            return QStringLiteral("%1").arg(k, 3, 10, QLatin1Char('0'));
        k = k >= nb ? 1 : k + 1;
    }
    return QString();
}

void TableauTiroirs::Lbl_Tiroir_Click(int index)
{
    if (index < 1 || index > NbTiroirs())
        return;
    if (Couleur(index) == PasEnAttente) {
        MetCouleur(index, AutoriseCde);
        MetHeureTiroirLibre(index, m_horloge.get_exact_milli_second());
        m_ligne.AuxGri2(QStringLiteral("8"), QStringLiteral("OFF"));
    } else {
        OuvreTiroir(index, CauseLiberation::Clic);
    }
}

void TableauTiroirs::Bt_Test_LiaisonCartes_Click()
{
    m_journal.MessageStatus(QStringLiteral("test de liaison avec les cartes..."));
    for (int i = 1; i <= NombreCartes(); ++i) {
        const QString& nom = m_configuration.NomCarteExt[size_t(i)];
        if (nom.trimmed().isEmpty())
            continue;
        // Les trames partent aussi en mode simulation.
        const QByteArray resultat = EchangeCarte(i, "V", QByteArray());
        if (!EstEchecCartes(resultat))
            m_ligne.Suivi().NoteVersion(AdresseCarte(nom), resultat);
        m_journal.MessageStatus(QStringLiteral("Carte: ") + nom + QStringLiteral(": ") + TexteAffichable(resultat));
        m_horloge.Cede();
    }
}
