#pragma once

#include <QString>

// Ce que le système sait d'un dossier au-delà de son chemin : son identité (deux
// chemins qui mènent au même dossier) et la nature de son volume (partage réseau).
// Corps Unix et Windows côte à côte.
namespace Volumes {

// Vrai quand les deux chemins mènent au même dossier existant : liens suivis ;
// Unix : périphérique et inode ; Windows : numéro de série du volume et index du
// fichier (la casse, un lecteur réseau et son chemin UNC n'y changent rien).
// Faux si l'un des deux n'existe pas : rien ne prouve alors que c'est le même.
bool MemeDossier(const QString& a, const QString& b);

// Vrai quand le chemin (ou son dossier, s'il n'existe pas encore) est sur un
// système de fichiers réseau ou en espace utilisateur ; *nom dit lequel ("NFS",
// "SMB/CIFS"…). Linux : statfs ; Windows : GetDriveType, puis le nom du système
// de fichiers de GetVolumeInformation.
bool SurPartageReseau(const QString& chemin, QString* nom);

} // namespace Volumes
