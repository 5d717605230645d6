#include "ReglageLigne.h"

#include <QStringList>

namespace {

bool LitEntierStrict(const QString& texte, int mini, int maxi, int* valeur)
{
    bool ok = false;
    const int v = texte.trimmed().toInt(&ok, 10);
    if (!ok || v < mini || v > maxi)
        return false;
    *valeur = v;
    return true;
}

} // namespace

bool ReglageLigne::Lit(const QString& paramCom)
{
    const qsizetype deuxPoints = paramCom.indexOf(QLatin1Char(':'));
    if (deuxPoints < 0)
        return false;
    // Numéro de port : entier de 16 bits, 1 étant le premier port série.
    int numero = 0;
    const bool numeroBon = LitEntierStrict(paramCom.left(deuxPoints), 1, 32767, &numero);
    if (numeroBon)
        numeroPort = numero;
    const bool reglageBon = LitReglage(paramCom.mid(deuxPoints + 1));
    return numeroBon && reglageBon;
}

bool ReglageLigne::LitReglage(const QString& reglage)
{
    const QStringList parties = reglage.split(QLatin1Char(','));
    if (parties.size() != 4)
        return false;

    int v = 0;
    if (!LitEntierStrict(parties[0], 1, 0x7FFFFFFF, &v))
        return false;
    const qint32 nouvelleVitesse = v;

    QSerialPort::Parity nouvelleParite = QSerialPort::NoParity;
    const QString lettre = parties[1].trimmed().toLower();
    if (lettre == QLatin1String("n"))
        nouvelleParite = QSerialPort::NoParity;
    else if (lettre == QLatin1String("e"))
        nouvelleParite = QSerialPort::EvenParity;
    else if (lettre == QLatin1String("o"))
        nouvelleParite = QSerialPort::OddParity;
    else if (lettre == QLatin1String("m"))
        nouvelleParite = QSerialPort::MarkParity;
    else if (lettre == QLatin1String("s"))
        nouvelleParite = QSerialPort::SpaceParity;
    else
        return false;

    if (!LitEntierStrict(parties[2], 5, 8, &v))
        return false;
    const auto nouveauxBits = QSerialPort::DataBits(v);

    QSerialPort::StopBits nouvelArret = QSerialPort::OneStop;
    const QString arret = parties[3].trimmed();
    if (arret == QLatin1String("1"))
        nouvelArret = QSerialPort::OneStop;
    else if (arret == QLatin1String("1.5"))
        nouvelArret = QSerialPort::OneAndHalfStop;
    else if (arret == QLatin1String("2"))
        nouvelArret = QSerialPort::TwoStop;
    else
        return false;

    vitesse = nouvelleVitesse;
    parite = nouvelleParite;
    bitsDonnees = nouveauxBits;
    bitsArret = nouvelArret;
    return true;
}

bool ReglageLigne::operator==(const ReglageLigne& autre) const
{
    return numeroPort == autre.numeroPort && vitesse == autre.vitesse && parite == autre.parite
        && bitsDonnees == autre.bitsDonnees && bitsArret == autre.bitsArret;
}
