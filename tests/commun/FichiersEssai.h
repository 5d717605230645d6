#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QTest>

#ifdef Q_OS_UNIX
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

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

// Fichiers d'un --journal dans l'ordre où le service les a écrits : ceux qu'il a
// laissés en tournant à minuit (FICHIER.AAAA-MM-JJ, dans l'ordre des jours), puis
// FICHIER. Un essai qui passe minuit, ou que l'heure avancée y fait passer, lit
// ainsi tout ce que le service a écrit, quelle que soit l'heure où il tourne.
inline QStringList FichiersJournal(const QString& chemin)
{
    const QFileInfo info(chemin);
    QStringList fichiers;
    const QStringList tournes = info.dir().entryList({ info.fileName() + QStringLiteral(".\?\?\?\?-\?\?-\?\?") },
                                                     QDir::Files, QDir::Name);
    for (const QString& nom : tournes)
        fichiers << info.dir().filePath(nom);
    fichiers << chemin;
    return fichiers;
}

// Lignes d'un --journal (fichiers tournés compris), sans leur horodatage ni les
// lignes vides.
inline QStringList LignesJournal(const QString& chemin)
{
    QStringList lignes;
    for (const QString& fichier : FichiersJournal(chemin)) {
        QFile f(fichier);
        if (!f.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& ligne : f.readAll().split('\n'))
            if (!ligne.isEmpty())
                lignes << QString::fromUtf8(ligne.mid(24)); // "AAAA-MM-JJ HH:MM:SS.mmm "
    }
    return lignes;
}

#ifdef Q_OS_UNIX
// Une socket Unix liée à `chemin` (une entrée du dossier qui n'est pas un fichier) :
// son descripteur, -1 si le chemin dépasse les 108 octets d'un nom de socket, -2
// si la liaison échoue.
inline int CreeSocketUnix(const QString& chemin)
{
    sockaddr_un adresse {};
    adresse.sun_family = AF_UNIX;
    const QByteArray nom = QFile::encodeName(chemin);
    if (size_t(nom.size()) >= sizeof(adresse.sun_path))
        return -1;
    std::memcpy(adresse.sun_path, nom.constData(), size_t(nom.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&adresse), sizeof(adresse)) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -2;
    }
    return fd;
}
#endif
