#include "CommandesPretes.h"

#include "VeilleDossier.h"
#include "base/CheminAffiche.h"
#include "base/Horloge.h"
#include "base/JournalStatut.h"

CommandesPretes::CommandesPretes(JournalStatut& journal, Horloge& horloge, VeilleDossier& veille)
    : m_journal(journal)
    , m_horloge(horloge)
    , m_veille(veille)
{
}

bool CommandesPretes::FinieSelonVeille(const QString& nom) const
{
    const VeilleDossier::Suivi* s = m_veille.SuiviDe(nom);
    if (!s)
        return false;
    switch (s->signe) {
    case VeilleDossier::Signe::Arrivee:
        return true;
    case VeilleDossier::Signe::Fermee:
        return m_horloge.get_exact_milli_second() - s->depuis >= DelaiApresFermetureMs;
    case VeilleDossier::Signe::Ecriture:
        break;
    }
    return false;
}

bool CommandesPretes::EstPrete(const QString& nom, const QString& chemin, bool* releve)
{
    *releve = false;
    if (const VeilleDossier::Suivi* s = m_veille.SuiviDe(nom)) {
        if (!FinieSelonVeille(nom))
            return false;
        const auto vide = m_vides.find(nom);
        if (vide != m_vides.end() && vide->numero == s->numero) {
            SignaleVide(*vide, chemin); // aucun signe depuis le relevé vide : toujours vide
            return false;
        }
        *releve = true;
        const EtatFichier etat = SystemeFichiers::EtatDe(chemin);
        if (AttendVide(nom, chemin, etat.taille, s->numero) || etat.taille < 0)
            return false;
        m_observations.insert(nom, { etat, m_horloge.get_exact_milli_second(), s->numero });
        return true;
    }
    *releve = true;
    const EtatFichier etat = SystemeFichiers::EtatDe(chemin);
    if (AttendVide(nom, chemin, etat.taille, 0))
        return false;
    return EstStable(nom, etat);
}

bool CommandesPretes::EstStable(const QString& nom, const EtatFichier& etat)
{
    const qint64 maintenant = m_horloge.get_exact_milli_second();
    const auto it = m_observations.constFind(nom);
    if (it == m_observations.constEnd() || it->numero != 0 || it->etat != etat) {
        // Première vue, ou changée depuis, ou dite prête par une veille perdue
        // depuis : un comptoir l'écrit peut-être encore. Une date ancienne ne
        // prouve rien (une copie garde celle de sa source).
        m_observations.insert(nom, { etat, maintenant, 0 });
        return false;
    }
    return etat.taille > 0 && maintenant - it->depuis >= DelaiStabiliteMs;
}

bool CommandesPretes::Confirme(const QString& nom, const EtatFichier& etat, bool toutLu)
{
    const auto it = m_observations.constFind(nom);
    const VeilleDossier::Suivi* s = m_veille.SuiviDe(nom);
    bool sure = false;
    if (s) // aucun signe de la veille depuis qu'elle l'a dite prête
        sure = toutLu && it != m_observations.constEnd() && it->numero == s->numero && FinieSelonVeille(nom);
    else // même taille et même date que le relevé qui l'a dite stable
        sure = it != m_observations.constEnd() && it->numero == 0 && it->etat == etat;
    sure = sure && etat.taille > 0;
    if (!sure && !s)
        m_observations.insert(nom, { etat, m_horloge.get_exact_milli_second(), 0 });
    return sure;
}

bool CommandesPretes::AttendVide(const QString& nom, const QString& chemin, qint64 taille, quint64 numero)
{
    if (taille != 0) {
        m_vides.remove(nom);
        return false;
    }
    auto it = m_vides.find(nom);
    if (it == m_vides.end())
        it = m_vides.insert(nom, { m_horloge.get_exact_milli_second(), numero, false });
    it->numero = numero;
    SignaleVide(*it, chemin);
    return true;
}

void CommandesPretes::SignaleVide(Vide& vide, const QString& chemin)
{
    if (vide.signale || m_horloge.get_exact_milli_second() - vide.depuis < DelaiVideMs)
        return;
    vide.signale = true;
    m_journal.MessageStatus(QStringLiteral("Le fichier ") + CheminAffiche(chemin)
                            + QStringLiteral(" est vide depuis une minute, il n'est pas lance"));
}

void CommandesPretes::Oublie(const QSet<QString>& presents)
{
    m_observations.removeIf([&](const auto& it) { return !presents.contains(it.key()); });
    m_vides.removeIf([&](const auto& it) { return !presents.contains(it.key()); });
}

void CommandesPretes::OublieNom(const QString& nom)
{
    m_observations.remove(nom);
    m_vides.remove(nom);
}
