#include "PageDeCode.h"

namespace {
// 0x80 à 0x9F ; 0 pour les cinq positions non attribuées (gardées telles quelles).
const char16_t Plage80[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};
} // namespace

QString DecodeWindows1252(const QByteArray& octets)
{
    QString texte(octets.size(), Qt::Uninitialized);
    QChar* sortie = texte.data();
    for (int i = 0; i < octets.size(); ++i) {
        const uchar o = uchar(octets[i]);
        char16_t c = o;
        if (o >= 0x80 && o <= 0x9F && Plage80[o - 0x80] != 0)
            c = Plage80[o - 0x80];
        sortie[i] = QChar(c);
    }
    return texte;
}

QByteArray EncodeWindows1252(const QString& texte)
{
    QByteArray octets;
    octets.reserve(texte.size());
    for (QChar c : texte) {
        const char16_t u = c.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            octets += char(u);
            continue;
        }
        char trouve = '?';
        for (int i = 0; i < 32; ++i)
            if (Plage80[i] == u || (Plage80[i] == 0 && u == 0x80 + i))
                trouve = char(0x80 + i);
        octets += trouve;
    }
    return octets;
}
