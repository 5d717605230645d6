#include "FiltreSortiesAux.h"

#include <QRegularExpression>

bool FiltreSortiesAux::AMontrer(const QString& ligne)
{
    // Ces lignes commencent toutes par "Aux" ou "erreur (" : le reste passe sans
    // expression régulière.
    if (!ligne.startsWith(QLatin1String("Aux")) && !ligne.startsWith(QLatin1String("erreur (")))
        return true;
    static const QRegularExpression sortie(QStringLiteral("^Aux(\\d+): (\\S+) \\((\\S+)\\)$"));
    static const QRegularExpression echec(QStringLiteral("^erreur \\((\\S+)\\) Aux(\\d+) "));
    if (const auto m = sortie.match(ligne); m.hasMatch()) {
        const QString cle = m.captured(3) + QLatin1Char('/') + m.captured(1);
        const QString etat = m.captured(2).toUpper();
        auto connu = m_etats.find(cle);
        if (connu != m_etats.end() && *connu == etat)
            return false;
        m_etats.insert(cle, etat);
        return true;
    }
    // L'envoi a échoué : l'état de la sortie n'est plus sûr, la prochaine ligne passe.
    if (const auto m = echec.match(ligne); m.hasMatch())
        m_etats.remove(m.captured(1) + QLatin1Char('/') + m.captured(2));
    return true;
}
