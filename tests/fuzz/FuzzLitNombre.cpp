// Fuzzing (libFuzzer) de la lecture numérique commune : n'importe quel texte, sans
// plantage ; le résultat est l'arrondi borné de la valeur lue, les blancs ne
// comptent nulle part, et relire le nombre écrit redonne le même nombre.
#include "Exige.h"

#include "config/LectureNombre.h"

#include <cmath>
#include <cstdint>
#include <limits>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* donnees, size_t taille)
{
    const QByteArray octets(reinterpret_cast<const char*>(donnees), qsizetype(taille));
    const QString texte = QString::fromLatin1(octets);
    const qint32 n = LitNombre(texte);

    Exige(LitNombre(octets) == n);
    const double reel = LitNombreReel(texte);
    Exige(ArrondiEntier32(reel) == n);
    constexpr double Min = double(std::numeric_limits<qint32>::min());
    constexpr double Max = double(std::numeric_limits<qint32>::max());
    if (std::isnan(reel))
        Exige(n == 0);
    else if (reel >= Max)
        Exige(n == std::numeric_limits<qint32>::max());
    else if (reel <= Min)
        Exige(n == std::numeric_limits<qint32>::min());
    else
        Exige(std::fabs(double(n) - reel) <= 0.5);

    Exige(LitNombre(QString::number(n)) == n);

    // Blancs, tabulations et sauts de ligne sont ignorés partout.
    const qsizetype position = taille == 0 ? 0 : qsizetype(donnees[0] % (taille + 1));
    for (const char* blanc : { " ", "\t", "\n" }) {
        QString avecBlanc = texte;
        avecBlanc.insert(position, QLatin1String(blanc));
        Exige(LitNombre(avecBlanc) == n);
    }

    return 0;
}
