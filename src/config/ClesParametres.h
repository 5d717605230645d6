#pragma once

#include "config/Configuration.h"

class JournalStatut;
class MagasinParametres;

// Lit les quatorze clés dans l'ordre, ajoute les absentes avec leur valeur par
// défaut, convertit chaque valeur et la range dans la configuration. Les valeurs
// hors bornes (nombre de tiroirs, temps d'attente) sont ramenées dans la plage
// utilisable avec une ligne au journal.
void LitClesParametres(MagasinParametres& magasin, JournalStatut& journal, Configuration& configuration);
