#include "NomPortSerie.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace NomPortSerie {

QString DuNumero(int numero)
{
#ifdef Q_OS_WIN
    const QString nom = QStringLiteral("COM%1").arg(numero);
    return numero >= 10 ? QStringLiteral("\\\\.\\") + nom : nom;
#else
    return QStringLiteral("/dev/ttyS%1").arg(numero - 1);
#endif
}

QString Impose(const QString& donne)
{
#ifdef Q_OS_WIN
    static const QRegularExpression port(QStringLiteral("^(?:\\\\\\\\\\.\\\\)?COM([1-9][0-9]{0,2})$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = port.match(donne);
    if (m.hasMatch())
        return DuNumero(m.captured(1).toInt());
#endif
    return QFileInfo(donne).absoluteFilePath();
}

} // namespace NomPortSerie
