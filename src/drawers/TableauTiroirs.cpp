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

QString TableauTiroirs::NomCarte(int carte) const
{
    return m_configuration.NomCarteExt[size_t(carte)].trimmed();
}

void TableauTiroirs::LectureEtatTiroir(int n)
{
    if (m_lecture.active)
        return;
    m_lecture = Lecture();
    m_lecture.active = true;
    // En simulation rien n'est demandé aux cartes : la lecture finit aussitôt.
    if (n > NbTiroirs() || n < 0 || n != 0 || m_configuration.ModeSimulation()) {
        FinLecture();
        return;
    }
    LitCarteSuivante();
}

void TableauTiroirs::LitCarteSuivante()
{
    for (;;) {
        ++m_lecture.carte;
        if (m_lecture.carte > NombreCartes()) {
            Controle();
            return;
        }
        if (!NomCarte(m_lecture.carte).isEmpty())
            break;
    }
    const int carte = m_lecture.carte;
    const QByteArray adresse = AdresseCarte(m_configuration.NomCarteExt[size_t(carte)]);
    if (adresse.isEmpty()) {
        Manquee(carte, EchecCartes::NomCarteIncorrect);
        LitCarteSuivante();
        return;
    }
    SuiviCartes& suivi = m_ligne.Suivi();
    if (suivi.EnRetard(adresse)) {
        Resynchronise(carte, adresse);
        return;
    }
    LigneCartes::Demande demande;
    demande.corps = "G" + adresse + "L";
    demande.delaiMs = 1000;
    demande.reprise = LigneCartes::Reprise::SiReponseRecue;
    // La version d'une carte reçue ici répond à une trame "V" passée : elle est jetée.
    demande.attendue = [&suivi](const QByteArray& charge) {
        return SuiviCartes::EstLectureG(charge) || !suivi.EstVersionConnue(charge);
    };
    m_ligne.Envoie(std::move(demande), this, [this, carte](const QByteArray& resultat) {
        SurLecture(carte, resultat);
    });
}

void TableauTiroirs::Resynchronise(int carte, const QByteArray& adresse)
{
    // Ses tiroirs restent rouges ; une version reçue dans son délai la remet à l'heure.
    MetCouleur(2 * carte - 1, PasEnAttente);
    MetCouleur(2 * carte, PasEnAttente);
    SuiviCartes& suivi = m_ligne.Suivi();
    // Tant qu'elle doit une réponse, sa vieille version passerait pour la nouvelle.
    if (!suivi.ResynchroDue(adresse) || suivi.CarteDoit(adresse)) {
        LitCarteSuivante();
        return;
    }
    LigneCartes::Demande demande;
    demande.corps = "V" + adresse;
    demande.delaiMs = 1000;
    demande.reprise = LigneCartes::Reprise::Jamais;
    demande.attendue = [&suivi, adresse](const QByteArray& charge) { return suivi.EstVersionDe(adresse, charge); };
    suivi.ResynchroManquee(adresse); // la prochaine au plus tôt dans IntervalleResynchroMs
    m_ligne.Envoie(std::move(demande), this, [this, carte, adresse](const QByteArray& version) {
        if (!EstEchecCartes(version)) {
            SuiviCartes& s = m_ligne.Suivi();
            s.NoteVersion(adresse, version);
            s.Rattrape(adresse);
            m_journal.MessageStatus(QStringLiteral("carte ") + NomCarte(carte)
                                    + QStringLiteral(" de nouveau dans les temps"));
            NoteEtatCarte(carte, CarteRepond);
        }
        LitCarteSuivante();
    });
}

void TableauTiroirs::SurLecture(int carte, const QByteArray& resultat)
{
    if (!SuiviCartes::EstLectureG(resultat)) {
        Manquee(carte, resultat);
    } else if (!m_lecture.retenues.isEmpty() || m_ligne.Suivi().DoitReponse()) {
        // Une réponse due, pas encore arrivée ni jetée, a pu prendre la place de
        // celle-ci : la lecture attend la preuve de l'alignement.
        m_lecture.retenues.append({ carte, resultat });
    } else {
        Applique(carte, resultat);
    }
    LitCarteSuivante();
}

