#include "StatistiquesJour.h"

#include <QDateTime>
#include <QMap>
#include <algorithm>
#include <cmath>

namespace {

bool EstRemise(const RemiseRegistre& l)
{
    return l.etat == QLatin1String("remise") || l.etat == QLatin1String("effacee");
}

// Début de chaque heure locale du jour (et du lendemain en dernier) : une heure se
// trouve par comparaison, sans conversion en heure locale par ligne (chacune
// relit le fuseau du système, ce qui coûte cher sur 100 000 lignes).
std::array<qint64, 25> DebutsDesHeures(const QDate& jour)
{
    std::array<qint64, 25> debuts{};
    for (int h = 0; h < 24; ++h)
        debuts[size_t(h)] = QDateTime(jour, QTime(h, 0)).toMSecsSinceEpoch();
    debuts[24] = jour.addDays(1).startOfDay().toMSecsSinceEpoch();
    debuts[0] = jour.startOfDay().toMSecsSinceEpoch();
    return debuts;
}

int HeureDe(const std::array<qint64, 25>& debuts, qint64 ms)
{
    return int(std::upper_bound(debuts.begin(), debuts.end() - 1, ms) - debuts.begin()) - 1;
}

int IndiceCause(TableauTiroirs::CauseLiberation cause)
{
    const auto& causes = StatistiquesJour::Causes;
    const auto it = std::find(causes.begin(), causes.end(), cause);
    return it == causes.end() ? -1 : int(it - causes.begin());
}

} // namespace

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
    const std::array<qint64, 25> debuts = DebutsDesHeures(jour);
    for (const RemiseRegistre& l : lignes) {
        const qint64 quand = l.remiseLe > 0 ? l.remiseLe : l.debutLe;
        if (quand < debuts[0] || quand >= debuts[24])
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
        const int heure = HeureDe(debuts, quand);
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
    const qsizetype gardees = std::min<qsizetype>(NbPlusLongues, s.plusLonguesAttentes.size());
    std::partial_sort(s.plusLonguesAttentes.begin(), s.plusLonguesAttentes.begin() + gardees,
                      s.plusLonguesAttentes.end(),
                      [](const Attente& a, const Attente& b) {
                          if (a.dureeMs != b.dureeMs)
                              return a.dureeMs > b.dureeMs;
                          return a.remiseLe != b.remiseLe ? a.remiseLe < b.remiseLe : a.fichier < b.fichier;
                      });
    s.plusLonguesAttentes.resize(gardees);
    return s;
}
