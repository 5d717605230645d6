#include "LectureNombre.h"

#include <QRegularExpression>

#include <cmath>
#include <limits>

namespace {

bool EstIgnore(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n');
}

int ValeurChiffre(QChar c, int base)
{
    int v = -1;
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
        v = c.unicode() - '0';
    else if (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
        v = c.unicode() - 'a' + 10;
    else if (c >= QLatin1Char('A') && c <= QLatin1Char('F'))
        v = c.unicode() - 'A' + 10;
    return v >= 0 && v < base ? v : -1;
}

// Entier &H / &O : lu comme un mot de 32 bits, les valeurs au-dessus de
// 7FFFFFFF étant prises en complément à deux (comme un entier long).
double LitEntierBase(const QString& s, int base)
{
    quint64 valeur = 0;
    for (QChar c : s) {
        const int v = ValeurChiffre(c, base);
        if (v < 0)
            break;
        valeur = valeur * quint64(base) + quint64(v);
        if (valeur > 0xFFFFFFFFull)
            return double(std::numeric_limits<qint32>::max());
    }
    return double(qint32(quint32(valeur)));
}

// Le texte sans ses blancs, tabulations et sauts de ligne (ignorés partout).
QString SansBlancs(const QString& texte)
{
    QString s;
    s.reserve(texte.size());
    for (QChar c : texte)
        if (!EstIgnore(c))
            s += c;
    return s;
}

} // namespace

double LitNombreReel(const QString& texte)
{
    const QString s = SansBlancs(texte);

    if (s.size() >= 2 && s[0] == QLatin1Char('&')) {
        const QChar prefixe = s[1].toUpper();
        if (prefixe == QLatin1Char('H'))
            return LitEntierBase(s.mid(2), 16);
        if (prefixe == QLatin1Char('O'))
            return LitEntierBase(s.mid(2), 8);
        return 0.0;
    }

    // Plus long début qui forme un nombre décimal.
    int i = 0;
    const int n = int(s.size());
    QString nombre;
    if (i < n && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-')))
        nombre += s[i++];
    int chiffres = 0;
    while (i < n && s[i].isDigit() && s[i].unicode() < 128) {
        nombre += s[i++];
        ++chiffres;
    }
    if (i < n && s[i] == QLatin1Char('.')) {
        nombre += s[i++];
        while (i < n && s[i].isDigit() && s[i].unicode() < 128) {
            nombre += s[i++];
            ++chiffres;
        }
    }
    if (chiffres == 0)
        return 0.0;
    if (i < n && (s[i].toUpper() == QLatin1Char('E') || s[i].toUpper() == QLatin1Char('D'))) {
        int j = i + 1;
        QString exposant = QStringLiteral("e");
        if (j < n && (s[j] == QLatin1Char('+') || s[j] == QLatin1Char('-')))
            exposant += s[j++];
        // L'exposant est lu aussi loin qu'il forme un nombre ("1E0000002" vaut 100) ;
        // sa valeur est bornée pour que le texte converti reste court (au-delà de
        // 9999 le résultat est de toute façon infini ou nul).
        int chiffresExposant = 0;
        int valeurExposant = 0;
        while (j < n && s[j].isDigit() && s[j].unicode() < 128) {
            valeurExposant = qMin(9999, valeurExposant * 10 + (s[j].unicode() - '0'));
            ++j;
            ++chiffresExposant;
        }
        if (chiffresExposant > 0)
            nombre += exposant + QString::number(valeurExposant);
    }
    bool ok = false;
    const double valeur = nombre.toDouble(&ok);
    if (!ok)
        return std::isinf(valeur) ? valeur : 0.0;
    return valeur;
}

bool EstUnNombre(const QString& texte)
{
    const QString s = SansBlancs(texte);
    static const QRegularExpression motif(
        QStringLiteral("^(?:[+-]?(?:[0-9]+\\.?[0-9]*|\\.[0-9]+)(?:[ED][+-]?[0-9]+)?|&H[0-9A-F]+|&O[0-7]+)$"),
        QRegularExpression::CaseInsensitiveOption);
    return motif.match(s).hasMatch();
}

qint32 ArrondiEntier32(double valeur)
{
    if (std::isnan(valeur))
        return 0;
    const double arrondi = std::nearbyint(valeur); // mode par défaut : moitiés vers le pair
    if (arrondi >= double(std::numeric_limits<qint32>::max()))
        return std::numeric_limits<qint32>::max();
    if (arrondi <= double(std::numeric_limits<qint32>::min()))
        return std::numeric_limits<qint32>::min();
    return qint32(arrondi);
}

qint32 LitNombre(const QString& texte)
{
    return ArrondiEntier32(LitNombreReel(texte));
}

qint32 LitNombre(const QByteArray& octets)
{
    return LitNombre(QString::fromLatin1(octets));
}
