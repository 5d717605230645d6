#pragma once

class F1Pelorane;

// SIGTERM et SIGINT ferment la fenêtre sans question, sur son fil (sous Unix ;
// ailleurs, rien).
void InstalleSignauxArret(F1Pelorane& fenetre);
