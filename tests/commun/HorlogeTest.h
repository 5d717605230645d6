#pragma once

#include "base/Horloge.h"

// Horloge des tests : le temps n'avance que quand le test (ou une attente) le
// fait avancer ; Cede laisse tout de même passer les vrais événements, pour
// que les pairs réels (pseudo-terminal, sockets en boucle locale) répondent.
class HorlogeTest : public Horloge
{
public:
    explicit HorlogeTest(qint64 depart = 1000000) : m_maintenant(depart) {}

    qint64 get_exact_milli_second() override { return m_maintenant; }
    void Cede() override;

    void Avance(qint64 millisecondes) { m_maintenant += millisecondes; }
    void Regle(qint64 maintenant) { m_maintenant = maintenant; }
    int NombreCessions() const { return m_cessions; }

private:
    qint64 m_maintenant;
    int m_cessions = 0;
};
