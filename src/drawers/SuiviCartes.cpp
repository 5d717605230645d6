#include "SuiviCartes.h"

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

void SuiviCartes::LectureGSansReponse()
{
    // Passé l'horizon, les anciennes réponses ne sont plus attendues.
    if (m_chrono.elapsed() >= m_finAttenteMs)
        m_lecturesEnRoute = 0;
    ++m_lecturesEnRoute;
    m_finAttenteMs = m_chrono.elapsed() + HorizonMs;
}

void SuiviCartes::LectureGJetee()
{
    if (m_lecturesEnRoute > 0)
        --m_lecturesEnRoute;
}

bool SuiviCartes::AttendLectureG() const
{
    return m_lecturesEnRoute > 0 && m_chrono.elapsed() < m_finAttenteMs;
}
