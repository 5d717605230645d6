#pragma once

#include <QByteArray>

// Lecture d'un datagramme de fin de convoyage : règle pure, sans socket.
// "-Start     -S" suivi du numéro du tiroir ; espaces des deux bouts ignorés.
class DatagrammeFinConvoyage
{
public:
    static DatagrammeFinConvoyage Lit(const QByteArray& datagramme);

    static const QByteArray Prefixe;

    QByteArray texte;          // le datagramme sans les espaces des deux bouts
    bool finConvoyage = false; // le texte commence par le préfixe, casse comprise
    qint32 tiroir = 0;         // numéro lu après le préfixe (0 : tous les tiroirs)
    // Un octet de contrôle (hors tabulation, CR et LF) après le préfixe : le numéro
    // est illisible, le datagramme ne libère rien (un NUL ferait lire 0, tous les tiroirs).
    bool controleDansTiroir = false;
};
