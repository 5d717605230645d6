#include "Durabilite.h"

#include <QDir>
#include <QFile>
#include <QFileDevice>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace Durabilite {

#ifdef Q_OS_WIN

namespace {

// Une seconde poignée sur le même fichier : FlushFileBuffers vide le cache du
// fichier lui-même, quelle que soit la poignée qui l'a écrit.
bool Vide(const QString& chemin, DWORD drapeaux)
{
    const HANDLE h = ::CreateFileW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(chemin).utf16()),
                                   GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, drapeaux, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = ::FlushFileBuffers(h) != 0;
    ::CloseHandle(h);
    return ok;
}

} // namespace

bool SynchroniseFichier(QFileDevice& fichier)
{
    return fichier.flush() && Vide(fichier.fileName(), FILE_ATTRIBUTE_NORMAL);
}

bool SynchroniseDossier(const QString& dossier)
{
    // NTFS journalise ses noms ; la poignée de dossier demande le même vidage.
    return Vide(dossier, FILE_FLAG_BACKUP_SEMANTICS);
}

#else

bool SynchroniseFichier(QFileDevice& fichier)
{
    return fichier.flush() && fichier.handle() >= 0 && ::fsync(fichier.handle()) == 0;
}

bool SynchroniseDossier(const QString& dossier)
{
    const int fd = ::open(QFile::encodeName(dossier).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

#endif

} // namespace Durabilite
