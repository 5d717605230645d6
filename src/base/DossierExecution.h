#pragma once

// À appeler avant de créer l'application Qt. Un service lancé hors d'une session
// de bureau n'a pas de XDG_RUNTIME_DIR : Qt écrirait alors à chaque démarrage
// "QStandardPaths: XDG_RUNTIME_DIR not set..." sur la sortie d'erreur, où le
// technicien ne doit lire que les copies des boîtes de message. On lui donne un
// dossier d'exécution privé (0700, au nom de l'utilisateur, sous le dossier
// temporaire). Un dossier de ce nom qui n'est pas un vrai dossier à nous en 0700
// n'est pas pris : Qt fait alors comme avant.
void PrepareDossierExecution();
