#pragma once

#include <QString>

// Nom du périphérique série des cartes, tel que l'ouvre QSerialPort sur la plate-forme.
namespace NomPortSerie {

// Port numéro N de la clé Param_Com_Tiroirs (1 pour le premier) : COM1 à COM9, puis \\.\COM10 et
// au-delà sous Windows (seul nom que Windows ouvre à partir de 10) ; /dev/ttyS(N-1) sous Unix.
QString DuNumero(int numero);

// Périphérique donné par --port-serie. Sous Windows, un nom de port (COM3, com12, \\.\COM12) reste
// un nom de port ; tout autre texte, comme sous Unix, est un chemin rendu absolu depuis le dossier
// courant (QSerialPort préfixerait "/dev/" un nom relatif).
QString Impose(const QString& donne);

} // namespace NomPortSerie
