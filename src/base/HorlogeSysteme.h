#pragma once

#include "base/Horloge.h"

// Horloge réelle : horloge monotone du système et boucle d'événements de Qt.
class HorlogeSysteme : public Horloge
{
public:
    qint64 get_exact_milli_second() override;
    void Cede() override;
};
