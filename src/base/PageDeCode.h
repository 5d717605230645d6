#pragma once

#include <QByteArray>
#include <QString>

// Les fichiers, trames et messages restent des octets (page de code Windows-1252) ;
// on ne les décode que pour les montrer.
QString DecodeWindows1252(const QByteArray& octets);
// Inverse, pour les rares textes saisis qu'il faut remettre en octets ; un caractère
// absent de la page de code devient "?".
QByteArray EncodeWindows1252(const QString& texte);
