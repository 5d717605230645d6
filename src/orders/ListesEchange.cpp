#include "ListesEchange.h"

#include "base/Horloge.h"
#include "base/CheminAffiche.h"
#include "base/JournalStatut.h"
#include "config/Configuration.h"

#include <QFileInfo>
#include <algorithm>

using namespace SystemeFichiers;

namespace {

// Au plus ce nombre de commandes relevées (taille, date) par passe : la
// suivante à partir est déjà vue stable quand la précédente part, sans relire
// des milliers de fichiers à chaque passe.
constexpr int ObservationsParPasse = 16;

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

void ListesEchange::SignaleAccesDossier(bool accessible)
{
    if (accessible == m_dossierAccessible)
        return;
    m_dossierAccessible = accessible;
    // Une seule ligne par changement : la relecture a lieu à chaque passe.
    m_journal.MessageStatus(accessible
                                ? QStringLiteral("dossier d'echange de nouveau accessible: ")
                                      + m_configuration.DossierEchange
                                : QStringLiteral("dossier d'echange inaccessible: ")
                                      + m_configuration.DossierEchange);
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
    SignaleAccesDossier(QFileInfo(dossier).isDir());
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
    if (!SystemeFichiers::LitDossier(dossier, garde, rend)) {
        m_ignorees.clear();
        return;
    }
    m_ignorees = std::move(vues);
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

void ListesEchange::MAJlisteFichierCD()
{
    const qsizetype avant = m_releveCD.trie.size();
    QStringList commandes;
    m_retoursLus.clear();
    LitDossier(&commandes, &m_retoursLus);
    m_retoursEnAttente = true;
    if (MetAJour(m_releveCD, std::move(commandes))) {
        // Un fichier écarté qui a quitté le dossier n'est plus écarté : un
        // nouveau fichier du même nom est une nouvelle commande. Son relevé
        // part avec lui.
        const QSet<QString> presents(m_releveCD.trie.cbegin(), m_releveCD.trie.cend());
        m_ecartes.removeIf([&](const auto& it) { return !presents.contains(it.key()); });
        m_observations.removeIf([&](const auto& it) { return !presents.contains(it.key()); });
        emit listeCDChangee(m_releveCD.trie);
    }
    const qsizetype apres = m_releveCD.trie.size();
    if (apres != avant && m_aux)
        m_aux(QStringLiteral("8"), apres == 0 ? QStringLiteral("OFF") : QStringLiteral("ON"));
    m_horloge.Cede();
}

void ListesEchange::MAJlisteFichierRT()
{
    QStringList retours;
    if (m_retoursEnAttente) {
        // Lus à la relecture des commandes, une cession plus tôt.
        retours = std::move(m_retoursLus);
        m_retoursLus.clear();
        m_retoursEnAttente = false;
    } else {
        QStringList commandes;
        LitDossier(&commandes, &retours);
    }
    if (MetAJour(m_releveRT, std::move(retours)))
        emit listeRTChangee(m_releveRT.trie);
    m_horloge.Cede();
}

bool ListesEchange::EstStable(const QString& nom, const QString& chemin)
{
    const EtatFichier etat = EtatDe(chemin);
    const qint64 maintenant = m_horloge.get_exact_milli_second();
    const auto it = m_observations.constFind(nom);
    if (it == m_observations.constEnd() || it->etat != etat) {
        // Première vue, ou changée depuis : un comptoir l'écrit peut-être encore.
        // Une date ancienne ne prouve rien (une copie garde celle de sa source).
        m_observations.insert(nom, { etat, maintenant });
        return false;
    }
    return etat.taille >= 0 && maintenant - it->depuis >= DelaiStabiliteMs;
}

QString ListesEchange::RechFichierCdeEnAttente(const QSet<QString>& aEviter)
{
    int releves = 0;
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
        if (releves++ >= ObservationsParPasse)
            break;
        if (EstStable(nom, chemin))
            return chemin;
    }
    return QString();
}

ListesEchange::Lecture ListesEchange::LitCommande(const QString& cheminComplet, QByteArray* contenu)
{
    EtatFichier etat;
    const Lecture lecture = LitBorne(cheminComplet, TailleMaxCommande, contenu, &etat);
    if (lecture != Lecture::Lue)
        return lecture;
    // Les octets lus doivent être ceux du relevé qui a dit la commande stable.
    const QString nom = NomDuChemin(cheminComplet);
    const auto it = m_observations.constFind(nom);
    if (it == m_observations.constEnd() || it->etat != etat) {
        m_observations.insert(nom, { etat, m_horloge.get_exact_milli_second() });
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
