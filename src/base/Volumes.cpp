#include "Volumes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <sys/stat.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/vfs.h>
#endif

namespace Volumes {

namespace {

// Le chemin s'il existe, sinon son dossier : un fichier pas encore créé est sur
// le volume de son dossier.
QString CheminExistant(const QString& chemin)
{
    const QFileInfo info(chemin);
    return info.exists() ? info.absoluteFilePath() : info.absolutePath();
}

} // namespace

#ifdef Q_OS_WIN

namespace {

struct Identite
{
    bool ok = false;
    DWORD volume = 0, indexHaut = 0, indexBas = 0;
};

Identite IdentiteDe(const QString& chemin)
{
    Identite id;
    // FILE_FLAG_BACKUP_SEMANTICS : seule façon d'ouvrir un dossier ; aucun accès
    // demandé, le partage tout permis (l'hôte peut tenir ses fichiers ouverts).
    const HANDLE h = ::CreateFileW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(chemin).utf16()), 0,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return id;
    BY_HANDLE_FILE_INFORMATION info {};
    if (::GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        id.ok = true;
        id.volume = info.dwVolumeSerialNumber;
        id.indexHaut = info.nFileIndexHigh;
        id.indexBas = info.nFileIndexLow;
    }
    ::CloseHandle(h);
    return id;
}

} // namespace

bool MemeDossier(const QString& a, const QString& b)
{
    const Identite ia = IdentiteDe(a), ib = IdentiteDe(b);
    if (ia.ok && ib.ok)
        return ia.volume == ib.volume && ia.indexHaut == ib.indexHaut && ia.indexBas == ib.indexBas;
    // Un partage qui ne donne pas d'index : le chemin canonique, sans égard à la casse.
    const QString ca = QFileInfo(a).canonicalFilePath(), cb = QFileInfo(b).canonicalFilePath();
    return !ca.isEmpty() && QFileInfo(a).isDir() && ca.compare(cb, Qt::CaseInsensitive) == 0;
}

bool SurPartageReseau(const QString& chemin, QString* nom)
{
    // Racine du volume (C:\, \\serveur\partage\) : GetVolumePathName la trouve,
    // lecteur réseau compris.
    wchar_t racine[MAX_PATH + 1] = {};
    const QString natif = QDir::toNativeSeparators(CheminExistant(chemin));
    if (!::GetVolumePathNameW(reinterpret_cast<const wchar_t*>(natif.utf16()), racine, MAX_PATH))
        return false;
    if (::GetDriveTypeW(racine) == DRIVE_REMOTE) {
        *nom = QStringLiteral("lecteur réseau");
        return true;
    }
    wchar_t systeme[MAX_PATH + 1] = {};
    if (!::GetVolumeInformationW(racine, nullptr, 0, nullptr, nullptr, nullptr, systeme, MAX_PATH))
        return false;
    // Un partage monté comme un disque (redirecteurs tiers) garde son nom de système.
    const QString genre = QString::fromWCharArray(systeme);
    for (const char* reseau : { "NFS", "SMB", "CIFS", "WebDAV" })
        if (genre.startsWith(QLatin1String(reseau), Qt::CaseInsensitive)) {
            *nom = genre;
            return true;
        }
    return false;
}

#else

bool MemeDossier(const QString& a, const QString& b)
{
    struct stat sa {}, sb {};
    if (::stat(QFile::encodeName(a).constData(), &sa) != 0 || ::stat(QFile::encodeName(b).constData(), &sb) != 0)
        return false;
    return S_ISDIR(sa.st_mode) && S_ISDIR(sb.st_mode) && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool SurPartageReseau(const QString& chemin, QString* nom)
{
#ifdef Q_OS_LINUX
    struct statfs sf {};
    if (::statfs(QFile::encodeName(CheminExistant(chemin)).constData(), &sf) != 0)
        return false;
    switch (quint32(sf.f_type)) {
    case 0x6969: *nom = QStringLiteral("NFS"); return true;
    case 0x517B: case 0xFF534D42: case 0xFE534D42: *nom = QStringLiteral("SMB/CIFS"); return true;
    case 0x65735546: *nom = QStringLiteral("FUSE"); return true;
    case 0x73757245: case 0x5346414F: case 0x6B414653: *nom = QStringLiteral("AFS/Coda"); return true;
    case 0x00C36400: *nom = QStringLiteral("Ceph"); return true;
    case 0x01021997: *nom = QStringLiteral("9P"); return true;
    case 0x564C: case 0x7461636F: case 0x01161970: *nom = QStringLiteral("partagé"); return true;
    default: return false;
    }
#else
    Q_UNUSED(chemin);
    Q_UNUSED(nom);
    return false;
#endif
}

#endif

} // namespace Volumes
