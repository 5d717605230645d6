#pragma once

#include <QSerialPort>
#include <QString>

// Réglage de la ligne série tiré de Param_Com_Tiroirs ("1:9600,n,8,1") : numéro
// du port avant le premier ":", puis vitesse, parité, bits de données, bits d'arrêt.
struct ReglageLigne
{
    int numeroPort = 1;
    qint32 vitesse = 9600;
    QSerialPort::Parity parite = QSerialPort::NoParity;
    QSerialPort::DataBits bitsDonnees = QSerialPort::Data8;
    QSerialPort::StopBits bitsArret = QSerialPort::OneStop;

    // Lit le texte complet de la clé. Faux quand une partie ne se lit pas ; les
    // parties lues sont gardées, les autres restent à leur valeur précédente.
    bool Lit(const QString& paramCom);
    // Lit seulement "vitesse,parité,données,arrêt" ; faux et rien de changé sinon.
    bool LitReglage(const QString& reglage);

    bool operator==(const ReglageLigne& autre) const;
    bool operator!=(const ReglageLigne& autre) const { return !(*this == autre); }
};
