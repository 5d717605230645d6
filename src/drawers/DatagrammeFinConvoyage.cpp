#include "DatagrammeFinConvoyage.h"

#include "config/LectureNombre.h"

const QByteArray DatagrammeFinConvoyage::Prefixe = QByteArrayLiteral("-Start     -S");

DatagrammeFinConvoyage DatagrammeFinConvoyage::Lit(const QByteArray& datagramme)
{
    // Comme Trim : seuls les espaces des deux bouts sont retirés.
    qsizetype debut = 0;
    qsizetype fin = datagramme.size();
    while (debut < fin && datagramme.at(debut) == ' ')
        ++debut;
    while (fin > debut && datagramme.at(fin - 1) == ' ')
        --fin;
    DatagrammeFinConvoyage lu;
    lu.texte = datagramme.mid(debut, fin - debut);
    lu.finConvoyage = lu.texte.startsWith(Prefixe);
    if (!lu.finConvoyage)
        return lu;
    const QByteArray champ = lu.texte.mid(Prefixe.size());
    for (const char c : champ) {
        const uchar octet = uchar(c);
        if ((octet < 0x20 && c != '\t' && c != '\r' && c != '\n') || octet == 0x7F) {
            lu.finConvoyage = false;
            lu.controleDansTiroir = true;
            return lu;
        }
    }
    lu.tiroir = LitNombre(champ);
    return lu;
}
