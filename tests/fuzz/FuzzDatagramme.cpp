// Fuzzing (libFuzzer) de la lecture d'un datagramme de fin de convoyage : n'importe
// quels octets, sans plantage, avec les règles promises (espaces des deux bouts
// seulement, préfixe exact, numéro lu par la lecture numérique commune).
#include "Exige.h"

#include "config/LectureNombre.h"
#include "drawers/DatagrammeFinConvoyage.h"
#include "drawers/TrameCartes.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* donnees, size_t taille)
{
    const QByteArray datagramme(reinterpret_cast<const char*>(donnees), qsizetype(taille));
    const DatagrammeFinConvoyage lu = DatagrammeFinConvoyage::Lit(datagramme);

    Exige(!lu.texte.startsWith(' ') && !lu.texte.endsWith(' '));
    const qsizetype debut = datagramme.indexOf(lu.texte);
    Exige(debut >= 0);
    Exige(datagramme.left(debut).count(' ') == debut);
    Exige(datagramme.mid(debut + lu.texte.size()).count(' ') == datagramme.size() - debut - lu.texte.size());
    Exige(lu.finConvoyage == (lu.texte.startsWith(DatagrammeFinConvoyage::Prefixe) && !lu.controleDansTiroir));
    Exige(!lu.controleDansTiroir || lu.texte.startsWith(DatagrammeFinConvoyage::Prefixe));
    Exige(lu.tiroir == (lu.finConvoyage ? LitNombre(lu.texte.mid(DatagrammeFinConvoyage::Prefixe.size())) : 0));

    // Relire le texte, ou le même entouré d'espaces, donne la même lecture.
    for (const QByteArray& autre : { lu.texte, QByteArray("  ") + datagramme + " " }) {
        const DatagrammeFinConvoyage relu = DatagrammeFinConvoyage::Lit(autre);
        Exige(relu.texte == lu.texte && relu.finConvoyage == lu.finConvoyage && relu.tiroir == lu.tiroir
              && relu.controleDansTiroir == lu.controleDansTiroir);
    }

    // La ligne "UDP= ..." du journal reste bornée quelle que soit la taille reçue.
    Exige(TexteAffichable(lu.texte).size() <= 200 + QStringLiteral(" ...(%1 octets)").arg(lu.texte.size()).size());
    return 0;
}
