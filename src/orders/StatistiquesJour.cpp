#include "StatistiquesJour.h"

#include <QDateTime>
#include <algorithm>
#include <cmath>

namespace {

bool EstRemise(const RemiseRegistre& l)
{
    return l.etat == QLatin1String("remise") || l.etat == QLatin1String("effacee");
}

int HeureDe(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).time().hour();
}

int IndiceCause(TableauTiroirs::CauseLiberation cause)
{
    const auto& causes = StatistiquesJour::Causes;
    const auto it = std::find(causes.begin(), causes.end(), cause);
    return it == causes.end() ? -1 : int(it - causes.begin());
}

} // namespace

QDate StatistiquesJour::JourDe(const RemiseRegistre& ligne)
{
    return QDateTime::fromMSecsSinceEpoch(ligne.remiseLe > 0 ? ligne.remiseLe : ligne.debutLe).date();
}

QMap<QDate, QList<RemiseRegistre>> StatistiquesJour::ParJour(const QList<RemiseRegistre>& lignes)
{
    QMap<QDate, QList<RemiseRegistre>> jours;
    for (const RemiseRegistre& l : lignes)
        jours[JourDe(l)].append(l);
    return jours;
}

StatistiquesJour::Repartition StatistiquesJour::Repartit(QList<qint64> durees)
{
    Repartition r;
    r.nombre = int(durees.size());
    if (durees.isEmpty())
        return r;
    std::sort(durees.begin(), durees.end());
    const qsizetype n = durees.size();
    r.medianeMs = n % 2 ? durees.at(n / 2) : (durees.at(n / 2 - 1) + durees.at(n / 2)) / 2;
    const qsizetype rang = qsizetype(std::ceil(0.95 * double(n)));
    r.centile95Ms = durees.at(std::clamp<qsizetype>(rang - 1, 0, n - 1));
    return r;
}

QString StatistiquesJour::NomCause(TableauTiroirs::CauseLiberation cause)
{
    using C = TableauTiroirs::CauseLiberation;
    switch (cause) {
    case C::Datagramme: return QStringLiteral("fin de convoyage");
    case C::Temps: return QStringLiteral("temps dépassé");
    case C::Clic: return QStringLiteral("clic");
    case C::Tous: return QStringLiteral("tous les tiroirs");
    case C::Aucune: break;
    }
    return QString();
}

StatistiquesJour StatistiquesJour::Calcule(const QDate& jour, const QList<RemiseRegistre>& lignes)
{
    StatistiquesJour s;
    s.jour = jour;
    QMap<int, QList<qint64>> liberations; // tiroir -> durées remise -> libération
    QMap<int, std::array<int, 4>> causes;
    QList<qint64> attentes;
    std::array<QList<qint64>, 24> attentesParHeure;
    for (const RemiseRegistre& l : lignes) {
        if (JourDe(l) != jour)
            continue;
        if (l.etat == QLatin1String("mise_de_cote")) {
            ++s.misesDeCote;
            continue;
        }
        if (!EstRemise(l)) {
            ++s.interrompues;
            continue;
        }
        ++s.remises;
        const int heure = HeureDe(l.remiseLe > 0 ? l.remiseLe : l.debutLe);
        ++s.remisesParHeure[size_t(heure)];
        causes[l.tiroir]; // le tiroir figure même sans libération connue
        liberations[l.tiroir];
        if (l.remiseLe > 0 && l.libereeLe >= l.remiseLe)
            liberations[l.tiroir].append(l.libereeLe - l.remiseLe);
        const int cause = IndiceCause(l.liberation);
        if (cause >= 0)
            ++causes[l.tiroir][size_t(cause)];
        if (l.vueLe > 0 && l.remiseLe >= l.vueLe) {
            const qint64 duree = l.remiseLe - l.vueLe;
            attentes.append(duree);
            attentesParHeure[size_t(heure)].append(duree);
            s.plusLonguesAttentes.append({ l.ordre, l.fichier, l.remiseLe, duree });
        }
    }
    for (int h = 0; h < 24; ++h) {
        if (s.remisesParHeure[size_t(h)] > 0
            && (s.heureChargee < 0 || s.remisesParHeure[size_t(h)] > s.remisesParHeure[size_t(s.heureChargee)]))
            s.heureChargee = h;
        s.attenteParHeure[size_t(h)] = Repartit(attentesParHeure[size_t(h)]);
    }
    for (auto it = causes.cbegin(); it != causes.cend(); ++it)
        s.tiroirs.append({ it.key(), Repartit(liberations.value(it.key())), it.value() });
    s.attente = Repartit(attentes);
    std::stable_sort(s.plusLonguesAttentes.begin(), s.plusLonguesAttentes.end(),
                     [](const Attente& a, const Attente& b) {
                         return a.dureeMs != b.dureeMs ? a.dureeMs > b.dureeMs : a.remiseLe < b.remiseLe;
                     });
    if (s.plusLonguesAttentes.size() > NbPlusLongues)
        s.plusLonguesAttentes.resize(NbPlusLongues);
    return s;
}
