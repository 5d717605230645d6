#include "cdapi/ResumeTracesCdapi.h"

#include "cdapi/CatalogueCdapi.h"
#include "cdapi/TraceCdapi.h"

void ResumeTracesCdapi::OuvrePeriodeSiEchue(qint64 maintenantMs)
{
    if (m_periodeOuverte && maintenantMs - m_debutPeriodeMs < PeriodeMs)
        return;
    m_periodeOuverte = true;
    m_debutPeriodeMs = maintenantMs;
    m_consommes = 0;
}

ResumeTracesCdapi::Decision ResumeTracesCdapi::Decide(const QByteArray& message, qint64 maintenantMs)
{
    for (Suivi& s : m_suivis) {
        if (s.message != message)
            continue;
        if (maintenantMs - s.dernierMs >= EcartRepetitionMs)
            break; // la rafale est finie : ce message se trace de nouveau
        s.dernierMs = maintenantMs;
        if (s.comptes == 0)
            s.premierCompteMs = maintenantMs;
        ++s.comptes;
        s.dernierCompteMs = maintenantMs;
        return Decision::Repetition;
    }
    OuvrePeriodeSiEchue(maintenantMs);
    Suit(message, maintenantMs);
    if (m_consommes < BudgetCaracteres)
        return Decision::Tracer;
    if (m_horsBudget == 0) {
        m_premierHorsBudgetMs = maintenantMs;
        // Le compte est dit à la fin de sa période, même si une trace envoyée entre-temps
        // en ouvre une autre.
        m_finHorsBudgetMs = m_debutPeriodeMs + PeriodeMs;
    }
    ++m_horsBudget;
    m_dernierHorsBudgetMs = maintenantMs;
    return Decision::HorsBudget;
}

void ResumeTracesCdapi::Suit(const QByteArray& message, qint64 maintenantMs)
{
    for (Suivi& s : m_suivis) {
        if (s.message == message) {
            s.dernierMs = maintenantMs;
            return;
        }
    }
    if (m_suivis.size() >= MessagesSuivis) {
        // Place prise au suivi le plus ancien qui n'a plus rien à résumer ; sans
        // place, le message n'est pas suivi (il reste tracé ou compté au budget).
        qsizetype plusAncien = -1;
        for (qsizetype i = 0; i < m_suivis.size(); ++i) {
            if (m_suivis[i].comptes == 0
                && (plusAncien < 0 || m_suivis[i].dernierMs < m_suivis[plusAncien].dernierMs))
                plusAncien = i;
        }
        if (plusAncien < 0)
            return;
        m_suivis.removeAt(plusAncien);
    }
    Suivi s;
    s.message = message;
    s.dernierMs = maintenantMs;
    m_suivis.append(s);
}

void ResumeTracesCdapi::Compte(qsizetype caracteres, qint64 maintenantMs)
{
    OuvrePeriodeSiEchue(maintenantMs);
    m_consommes += caracteres;
}

QStringList ResumeTracesCdapi::Echus(qint64 maintenantMs)
{
    QStringList lignes;
    for (Suivi& s : m_suivis) {
        if (s.comptes == 0)
            continue;
        if (maintenantMs - s.dernierMs < EcartRepetitionMs && maintenantMs - s.premierCompteMs < PeriodeMs)
            continue;
        lignes << QStringLiteral("CDAPI : %1 reçu %2 fois de plus en %3 s, identique au dernier tracé "
                                 "(ni lui ni ses réponses ne sont retracés)")
                      .arg(Designation(s.message))
                      .arg(s.comptes)
                      .arg(Duree(s.dernierCompteMs - s.premierCompteMs));
        s.comptes = 0;
    }
    if (m_horsBudget > 0 && maintenantMs >= m_finHorsBudgetMs) {
        const bool un = m_horsBudget == 1;
        lignes << QStringLiteral("CDAPI : %1 en %2 s (flot trop rapide), %3 réponses non plus")
                      .arg(un ? QStringLiteral("1 message reçu non tracé")
                              : QStringLiteral("%1 messages reçus non tracés").arg(m_horsBudget),
                           Duree(m_dernierHorsBudgetMs - m_premierHorsBudgetMs),
                           un ? QStringLiteral("ses") : QStringLiteral("leurs"));
        m_horsBudget = 0;
    }
    return lignes;
}

bool ResumeTracesCdapi::ResumeEnAttente() const
{
    if (m_horsBudget > 0)
        return true;
    for (const Suivi& s : m_suivis)
        if (s.comptes > 0)
            return true;
    return false;
}

QString ResumeTracesCdapi::Duree(qint64 ms)
{
    return QStringLiteral("%1,%2").arg(ms / 1000).arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

QString ResumeTracesCdapi::Designation(const QByteArray& message)
{
    // Une demande d'éjection se reconnaît à son numéro de commande.
    if (message.startsWith('A'))
        return QStringLiteral("demande A n° ") + TexteVisible(LitChamp(message, MsgDemandeEjection::Cde));
    return QStringLiteral("message ") + TexteVisible(message.left(1)) + QStringLiteral(" de ")
           + QString::number(message.size()) + QStringLiteral(" octets");
}
