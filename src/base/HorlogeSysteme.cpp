#include "HorlogeSysteme.h"

#include <QCoreApplication>
#include <QElapsedTimer>

qint64 HorlogeSysteme::get_exact_milli_second()
{
    QElapsedTimer minuterie;
    minuterie.start();
    // Référence monotone (démarrage du système sous Linux) ; jamais 0.
    return qMax<qint64>(1, minuterie.msecsSinceReference());
}

void HorlogeSysteme::Cede()
{
    QCoreApplication::processEvents();
}
