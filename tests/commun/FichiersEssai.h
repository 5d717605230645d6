#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTest>

// Petits accès aux fichiers des tests : écrire des octets (échec du test si
// l'écriture n'est pas complète), relire un fichier ("<absent>" s'il manque).
inline void Ecrit(const QString& chemin, const QByteArray& octets)
{
    QFile f(chemin);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(chemin));
    QCOMPARE(f.write(octets), octets.size());
}

inline QByteArray Lit(const QString& chemin)
{
    QFile f(chemin);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<absent>");
    return f.readAll();
}
