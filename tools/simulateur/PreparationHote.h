#pragma once

#include <QMap>
#include <QString>

// Ce que fait le programme hôte à son installation : le réglage utilisateur
// BaseFicDefaut et la base de paramètres avec sa table vide, quand ils manquent.
// Les clés données sont ajoutées quand elles manquent (jamais remplacées).
// Rend le chemin de la base, ou "" en cas d'échec (erreur dans *erreur).
QString PrepareInstallationHote(const QString& racine, const QMap<QString, QString>& parametres, QString* erreur);
