#include "FiltreSortiesAux.h"

#include <QRegularExpression>

bool FiltreSortiesAux::AMontrer(const QString& ligne)
{
    // Le résumé d'une rafale de sorties redites (ResumeRepetitions) ne dit rien de
    // plus qu'elles : il suit la règle de sa dernière ligne.
    static const QString resume = QStringLiteral("(message semblable répété ");
    static const QString dernier = QStringLiteral(", dernier : ");
    if (ligne.startsWith(resume) && ligne.endsWith(QLatin1Char(')'))) {
        const qsizetype debut = ligne.indexOf(dernier);
        if (debut > 0) {
            const QString texte = ligne.mid(debut + dernier.size(), ligne.size() - debut - dernier.size() - 1);
            if (texte.startsWith(QLatin1String("Aux")))
                return AMontrer(texte);
        }
        return true;
    }
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
