#include "HistoriqueRemises.h"

#include <QDateTime>
#include <QStringList>

namespace HistoriqueRemises {

namespace {

QString ChampCsv(QString champ)
{
    if (!champ.contains(QLatin1Char(';')) && !champ.contains(QLatin1Char('"')) && !champ.contains(QLatin1Char('\n'))
        && !champ.contains(QLatin1Char('\r')))
        return champ;
    champ.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + champ + QLatin1Char('"');
}

QString LiberationLisible(RegistreRemises::Liberation cause)
{
    using L = RegistreRemises::Liberation;
    switch (cause) {
    case L::Datagramme: return QStringLiteral("fin de convoyage");
    case L::Temps: return QStringLiteral("temps dépassé");
    case L::Clic: return QStringLiteral("clic");
    case L::Tous: return QStringLiteral("tous les tiroirs");
    case L::Aucune: break;
    }
    return QString();
}

QString EtatLisible(const QString& etat)
{
    if (etat == QLatin1String("en_remise"))
        return QStringLiteral("remise interrompue");
    if (etat == QLatin1String("mise_de_cote"))
        return QStringLiteral("mise de côté");
    if (etat == QLatin1String("remise"))
        return QStringLiteral("remise, fichier non effacé");
    return QStringLiteral("remise");
}

} // namespace

QString Heure(qint64 msDepuisEpoque)
{
    if (msDepuisEpoque <= 0)
        return QString();
    return QDateTime::fromMSecsSinceEpoch(msDepuisEpoque).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

QByteArray Csv(const QList<LecteurHistorique::Ligne>& lignes)
{
    QString texte = QStringLiteral("fichier;ordre;tiroir;vue_le;remise_le;effacee_le;liberee_le;liberation\n");
    for (const auto& l : lignes) {
        const QStringList champs = { ChampCsv(l.fichier),
                                     ChampCsv(l.ordre),
                                     l.tiroir > 0 ? QString::number(l.tiroir) : QString(),
                                     Heure(l.vueLe),
                                     Heure(l.remiseLe),
                                     Heure(l.effaceeLe),
                                     Heure(l.libereeLe),
                                     RegistreRemises::NomLiberation(l.liberation) };
        texte += champs.join(QLatin1Char(';')) + QLatin1Char('\n');
    }
    return texte.toUtf8();
}

QByteArray Tableau(const QList<LecteurHistorique::Ligne>& lignes)
{
    QList<QStringList> table;
    table.append({ QStringLiteral("Fichier"), QStringLiteral("Ordre"), QStringLiteral("Tiroir"),
                   QStringLiteral("Vue le"), QStringLiteral("Remise le"), QStringLiteral("Effacée le"),
                   QStringLiteral("Libérée le"), QStringLiteral("Libération"), QStringLiteral("État") });
    for (const auto& l : lignes) {
        // Un nom de fichier ne casse pas le tableau : ses fins de ligne sont montrées.
        QString fichier = l.fichier;
        fichier.replace(QLatin1Char('\r'), QStringLiteral("␍")).replace(QLatin1Char('\n'), QStringLiteral("␊"));
        table.append({ fichier, l.ordre, l.tiroir > 0 ? QString::number(l.tiroir) : QString(), Heure(l.vueLe),
                       Heure(l.remiseLe), Heure(l.effaceeLe), Heure(l.libereeLe), LiberationLisible(l.liberation),
                       EtatLisible(l.etat) });
    }
    QList<int> largeurs(table.first().size(), 0);
    for (const QStringList& ligne : std::as_const(table))
        for (int i = 0; i < ligne.size(); ++i)
            largeurs[i] = qMax(largeurs[i], int(ligne[i].size()));
    QString texte;
    for (const QStringList& ligne : std::as_const(table)) {
        QString rangee;
        for (int i = 0; i < ligne.size(); ++i)
            rangee += i + 1 < ligne.size() ? ligne[i].leftJustified(largeurs[i] + 2) : ligne[i];
        texte += rangee.trimmed() + QLatin1Char('\n');
    }
    if (lignes.isEmpty())
        texte += QStringLiteral("(aucune commande remise)\n");
    else
        texte += QStringLiteral("%1 commande(s)\n").arg(lignes.size());
    return texte.toUtf8();
}

} // namespace HistoriqueRemises
