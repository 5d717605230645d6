#include "LectureNombre.h"

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

// Ce que la grammaire des nombres a reconnu au début d'un texte sans blancs :
// la valeur et le nombre de caractères qui la forment (0 : pas de nombre).
struct NombreLu
{
    double valeur = 0.0;
    int longueur = 0;
};

// Entier &H / &O : lu comme un mot de 32 bits, les valeurs au-dessus de
// 7FFFFFFF étant prises en complément à deux (comme un entier long).
NombreLu LitEntierBase(const QString& s, int debut, int base)
{
    quint64 valeur = 0;
    bool deborde = false;
    int i = debut;
    for (; i < s.size(); ++i) {
        const int v = ValeurChiffre(s[i], base);
        if (v < 0)
            break;
        if (!deborde) {
            valeur = valeur * quint64(base) + quint64(v);
            deborde = valeur > 0xFFFFFFFFull;
        }
    }
    if (i == debut)
        return {};
    const double lu = deborde ? double(std::numeric_limits<qint32>::max()) : double(qint32(quint32(valeur)));
    return { lu, i };
}

bool EstChiffre(const QString& s, int i)
{
    return i < s.size() && s[i].unicode() >= '0' && s[i].unicode() <= '9';
}

// Décimal : signe, chiffres, point, chiffres, exposant E ou D. Le plus long début
// qui forme un nombre ; l'exposant ne compte que s'il a au moins un chiffre.
NombreLu LitDecimal(const QString& s)
{
    int i = 0;
    const int n = int(s.size());
    QString nombre;
    if (i < n && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-')))
        nombre += s[i++];
    int chiffres = 0;
    for (; EstChiffre(s, i); ++i, ++chiffres)
        nombre += s[i];
    if (i < n && s[i] == QLatin1Char('.')) {
        nombre += s[i++];
        for (; EstChiffre(s, i); ++i, ++chiffres)
            nombre += s[i];
    }
    if (chiffres == 0)
        return {};
    if (i < n && (s[i].toUpper() == QLatin1Char('E') || s[i].toUpper() == QLatin1Char('D'))) {
        int j = i + 1;
        QString exposant = QStringLiteral("e");
        if (j < n && (s[j] == QLatin1Char('+') || s[j] == QLatin1Char('-')))
            exposant += s[j++];
        // L'exposant est lu aussi loin qu'il forme un nombre ("1E0000002" vaut 100) ;
        // sa valeur est bornée pour que le texte converti reste court (au-delà de
        // 9999 le résultat est de toute façon infini ou nul).
        int valeurExposant = 0;
        const int debutExposant = j;
        for (; EstChiffre(s, j); ++j)
            valeurExposant = qMin(9999, valeurExposant * 10 + (s[j].unicode() - '0'));
        if (j > debutExposant) {
            nombre += exposant + QString::number(valeurExposant);
            i = j;
        }
    }
    bool ok = false;
    const double valeur = nombre.toDouble(&ok);
    return { ok || std::isinf(valeur) ? valeur : 0.0, i };
}

// La seule grammaire des nombres : LitNombreReel prend sa valeur, EstUnNombre
// demande qu'elle couvre tout le texte.
NombreLu LitDebut(const QString& s)
{
    if (s.size() >= 2 && s[0] == QLatin1Char('&')) {
        const QChar prefixe = s[1].toUpper();
        if (prefixe == QLatin1Char('H'))
            return LitEntierBase(s, 2, 16);
        if (prefixe == QLatin1Char('O'))
            return LitEntierBase(s, 2, 8);
        return {};
    }
    return LitDecimal(s);
}

} // namespace

double LitNombreReel(const QString& texte)
{
    return LitDebut(SansBlancs(texte)).valeur;
}

bool EstUnNombre(const QString& texte)
{
    const QString s = SansBlancs(texte);
    const NombreLu lu = LitDebut(s);
    return lu.longueur > 0 && lu.longueur == s.size();
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
