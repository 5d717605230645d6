#include "ListesEchange.h"

#include "base/Horloge.h"
#include "base/CheminAffiche.h"
#include "base/JournalStatut.h"
#include "config/Configuration.h"

#include <algorithm>

using namespace SystemeFichiers;

namespace {

// Au plus ce nombre de commandes relevées (taille, date) par passe, et ce
// nombre examinées : la suivante à partir est déjà vue prête quand la
// précédente part, sans relire des milliers de fichiers à chaque passe.
constexpr int ObservationsParPasse = 16;
constexpr int ExamensParPasse = 256;

// Ordre des listes : par nom sans égard à la casse ; deux noms qui ne diffèrent
// que par la casse (possible hors Windows) gardent un ordre fixe.
bool AvantDansLaListe(const QString& a, const QString& b)
{
    const int c = a.compare(b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
}

enum class Sorte { Autre, Commande, Retour };

// "CD*.txt" et "RT*.txt" sans égard à la casse, sur les octets du nom.
Sorte SorteDuNom(const QByteArray& nom)
{
    if (nom.size() < 6 || nom.right(4).toLower() != ".txt")
        return Sorte::Autre;
    const QByteArray debut = nom.left(2).toUpper();
    if (debut == "CD")
        return Sorte::Commande;
    if (debut == "RT")
        return Sorte::Retour;
    return Sorte::Autre;
}

QString NomDuChemin(const QString& chemin)
{
    return chemin.mid(chemin.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace

ListesEchange::ListesEchange(JournalStatut& journal, Horloge& horloge,
                             const Configuration& configuration,
                             std::function<QByteArray(const QString&, const QString&)> aux,
                             QObject* parent)
    : QObject(parent)
    , m_journal(journal)
    , m_horloge(horloge)
    , m_configuration(configuration)
    , m_aux(std::move(aux))
    , m_veille(horloge, [](const QByteArray& brut) { return SorteDuNom(brut) != Sorte::Autre; })
    , m_pretes(journal, horloge, m_veille)
{
}

QString ListesEchange::OctetsLisibles(const QByteArray& octets)
{
    QString texte;
    for (const char c : octets) {
        const uchar o = uchar(c);
        if (o >= 0x20 && o < 0x7F)
            texte += QLatin1Char(c);
        else
            texte += QStringLiteral("<%1>").arg(o, 2, 16, QLatin1Char('0')).toUpper();
    }
    return texte;
}

void ListesEchange::SignaleAccesDossier(bool accessible, const QString& raison)
{
    if (!accessible)
        emit etatDossierChange(EtatDossierInaccessible, raison);
    else if (!m_dossierAccessible)
        emit etatDossierChange(m_veille.Active() ? EtatDossierVeille : EtatDossierSansVeille, QString());
    if (accessible == m_dossierAccessible)
        return;
    m_dossierAccessible = accessible;
    // Une seule ligne par changement, pas une à chaque relecture.
    m_journal.MessageStatus(accessible
                                ? QStringLiteral("dossier d'echange de nouveau accessible: ")
                                      + m_configuration.DossierEchange
                                : QStringLiteral("dossier d'echange inaccessible: ")
                                      + m_configuration.DossierEchange + QStringLiteral(" (") + raison
                                      + QStringLiteral(")"));
}

void ListesEchange::SignaleIgnoree(QSet<QString>& vues, const QString& cle, const QString& texte)
{
    vues.insert(cle);
    if (!m_ignorees.contains(cle))
        m_journal.MessageStatus(texte);
}

void ListesEchange::LitDossier(QStringList* commandes, QStringList* retours)
{
    const QString& dossier = m_configuration.DossierEchange;
    commandes->reserve(m_releveCD.ordreDossier.size());
    QSet<QString> vues;
    const auto garde = [](const QByteArray& brut) { return SorteDuNom(brut) != Sorte::Autre; };
    const auto rend = [&](const EntreeDossier& e) {
        if (!e.genre.isEmpty()) {
            SignaleIgnoree(vues, e.genre + QLatin1Char('|') + e.nom,
                           QStringLiteral("fichier ignoré (") + e.genre
                               + QStringLiteral(", pas un fichier ordinaire) : ") + CheminAffiche(dossier + e.nom));
            return;
        }
        if (e.horsUtf8) {
            // Montré et lancé sous son nom lu en Windows-1252, sauf si ce nom
            // existe déjà en UTF-8 : on ne saurait plus lequel des deux ouvrir.
            SignaleIgnoree(vues, QStringLiteral("nom|") + e.nom + QString::number(e.homonyme),
                           QStringLiteral("nom de fichier hors UTF-8 : ") + CheminAffiche(dossier)
                               + OctetsLisibles(e.brut)
                               + (e.homonyme ? QStringLiteral(", homonyme de ") + e.nom
                                          + QStringLiteral(" : il n'est pas pris, renommez-le")
                                             : QStringLiteral(", lu en Windows-1252 : ") + e.nom));
            if (e.homonyme)
                return;
        }
        (SorteDuNom(e.brut) == Sorte::Commande ? commandes : retours)->append(e.nom);
    };
    QString raison;
    const bool lu = SystemeFichiers::LitDossier(dossier, garde, rend, &raison);
    SignaleAccesDossier(lu, raison);
    m_ignorees = lu ? std::move(vues) : QSet<QString>();
}

bool ListesEchange::MetAJour(Releve& releve, QStringList ordreDossier)
{
    // Dossier inchangé (mêmes noms dans le même ordre) : ni tri ni reconstruction.
    // Une passe sur des milliers de fichiers en attente reste ainsi linéaire.
    if (ordreDossier == releve.ordreDossier)
        return false;
    releve.ordreDossier = ordreDossier;

    std::sort(ordreDossier.begin(), ordreDossier.end(), AvantDansLaListe);
    if (ordreDossier == releve.trie)
        return false;
    releve.trie = std::move(ordreDossier);
    return true;
}

void ListesEchange::PoseVeille()
{
    QString raison;
    if (m_veille.Pose(m_configuration.DossierEchange, &raison)) {
        m_raisonSansVeille.clear();
        emit etatDossierChange(EtatDossierVeille, QString());
        return;
    }
    if (m_dossierAccessible)
        emit etatDossierChange(EtatDossierSansVeille, raison);
    if (!raison.isEmpty() && raison != m_raisonSansVeille)
        m_journal.MessageStatus(QStringLiteral("dossier d'echange sans veille (") + raison + QStringLiteral(") : ")
                                + m_configuration.DossierEchange
                                + QStringLiteral(" ; une commande n'y part qu'apres %1 s sans changement")
                                      .arg(DelaiStabiliteMs / 1000.0));
    m_raisonSansVeille = raison;
}

bool ListesEchange::DossierARelire()
{
    const qint64 maintenant = m_horloge.get_exact_milli_second();
    const bool filet = m_derniereLecture == 0 || maintenant - m_derniereLecture >= IntervalleFiletMs;
    if (!m_veille.Active()) {
        // Veille absente ou perdue : reposée au rythme du filet ; sans elle le
        // dossier est relu à chaque passe.
        if (filet)
            PoseVeille();
        m_veille.PrendChangement();
        return true;
    }
    m_veille.Lit();
    if (!m_veille.Active() && m_dossierAccessible)
        emit etatDossierChange(EtatDossierSansVeille, QString());
    return m_veille.PrendChangement() || filet || !m_veille.Active();
}

void ListesEchange::Relit()
{
    m_commandesLues.clear();
    m_retoursLus.clear();
    LitDossier(&m_commandesLues, &m_retoursLus);
    m_commandesEnAttente = true;
    m_retoursEnAttente = true;
    m_derniereLecture = m_horloge.get_exact_milli_second();
}

void ListesEchange::MAJlisteFichierCD()
{
    const qsizetype avant = m_releveCD.trie.size();
    if (DossierARelire())
        Relit();
    if (m_commandesEnAttente && MetAJour(m_releveCD, std::move(m_commandesLues))) {
        // Un fichier écarté qui a quitté le dossier n'est plus écarté : un
        // nouveau fichier du même nom est une nouvelle commande. Son relevé
        // part avec lui.
        const QSet<QString> presents(m_releveCD.trie.cbegin(), m_releveCD.trie.cend());
        m_ecartes.removeIf([&](const auto& it) { return !presents.contains(it.key()); });
        m_pretes.Oublie(presents);
        emit listeCDChangee(m_releveCD.trie);
    }
    m_commandesEnAttente = false;
    m_commandesLues.clear();
    const qsizetype apres = m_releveCD.trie.size();
    if (apres != avant && m_aux)
        m_aux(QStringLiteral("8"), apres == 0 ? QStringLiteral("OFF") : QStringLiteral("ON"));
    m_horloge.Cede();
}

void ListesEchange::MAJlisteFichierRT()
{
    // D'ordinaire lus à la relecture des commandes, une cession plus tôt.
    if (!m_retoursEnAttente && DossierARelire())
        Relit();
    if (m_retoursEnAttente && MetAJour(m_releveRT, std::move(m_retoursLus)))
        emit listeRTChangee(m_releveRT.trie);
    m_retoursEnAttente = false;
    m_retoursLus.clear();
    m_horloge.Cede();
}

QString ListesEchange::RechFichierCdeEnAttente(const QSet<QString>& aEviter)
{
    m_veille.Lit(); // les derniers signes avant de décider
    int releves = 0;
    int examens = 0;
    for (const QString& nom : std::as_const(m_releveCD.trie)) {
        const QString chemin = m_configuration.DossierEchange + nom;
        const auto ecart = m_ecartes.constFind(nom);
        if (ecart != m_ecartes.constEnd()) {
            // Seuls les fichiers écartés sont relus (rares) : la passe reste légère.
            if (EtatDe(chemin) == ecart.value())
                continue;
            m_ecartes.erase(ecart);
        }
        if (aEviter.contains(chemin))
            continue;
        if (releves >= ObservationsParPasse || examens++ >= ExamensParPasse)
            break;
        bool releve = false;
        if (m_pretes.EstPrete(nom, chemin, &releve))
            return chemin;
        releves += releve ? 1 : 0;
    }
    return QString();
}

ListesEchange::Lecture ListesEchange::LitCommande(const QString& cheminComplet, QByteArray* contenu)
{
    EtatFichier etat;
    const Lecture lecture = LitBorne(cheminComplet, TailleMaxCommande, contenu, &etat);
    if (lecture != Lecture::Lue)
        return lecture;
    // Les octets lus doivent être ceux de la commande dite prête : aucun signe
    // d'écriture depuis (notifications lues après la lecture), ou même taille
    // et même date que le relevé stable.
    const bool toutLu = m_veille.Lit();
    if (!m_pretes.Confirme(NomDuChemin(cheminComplet), etat, toutLu)) {
        contenu->clear();
        return Lecture::EnCours;
    }
    return Lecture::Lue;
}

void ListesEchange::EcarteFichierCde(const QString& cheminComplet)
{
    const QString& dossier = m_configuration.DossierEchange;
    const QString nom = cheminComplet.startsWith(dossier) ? cheminComplet.mid(dossier.size())
                                                          : NomDuChemin(cheminComplet);
    m_ecartes.insert(nom, EtatDe(dossier + nom));
}
