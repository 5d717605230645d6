#include "CheminAffiche.h"

QString CheminAffiche(const QString& chemin, QChar separateur)
{
    if (separateur == QDir::separator())
        return QDir::toNativeSeparators(chemin);
    QString texte = chemin;
    if (separateur != QLatin1Char('/'))
        texte.replace(QLatin1Char('/'), separateur);
    return texte;
}
