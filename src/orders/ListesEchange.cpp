#include "ListesEchange.h"

#include "base/Horloge.h"
#include "base/CheminAffiche.h"
#include "base/JournalStatut.h"
#include "config/Configuration.h"

#include <QFile>

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

// "CD*.txt" et "RT*.txt" sans égard à la casse, sur les octets du nom (sans
// copie : le relevé du filet passe tous les noms du dossier ici).
Sorte SorteDuNom(QByteArrayView nom)
{
    const auto bas = [](char c) { return char(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c); };
    const qsizetype n = nom.size();
    if (n < 6 || nom[n - 4] != '.' || bas(nom[n - 3]) != 't' || bas(nom[n - 2]) != 'x' || bas(nom[n - 1]) != 't')
        return Sorte::Autre;
    const char a = bas(nom[0]);
    const char b = bas(nom[1]);
    if (a == 'c' && b == 'd')
        return Sorte::Commande;
    if (a == 'r' && b == 't')
        return Sorte::Retour;
    return Sorte::Autre;
}

// Empreinte d'un nom ; celle d'un ensemble de noms est leur somme, tenue à
// jour nom par nom.
quint64 EmpreinteNom(QByteArrayView nom)
{
    return quint64(qHash(nom, size_t(0x9E3779B97F4A7C15ull)));
}

