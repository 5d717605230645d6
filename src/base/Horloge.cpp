#include "Horloge.h"

void Horloge::timePause(double Sleep_Temps_Seconde)
{
    const qint64 debut = get_exact_milli_second();
    const double fin = double(debut) + double(float(Sleep_Temps_Seconde)) * 1000.0;
    qint64 maintenant = 0;
    do {
        Cede();
        Dort(10);
        maintenant = get_exact_milli_second();
    } while (!(fin < double(maintenant)));
}

void Horloge::AttendEnCedant(int millisecondes)
{
    timePause(double(millisecondes) / 1000.0);
}
