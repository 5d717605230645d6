#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Volume des traces sous un hôte qui inonde la liaison : une grande demande "A"
// (99 lignes) et ses deux réponses font environ 15 Ko de journal ; à dix demandes
// par seconde, le journal prenait 6 à 7 Mo par minute. Règle pure (l'heure est
// donnée par l'appelant) : pour chaque message reçu, elle dit s'il est tracé en
// entier, avec ses réponses, ou seulement compté, et rend les lignes de résumé.
// - Un message reçu identique, octet pour octet, à un message reçu moins de
//   EcartRepetitionMs avant lui est une répétition : compté, résumé par son
//   numéro et son nombre à la fin de la rafale, et toutes les PeriodeMs tant
//   qu'elle dure.
// - Au-delà de BudgetCaracteres tracés en PeriodeMs (messages reçus et envoyés),
//   les messages reçus ne sont plus que comptés jusqu'à la période suivante, et
//   leur nombre est dit à la fin de la période.
// Un échange ordinaire (quelques demandes différentes par minute) reste entier.
class ResumeTracesCdapi
{
public:
    static constexpr qint64 EcartRepetitionMs = 2000;
    static constexpr qint64 PeriodeMs = 10000;
    // Environ quatre grands échanges (demande de 99 lignes et ses réponses) par
    // période : au plus 0,4 Mo de traces par minute, horodatage compris.
    static constexpr qsizetype BudgetCaracteres = 40000;
    // Messages différents suivis à la fois (mémoire bornée quoi que l'hôte envoie).
    static constexpr int MessagesSuivis = 32;

    enum class Decision { Tracer, Repetition, HorsBudget };

    // Décision pour un message reçu à maintenantMs. L'appelant écrit d'abord les
    // résumés échus (Echus) à ce même instant.
    Decision Decide(const QByteArray& message, qint64 maintenantMs);
    // Caractères tracés en entier, décomptés du budget de la période.
    void Compte(qsizetype caracteres, qint64 maintenantMs);
    // Lignes de résumé dues à maintenantMs (rafales finies, périodes échues).
    QStringList Echus(qint64 maintenantMs);
    bool ResumeEnAttente() const;

private:
    struct Suivi
    {
        QByteArray message;
        qint64 dernierMs = 0;   // dernière arrivée, tracée ou comptée
        int comptes = 0;        // répétitions pas encore résumées
        qint64 premierCompteMs = 0;
        qint64 dernierCompteMs = 0;
    };
    void OuvrePeriodeSiEchue(qint64 maintenantMs);
    void Suit(const QByteArray& message, qint64 maintenantMs);
    static QString Duree(qint64 ms);
    static QString Designation(const QByteArray& message);

    QList<Suivi> m_suivis;
    bool m_periodeOuverte = false;
    qint64 m_debutPeriodeMs = 0;
    qsizetype m_consommes = 0;
    int m_horsBudget = 0;
    qint64 m_premierHorsBudgetMs = 0;
    qint64 m_dernierHorsBudgetMs = 0;
    qint64 m_finHorsBudgetMs = 0;
};
