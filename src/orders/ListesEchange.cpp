#include "ListesEchange.h"

#include "app/Horloge.h"
#include "app/JournalStatut.h"
#include "config/Configuration.h"

#include <QDirIterator>
#include <QFileInfo>
#include <algorithm>

namespace {

// Ordre des listes : par nom sans égard à la casse ; deux noms qui ne diffèrent
// que par la casse (possible hors Windows) gardent un ordre fixe.
bool AvantDansLaListe(const QString& a, const QString& b)
{
    const int c = a.compare(b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
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

void ListesEchange::LitDossier(QStringList* commandes, QStringList* retours)
{
    const QString& dossier = m_configuration.DossierEchange;
    SignaleAccesDossier(QFileInfo(dossier).isDir());

    // Fichiers ordinaires seulement : ni dossiers, ni fichiers cachés ou système.
    // Les motifs se comparent sans égard à la casse (pas de QDir::CaseSensitive).
    commandes->reserve(m_releveCD.ordreDossier.size());
    QDirIterator it(dossier, QStringList{ QStringLiteral("CD*.txt"), QStringLiteral("RT*.txt") },
                    QDir::Files | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QString nom = it.fileName();
        // Les deux motifs s'excluent : les deux premières lettres les séparent.
        if (nom.startsWith(QLatin1String("CD"), Qt::CaseInsensitive))
            commandes->append(nom);
        else
            retours->append(nom);
    }
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
        // nouveau fichier du même nom est une nouvelle commande.
        for (auto it = m_ecartes.begin(); it != m_ecartes.end();) {
            if (m_releveCD.trie.contains(it.key()))
                ++it;
            else
                it = m_ecartes.erase(it);
        }
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

ListesEchange::Empreinte ListesEchange::EmpreinteDe(const QString& chemin)
{
    const QFileInfo info(chemin);
    return { info.exists() ? info.size() : -1, info.lastModified() };
}

QString ListesEchange::RechFichierCdeEnAttente(const QSet<QString>& aEviter)
{
    QString repli;
    for (const QString& nom : std::as_const(m_releveCD.trie)) {
        const QString chemin = m_configuration.DossierEchange + nom;
        const auto ecart = m_ecartes.constFind(nom);
        if (ecart != m_ecartes.constEnd()) {
            // Seuls les fichiers écartés sont relus (rares) : la passe reste légère.
            if (EmpreinteDe(chemin) == ecart.value())
                continue;
            m_ecartes.erase(ecart);
        }
        if (!aEviter.contains(chemin))
            return chemin;
        if (repli.isEmpty())
            repli = chemin;
    }
    return repli;
}

void ListesEchange::EcarteFichierCde(const QString& cheminComplet)
{
    const QString& dossier = m_configuration.DossierEchange;
    const QString nom = cheminComplet.startsWith(dossier) ? cheminComplet.mid(dossier.size())
                                                          : QFileInfo(cheminComplet).fileName();
    m_ecartes.insert(nom, EmpreinteDe(dossier + nom));
}
