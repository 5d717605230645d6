#pragma once

#include <QString>

class QFileDevice;

// Ce qui doit survivre à une coupure de courant est poussé sur le disque avant
// que quoi que ce soit ne le dise fait : le cache du système ne suffit pas.
// POSIX : fsync ; Windows : FlushFileBuffers.
namespace Durabilite {

// Les octets écrits dans ce fichier ouvert (tampon de Qt vidé avant). Faux si le
// système n'a pas pu les écrire : ils ne sont peut-être pas sur le disque.
bool SynchroniseFichier(QFileDevice& fichier);

// Les entrées du dossier : un nom créé ou effacé y survit à une coupure. Faux si le
// dossier ne peut être ouvert ou si son système de fichiers refuse (certains
// partages réseau) : l'appelant n'a rien de mieux à faire que continuer.
bool SynchroniseDossier(const QString& dossier);

} // namespace Durabilite
