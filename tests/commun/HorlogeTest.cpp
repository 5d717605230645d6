#include "HorlogeTest.h"

#include <QCoreApplication>

void HorlogeTest::Cede()
{
    ++m_cessions;
    QCoreApplication::processEvents();
}

void HorlogeTest::Dort(int millisecondes)
{
    m_maintenant += millisecondes;
    QCoreApplication::processEvents();
}
