#pragma once

#include <QString>

// Chemin de la base de paramètres que le programme hôte note dans les réglages de
// l'utilisateur (application "VBtrevix", section "GENERAL", clé "BaseFicDefaut").
// Vide quand le réglage est absent.
QString LitBaseFicDefaut();