void TableauTiroirs::Controle()
{
    if (m_lecture.retenues.isEmpty()) {
        FinLecture();
        return;
    }
    // Trame de contrôle : "V" à la dernière carte lue, dont la réponse (sa version) ne
    // peut pas passer pour une lecture. Si une réponse en retard a pris la place d'une
    // lecture, chaque réponse suivante est décalée d'un rang et une lecture arrive ici.
    const int carte = m_lecture.retenues.last().first;
    const QByteArray adresse = AdresseCarte(m_configuration.NomCarteExt[size_t(carte)]);
    LigneCartes::Demande demande;
    demande.corps = "V" + adresse;
    demande.delaiMs = 1000;
    demande.reprise = LigneCartes::Reprise::Jamais;
    m_ligne.Envoie(std::move(demande), this, [this, adresse](const QByteArray& reponse) {
        SuiviCartes& suivi = m_ligne.Suivi();
        const bool alignees = !EstEchecCartes(reponse) && suivi.EstVersionDe(adresse, reponse);
        if (SuiviCartes::EstLectureG(reponse)) {
            // Une lecture à la place de la version : une réponse due est arrivée plus
            // haut dans la passe (elle est payée), et la version de contrôle est encore
            // en route.
            suivi.LigneJetee(reponse);
            suivi.ReponseDue("V" + adresse);
        }
        const QList<QPair<int, QByteArray>> retenues = std::exchange(m_lecture.retenues, {});
        if (alignees) {
            for (const auto& [carte, lecture] : retenues)
                Applique(carte, lecture);
        } else {
            QStringList noms;
            for (const auto& retenue : retenues)
                noms.append(NomCarte(retenue.first));
            m_journal.MessageStatus(QStringLiteral("ligne des cartes: lectures de ") + noms.join(QStringLiteral(", "))
                                    + QStringLiteral(" ignorees, une reponse en retard a pu prendre leur place "
                                                     "(controle V")
                                    + TexteAffichable(adresse) + QStringLiteral(": ") + TexteAffichable(reponse)
                                    + QStringLiteral(")"));
        }
        FinLecture();
    });
}

void TableauTiroirs::NoteEtatCarte(int carte, EtatCarte etat)
{
    if (carte < 1 || carte > 4 || m_etatsCartes[size_t(carte)] == etat)
        return;
    m_etatsCartes[size_t(carte)] = etat;
    emit etatCarteChange(NomCarte(carte), etat);
}

void TableauTiroirs::FinLecture()
{
    m_lecture.active = false;
    emit lectureTerminee();
}

void TableauTiroirs::Applique(int carte, const QByteArray& resultat)
{
    NoteEtatCarte(carte, CarteRepond);
    for (int j = 1; j <= 2; ++j) {
        const int k = 2 * (carte - 1) + j;
        if (resultat.at(j - 1) == '1')
            continue;
        // La couleur est relue à chaque pas : un datagramme ou un clic traités depuis
        // la réponse ont pu la changer.
        if (Couleur(k) == PasEnAttente) {
            MetCouleur(k, AutoriseCde);
            MetHeureTiroirLibre(k, m_horloge.get_exact_milli_second());
        }
        if (Couleur(k) == AutoriseCde)
            MetHeureTiroirLibre(k, m_horloge.get_exact_milli_second());
        m_ligne.AuxGri2(QStringLiteral("8"), QStringLiteral("OFF"));
    }
}

void TableauTiroirs::Manquee(int carte, const QByteArray& resultat)
{
    MetCouleur(2 * carte - 1, PasEnAttente);
    MetCouleur(2 * carte, PasEnAttente);
    m_journal.MessageStatus(TexteAffichable(resultat));
    const QByteArray adresse = AdresseCarte(m_configuration.NomCarteExt[size_t(carte)]);
    if (adresse.isEmpty() || !m_ligne.Suivi().MetEnRetard(adresse))
        return;
    m_journal.MessageStatus(QStringLiteral("carte ") + NomCarte(carte) + QStringLiteral(" en retard: tiroirs ")
                            + QString::number(2 * carte - 1) + QStringLiteral(" et ") + QString::number(2 * carte)
                            + QStringLiteral(" rouges jusqu'a une reponse dans les temps"));
    NoteEtatCarte(carte, CarteEnRetard);
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
    // Les trames partent aussi en mode simulation, l'une après l'autre par la file.
    QList<int> cartes;
    for (int i = 1; i <= NombreCartes(); ++i)
        if (!NomCarte(i).isEmpty())
            cartes.append(i);
    if (cartes.isEmpty()) {
        emit testCartesTermine();
        return;
    }
    const int derniere = cartes.last();
    for (const int i : cartes) {
        const QString nom = m_configuration.NomCarteExt[size_t(i)];
        const QByteArray adresse = AdresseCarte(nom);
        const auto fin = [this, nom, adresse, dernier = i == derniere](const QByteArray& resultat) {
            // Une version n'est retenue que si aucune réponse en retard ne pouvait
            // arriver à sa place.
            if (!EstEchecCartes(resultat) && !m_ligne.Suivi().DoitReponse())
                m_ligne.Suivi().NoteVersion(adresse, resultat);
            m_journal.MessageStatus(QStringLiteral("Carte: ") + nom + QStringLiteral(": ") + TexteAffichable(resultat));
            if (dernier)
                emit testCartesTermine();
        };
        if (adresse.isEmpty())
            fin(EchecCartes::NomCarteIncorrect);
        else
            m_ligne.EnvoiEtReponseGrindel2("V" + adresse, 1000, this, fin);
    }
}
