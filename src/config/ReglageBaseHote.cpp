#include "ReglageBaseHote.h"

#include <QSettings>

QString LitBaseFicDefaut()
{
    QSettings reglages(QSettings::NativeFormat, QSettings::UserScope,
                       QStringLiteral("VB and VBA Program Settings"), QStringLiteral("VBtrevix"));
    // Sous Linux, le format INI de Qt écrit la section "GENERAL" sous la forme
    // [%General], la relit comme "General/..." et prend une section [GENERAL] écrite
    // à la main pour le niveau supérieur ; les clés y sont sensibles à la casse.
    // On cherche donc la clé sans égard à la casse, d'abord dans la section, puis
    // au niveau supérieur.
    const QStringList cles = reglages.allKeys();
    for (const QString& cle : cles)
        if (cle.compare(QLatin1String("GENERAL/BaseFicDefaut"), Qt::CaseInsensitive) == 0)
            return reglages.value(cle).toString();
    for (const QString& cle : cles)
        if (cle.compare(QLatin1String("BaseFicDefaut"), Qt::CaseInsensitive) == 0)
            return reglages.value(cle).toString();
    return QString();
}
