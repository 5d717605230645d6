#include "ResumeRepetitions.h"

namespace {
// Le dernier texte tu, montré dans le résumé, est coupé à cette longueur.
constexpr int ExtraitMax = 120;
} // namespace

QString ResumeRepetitions::GenreDuTexte(const QString& texte)
{
    QString genre;
    genre.reserve(texte.size());
    bool dansChiffres = false;
    for (const QChar c : texte) {
        const bool chiffre = c >= QLatin1Char('0') && c <= QLatin1Char('9');
        if (chiffre && !dansChiffres)
            genre += QLatin1Char('#');
        else if (!chiffre)
            genre += c;
        dansChiffres = chiffre;
    }
    return genre;
}

QString ResumeRepetitions::Resume(const Fenetre& f)
{
    const qint64 duree = f.derniereTueMs - f.premiereTueMs;
    QString extrait = f.derniereTue.left(ExtraitMax);
    if (f.derniereTue.size() > ExtraitMax)
        extrait += QStringLiteral(" ...");
    return QStringLiteral("(message semblable répété %1 fois en %2,%3 s, dernier : %4)")
        .arg(f.tues)
        .arg(duree / 1000)
        .arg(duree % 1000, 3, 10, QLatin1Char('0'))
        .arg(extrait);
}

QStringList ResumeRepetitions::Filtre(const QString& texte, const QString& genre, qint64 maintenantMs)
{
    const QString cle = genre.isEmpty() ? GenreDuTexte(texte) : genre;
    QStringList sortie;
    auto trouvee = m_fenetres.find(cle);
    if (trouvee != m_fenetres.end() && maintenantMs - trouvee->debutMs < FenetreMs) {
        if (trouvee->montrees < LignesParFenetre) {
            ++trouvee->montrees;
            return { texte };
        }
        if (trouvee->tues == 0)
            trouvee->premiereTueMs = maintenantMs;
        ++trouvee->tues;
        trouvee->derniereTueMs = maintenantMs;
        trouvee->derniereTue = texte;
        return {};
    }
    if (trouvee != m_fenetres.end()) {
        if (trouvee->tues > 0)
            sortie << Resume(*trouvee);
        *trouvee = Fenetre();
        trouvee->debutMs = maintenantMs;
        trouvee->montrees = 1;
    } else {
        if (m_fenetres.size() >= GenresMax)
            sortie << Echues(maintenantMs);
        if (m_fenetres.size() < GenresMax) {
            Fenetre& neuve = m_fenetres[cle];
            neuve.debutMs = maintenantMs;
            neuve.montrees = 1;
        }
    }
    sortie << texte;
    return sortie;
}

QStringList ResumeRepetitions::Echues(qint64 maintenantMs)
{
    QStringList resumes;
    for (auto it = m_fenetres.begin(); it != m_fenetres.end();) {
        if (maintenantMs - it->debutMs < FenetreMs) {
            ++it;
            continue;
        }
        if (it->tues > 0)
            resumes << Resume(*it);
        it = m_fenetres.erase(it);
    }
    return resumes;
}

bool ResumeRepetitions::ResumeEnAttente() const
{
    for (const Fenetre& f : m_fenetres) {
        if (f.tues > 0)
            return true;
    }
    return false;
}
