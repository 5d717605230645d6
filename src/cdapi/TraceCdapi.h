#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Trace lisible d'un message CDAPI pour le journal d'état, selon la variante
// NormeCDAPI. Fonction pure : elle rend les textes à passer à MessageStatus,
// un par appel. Un type connu donne un seul bloc (lignes séparées par CR LF,
// sans CR LF après le séparateur final) ; un type inconnu ou un message vide
// donne deux lignes.
QStringList TraduitMsgCDAPI(const QByteArray& message, const QString& NormeCDAPI);

// Octets d'un champ rendus pour l'écran : décodés en Windows-1252, chaque
// caractère de commande (NUL compris) remplacé par son symbole visible, pour
// qu'il ne coupe ni ne casse la ligne du journal et ne disparaisse pas.
QString TexteVisible(const QByteArray& octets);

// Ligne de séparation qui ferme chaque trace (42 tirets).
QString SeparateurTraceCdapi();
