#include "HorlogeTest.h"

#include <QCoreApplication>

void HorlogeTest::Cede()
{
    ++m_cessions;
    QCoreApplication::processEvents();
}
