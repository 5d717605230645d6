#pragma once

#include <QByteArray>
#include <QString>

// Lecture numérique unique du programme, indulgente : blancs, tabulations et
// sauts de ligne ignorés partout ; signe, chiffres, point décimal, exposant E
// ou D ; entiers &H (hexadécimal) et &O (octal) ; un texte qui ne commence pas
// par un nombre vaut 0. Le résultat est arrondi à l'entier 32 bits signé le plus
// proche, moitiés vers le pair ; au-delà de la plage, il est borné.
qint32 LitNombre(const QString& texte);
// Même lecture sur des octets (page de code à un octet).
qint32 LitNombre(const QByteArray& octets);

// Vrai si le texte, blancs ignorés, est tout entier un nombre que LitNombre lit, selon la même grammaire
// (décimal avec exposant éventuel, &H ou &O) ; faux pour un texte vide.
bool EstUnNombre(const QString& texte);

// La valeur lue avant l'arrondi (utile quand un appelant doit la multiplier).
double LitNombreReel(const QString& texte);

// Arrondi moitiés vers le pair, borné à la plage des entiers 32 bits signés.
qint32 ArrondiEntier32(double valeur);