QString NomDuChemin(const QString& chemin)
{
    return chemin.mid(chemin.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace

ListesEchange::ListesEchange(JournalStatut& journal, Horloge& horloge,
                             const Configuration& configuration,
                             std::function<void(const QString&, const QString&)> aux,
                             QObject* parent)
    : QObject(parent)
    , m_journal(journal)
    , m_horloge(horloge)
    , m_configuration(configuration)
    , m_aux(std::move(aux))
    , m_veille(horloge, [](const QByteArray& brut) { return SorteDuNom(brut) != Sorte::Autre; })
    , m_pretes(journal, horloge, m_veille)
{
    connect(&m_veille, &VeilleDossier::signesRecus, this, &ListesEchange::dossierSigne);
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

void ListesEchange::SignaleIgnoree(QHash<QByteArray, QString>& vues, const QByteArray& brut, const QString& cle,
                                   const QString& texte)
{
    const auto deja = m_ignorees.constFind(brut);
    if (deja == m_ignorees.constEnd() || deja.value() != cle)
        m_journal.MessageStatus(texte);
    vues.insert(brut, cle);
}

ListesEchange::Liste& ListesEchange::ListeDe(const QByteArray& brut)
{
    return SorteDuNom(brut) == Sorte::Commande ? m_cd : m_rt;
}

void ListesEchange::Insere(Liste& liste, const QString& nom)
{
    const auto it = std::lower_bound(liste.trie.begin(), liste.trie.end(), nom, AvantDansLaListe);
    if (it != liste.trie.end() && *it == nom)
        return;
    liste.trie.insert(it, nom);
    liste.changee = true;
}

bool ListesEchange::Retire(Liste& liste, const QString& nom)
{
    const auto it = std::lower_bound(liste.trie.begin(), liste.trie.end(), nom, AvantDansLaListe);
    if (it == liste.trie.end() || *it != nom)
        return false;
    liste.trie.erase(it);
    liste.changee = true;
    return true;
}

void ListesEchange::CommandeEntree(const QString& nom)
{
    const auto it = m_remises.find(nom);
    if (it != m_remises.end() && it->partie && !it->revenue) {
        it->revenue = true;
        it->retour = m_horloge.get_exact_milli_second();
    }
}

void ListesEchange::CommandeSortie(const QString& nom)
{
    // Un fichier écarté qui a quitté le dossier n'est plus écarté : un nouveau
    // fichier du même nom est une nouvelle commande. Son relevé part avec lui.
    m_ecartes.remove(nom);
    m_pretes.OublieNom(nom);
    const auto it = m_remises.find(nom);
    if (it != m_remises.end())
        it->partie = true;
}

void ListesEchange::OublieRemisesAnciennes(qint64 maintenant)
{
    // Bornée : une entrée par commande lue ces dernières secondes ; un nom
    // revenu mais jamais relu est oublié une minute après son retour.
    m_remises.removeIf([&](const auto& it) {
        const Remise& r = it.value();
        return r.revenue ? maintenant - r.retour > 60000 : maintenant - r.heure > DelaiRetourMs;
    });
}

void ListesEchange::Reconstruit()
{
    const QString& dossier = m_configuration.DossierEchange;
    QStringList commandes;
    QStringList retours;
    commandes.reserve(m_cd.trie.size());
    retours.reserve(m_rt.trie.size());
    QSet<QByteArray> bruts;
    int horsUtf8 = 0;
    QHash<QByteArray, QString> vues;
    const auto garde = [&](const QByteArray& brut) {
        if (SorteDuNom(brut) == Sorte::Autre)
            return false;
        bruts.insert(brut);
        return true;
    };
    const auto rend = [&](const EntreeDossier& e) {
        if (!e.genre.isEmpty()) {
            SignaleIgnoree(vues, e.brut, e.genre,
                           QStringLiteral("fichier ignoré (") + e.genre
                               + QStringLiteral(", pas un fichier ordinaire) : ") + CheminAffiche(dossier + e.nom));
            return;
        }
        if (e.horsUtf8) {
            ++horsUtf8;
            // Montré et lancé sous son nom lu en Windows-1252, sauf si ce nom
            // existe déjà en UTF-8 : on ne saurait plus lequel des deux ouvrir.
            SignaleIgnoree(vues, e.brut, QStringLiteral("nom|") + QString::number(e.homonyme),
                           QStringLiteral("nom de fichier hors UTF-8 : ") + CheminAffiche(dossier)
                               + OctetsLisibles(e.brut)
                               + (e.homonyme ? QStringLiteral(", homonyme de ") + e.nom
                                          + QStringLiteral(" : il n'est pas pris, renommez-le")
                                             : QStringLiteral(", lu en Windows-1252 : ") + e.nom));
            if (e.homonyme)
                return;
        }
        (SorteDuNom(e.brut) == Sorte::Commande ? commandes : retours).append(e.nom);
    };
    QString raison;
    const bool lu = SystemeFichiers::LitDossier(dossier, garde, rend, &raison);
    SignaleAccesDossier(lu, raison);
    m_ignorees = std::move(vues);
    m_bruts = lu ? std::move(bruts) : QSet<QByteArray>();
    m_empreinte = 0;
    for (const QByteArray& brut : std::as_const(m_bruts))
        m_empreinte += EmpreinteNom(brut);
    m_horsUtf8 = horsUtf8;

    const auto remplace = [](Liste& liste, QStringList nouvelle) {
        std::sort(nouvelle.begin(), nouvelle.end(), AvantDansLaListe);
        if (nouvelle == liste.trie)
            return;
        liste.trie = std::move(nouvelle);
        liste.changee = true;
    };
    const QStringList avant = m_cd.trie;
    remplace(m_cd, std::move(commandes));
    remplace(m_rt, std::move(retours));
    if (avant == m_cd.trie)
        return;
    const QSet<QString> presents(m_cd.trie.cbegin(), m_cd.trie.cend());
    const QSet<QString> anciens(avant.cbegin(), avant.cend());
    for (const QString& nom : anciens)
        if (!presents.contains(nom))
            CommandeSortie(nom);
    for (const QString& nom : presents)
        if (!anciens.contains(nom))
            CommandeEntree(nom);
    m_ecartes.removeIf([&](const auto& it) { return !presents.contains(it.key()); });
    m_pretes.Oublie(presents);
}

void ListesEchange::Releve()
{
    qsizetype nombre = 0;
    quint64 empreinte = 0;
    QString raison;
    const bool lu = SystemeFichiers::ParcourtNoms(
        m_configuration.DossierEchange,
        [&](QByteArrayView brut) {
            if (SorteDuNom(brut) == Sorte::Autre)
                return;
            ++nombre;
            empreinte += EmpreinteNom(brut);
        },
        &raison);
    // Dossier lu, même nombre de noms et même empreinte qu'au dernier relevé
    // tenu à jour : rien à copier, décoder ni trier. Un relevé sur des
    // milliers de fichiers en attente ne coûte que la lecture des noms.
    if (lu && m_dossierAccessible && nombre == m_bruts.size() && empreinte == m_empreinte)
        return;
    Reconstruit();
}

void ListesEchange::AppliqueMouvement(const VeilleDossier::Mouvement& mouvement)
{
    const QString nom = NomDecode(mouvement.brut);
    // Un nom hors UTF-8 (ou à côté d'un tel nom) peut en cacher un autre :
    // la lecture complète en décide.
    if (m_horsUtf8 > 0 || QFile::encodeName(nom) != mouvement.brut) {
        m_aRelire = true;
        return;
    }
    Liste& liste = ListeDe(mouvement.brut);
    const bool commande = &liste == &m_cd;
    if (!mouvement.entre) {
        if (m_bruts.remove(mouvement.brut))
            m_empreinte -= EmpreinteNom(mouvement.brut);
        m_ignorees.remove(mouvement.brut);
        if (Retire(liste, nom) && commande)
            CommandeSortie(nom);
        return;
    }
    const QString chemin = m_configuration.DossierEchange + nom;
    if (!Existe(chemin))
        return; // déjà reparti : sa sortie suit
    if (!m_bruts.contains(mouvement.brut)) {
        m_bruts.insert(mouvement.brut);
        m_empreinte += EmpreinteNom(mouvement.brut);
    }
    const QString genre = GenreEntree(chemin);
    if (!genre.isEmpty()) {
        SignaleIgnoree(m_ignorees, mouvement.brut, genre,
                       QStringLiteral("fichier ignoré (") + genre + QStringLiteral(", pas un fichier ordinaire) : ")
                           + CheminAffiche(chemin));
        if (Retire(liste, nom) && commande)
            CommandeSortie(nom);
        return;
    }
    m_ignorees.remove(mouvement.brut);
    const qsizetype avant = liste.trie.size();
    Insere(liste, nom);
    if (commande && liste.trie.size() != avant)
        CommandeEntree(nom);
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

void ListesEchange::SuitVeille(qint64 maintenant, bool filet)
{
    if (m_veille.Active()) {
        m_veille.Lit();
        // Lien redirigé, montage par-dessus : le chemin mène à un autre
        // dossier, dont la veille ne dit rien.
        if (m_veille.Active() && filet && !m_veille.MemeDossier(m_configuration.DossierEchange))
            m_veille.Abandonne();
        if (m_veille.Active())
            return;
    }
    if (m_veillePosee) {
        // Perdue à l'instant : une ligne, et un nouvel essai tout de suite
        // (le dossier est peut-être déjà revenu).
        m_veillePosee = false;
        m_veillePerdue = true;
        m_essaiVeille = false;
        m_journal.MessageStatus(QStringLiteral("veille du dossier d'echange perdue (dossier efface, deplace ou remplace) : ")
                                + m_configuration.DossierEchange);
        if (m_dossierAccessible)
            emit etatDossierChange(EtatDossierSansVeille, QString());
    }
    // Sans veille le dossier est relu à chaque passe : l'essai de pose a son
    // propre rythme, celui du filet.
    if (m_essaiVeille && maintenant - m_dernierEssaiVeille < IntervalleFiletMs)
        return;
    m_essaiVeille = true;
    m_dernierEssaiVeille = maintenant;
    PoseVeille();
    if (!m_veille.Active())
        return;
    m_veillePosee = true;
    if (m_veillePerdue) {
        m_veillePerdue = false;
        m_journal.MessageStatus(QStringLiteral("veille du dossier d'echange retablie : ") + m_configuration.DossierEchange);
    }
}

void ListesEchange::Actualise()
{
    const qint64 maintenant = m_horloge.get_exact_milli_second();
    const bool filet = m_derniereLecture == 0 || maintenant - m_derniereLecture >= IntervalleFiletMs;
    SuitVeille(maintenant, filet);
    OublieRemisesAnciennes(maintenant);
    // Les mouvements d'abord, même au filet : le relevé se compare alors à un
    // état à jour et ne reconstruit rien pour une commande arrivée à l'instant.
    if (m_veille.Active() && !m_veille.PrendChangement() && !m_aRelire) {
        for (const VeilleDossier::Mouvement& m : m_veille.PrendMouvements())
            AppliqueMouvement(m);
        if (!filet && !m_aRelire)
            return;
    }
    // Les mouvements lus jusqu'ici sont dans le relevé ; ceux qui suivent
    // s'appliquent sans dommage à un nom déjà là ou déjà parti.
    m_veille.PrendChangement();
    m_veille.PrendMouvements();
    m_aRelire = false;
    Releve();
    m_derniereLecture = maintenant;
}

void ListesEchange::MAJlisteFichierCD()
{
    Actualise();
    m_retoursFrais = true;
    if (m_cd.changee) {
        m_cd.changee = false;
        emit listeCDChangee(m_cd.trie);
    }
    const int apres = int(m_cd.trie.size());
    if (apres != m_nombreCD && m_aux)
        m_aux(QStringLiteral("8"), apres == 0 ? QStringLiteral("OFF") : QStringLiteral("ON"));
    m_nombreCD = apres;
}

void ListesEchange::MAJlisteFichierRT()
{
    // D'ordinaire actualisées par la relecture des commandes.
    if (!m_retoursFrais)
        Actualise();
    m_retoursFrais = false;
    if (m_rt.changee) {
        m_rt.changee = false;
        emit listeRTChangee(m_rt.trie);
    }
}

QString ListesEchange::RechFichierCdeEnAttente(const QSet<QString>& aEviter)
{
    m_veille.Lit(); // les derniers signes avant de décider
    int releves = 0;
    int examens = 0;
    for (const QString& nom : std::as_const(m_cd.trie)) {
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
    const QString nom = NomDuChemin(cheminComplet);
    if (!m_pretes.Confirme(nom, etat, toutLu)) {
        contenu->clear();
        return Lecture::EnCours;
    }
    // Lue pour être remise. Si ce nom a déjà été remis il y a peu, qu'il a
    // quitté le dossier et qu'il y est revenu, le comptoir l'a écrit en deux
    // fois (fermée puis rouverte plus d'une demi-seconde après) : la suite part
    // seule, sans en-tête. Aucune règle de temps ne l'évite ; une ligne le dit.
    const qint64 maintenant = m_horloge.get_exact_milli_second();
    const auto it = m_remises.constFind(nom);
    if (it != m_remises.constEnd() && it->revenue && it->retour - it->heure <= DelaiRetourMs)
        m_journal.MessageStatus(QStringLiteral("commande ecrite en deux fois : ") + CheminAffiche(cheminComplet)
                                + QStringLiteral(" est revenue avec un nouveau contenu moins de 10 s apres sa remise, "
                                                 "cette suite part comme une autre commande ; le comptoir doit "
                                                 "ecrire sous un autre nom puis renommer"));
    m_remises.insert(nom, { maintenant, false, false, 0 });
    return Lecture::Lue;
}

void ListesEchange::EcarteFichierCde(const QString& cheminComplet)
{
    const QString& dossier = m_configuration.DossierEchange;
    const QString nom = cheminComplet.startsWith(dossier) ? cheminComplet.mid(dossier.size())
                                                          : NomDuChemin(cheminComplet);
    m_ecartes.insert(nom, EtatDe(dossier + nom));
}
