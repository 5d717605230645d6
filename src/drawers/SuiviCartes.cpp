#include "SuiviCartes.h"

namespace {
// Au plus un échange par délai dépassé et l'horizon de 10 s : quelques dizaines de
// réponses dues au pire. La borne ne sert que contre une erreur de compte.
constexpr qsizetype DuesMax = 64;
} // namespace

SuiviCartes::SuiviCartes()
{
    m_chrono.start();
}

bool SuiviCartes::EstLectureG(const QByteArray& charge)
{
    return charge.size() == 2 && (charge.at(0) == '0' || charge.at(0) == '1')
        && (charge.at(1) == '0' || charge.at(1) == '1');
}

void SuiviCartes::NoteVersion(const QByteArray& adresse, const QByteArray& version)
{
    Carte& carte = m_cartes[adresse];
    if (carte.version.isEmpty() && !EstLectureG(version))
        carte.version = version;
}

bool SuiviCartes::EstVersionDe(const QByteArray& adresse, const QByteArray& charge) const
{
    const QByteArray connue = Version(adresse);
    return connue.isEmpty() ? !EstLectureG(charge) : charge == connue;
}

bool SuiviCartes::EstVersionConnue(const QByteArray& charge) const
{
    for (const Carte& carte : m_cartes)
        if (!carte.version.isEmpty() && carte.version == charge)
            return true;
    return false;
}

void SuiviCartes::OublieEchues()
{
    const qint64 maintenant = m_chrono.elapsed();
    m_dues.removeIf([maintenant](const Due& due) { return due.finMs <= maintenant; });
}

void SuiviCartes::ReponseDue(const QByteArray& corps)
{
    OublieEchues();
    if (m_dues.size() >= DuesMax)
        m_dues.removeFirst();
    m_dues.append(Due{ corps.mid(1, 2), corps.startsWith('G'), m_chrono.elapsed() + HorizonMs });
}

void SuiviCartes::LigneJetee(const QByteArray& charge)
{
    OublieEchues();
    const bool lecture = EstLectureG(charge);
    for (qsizetype i = 0; i < m_dues.size(); ++i) {
        if (m_dues.at(i).lecture == lecture) {
            m_dues.removeAt(i);
            return;
        }
    }
}

bool SuiviCartes::DoitReponse()
{
    OublieEchues();
    return !m_dues.isEmpty();
}

bool SuiviCartes::CarteDoit(const QByteArray& adresse)
{
    OublieEchues();
    for (const Due& due : m_dues)
        if (due.adresse == adresse)
            return true;
    return false;
}

bool SuiviCartes::MetEnRetard(const QByteArray& adresse)
{
    Carte& carte = m_cartes[adresse];
    if (carte.enRetard)
        return false;
    carte.enRetard = true;
    // La première resynchronisation part au passage suivant.
    carte.prochaineResynchroMs = m_chrono.elapsed();
    return true;
}

bool SuiviCartes::ResynchroDue(const QByteArray& adresse) const
{
    return m_chrono.elapsed() >= m_cartes.value(adresse).prochaineResynchroMs;
}

void SuiviCartes::ResynchroManquee(const QByteArray& adresse)
{
    m_cartes[adresse].prochaineResynchroMs = m_chrono.elapsed() + IntervalleResynchroMs;
}

void SuiviCartes::Rattrape(const QByteArray& adresse)
{
    m_cartes[adresse].enRetard = false;
}
