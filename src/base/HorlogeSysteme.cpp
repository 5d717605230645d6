#include "HorlogeSysteme.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QThread>

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

void HorlogeSysteme::Dort(int millisecondes)
{
    QThread::msleep(ulong(qMax(0, millisecondes)));
}

void HorlogeSysteme::AttendEnCedant(int millisecondes)
{
    // Boucle imbriquée réveillée par une minuterie : elle ne pilote rien, elle
    // rend seulement la main à la boucle de traitement une fois le délai passé.
    QEventLoop boucle;
    QTimer::singleShot(qMax(0, millisecondes), Qt::PreciseTimer, &boucle, &QEventLoop::quit);
    boucle.exec();
}
