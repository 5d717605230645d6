#include "TraductionQt.h"

#include <QCoreApplication>
#include <QTranslator>

bool ChargeTraductionQt(QCoreApplication& application)
{
    // Le catalogue vit dans une bibliothèque statique : il faut enregistrer la ressource.
    Q_INIT_RESOURCE(traductions);
    auto* traduction = new QTranslator(&application);
    if (!traduction->load(QStringLiteral(":/traductions/qtbase_fr.qm"))) {
        delete traduction;
        return false;
    }
    return QCoreApplication::installTranslator(traduction);
}
