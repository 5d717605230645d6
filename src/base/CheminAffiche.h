#pragma once

#include <QDir>
#include <QString>

// Chemin tel que le système l'écrit, pour les textes montrés à l'opérateur
// (C:\grindel\Echanges\CD1.txt sous Windows) ; les opérations sur les fichiers
// gardent la forme de Qt. Le séparateur est un paramètre pour que la règle se
// vérifie sur toute plate-forme ; par défaut, celui du système (QDir::toNativeSeparators).
QString CheminAffiche(const QString& chemin, QChar separateur = QDir::separator());
