#pragma once

#include <QString>

// Temps du rapport d'activité d'un mois (30 pages) tiré d'un registre de 100 000
// lignes, par le vrai programme (pelorane --rapport), trois fois ; écrit la ligne du
// tableau. Faux si le registre ne se remplit pas ou si le programme échoue.
bool MesureRapport(const QString& pelorane, const QString& dossier);
