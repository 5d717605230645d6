#pragma once

#include <QString>

// Ce que pelorane fait sans ouvrir de service ; chaque fonction rend le code de sortie.

// --historique : les remises du registre, les plus anciennes d'abord, sur la sortie standard.
int MontreHistorique(const QString& registre, const QString& depuis, bool csv);
// --action NOM : demande à la copie qui tourne pour cette racine de faire ce que
// ferait un clic.
int DemandeAction(const QString& racine, const QString& racineDonnee, const QString& action);
