#include "DossierExecution.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#endif

void PrepareDossierExecution()
{
#ifdef Q_OS_UNIX
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return;
    const QByteArray dossier =
        QFile::encodeName(QDir::tempPath()) + "/pelorane-execution-" + QByteArray::number(qulonglong(::getuid()));
    if (::mkdir(dossier.constData(), 0700) == 0)
        ::chmod(dossier.constData(), 0700); // quel que soit le masque de création
    else if (errno != EEXIST)
        return;
    // lstat : un lien symbolique posé là par un autre n'est pas suivi.
    struct stat etat = {};
    if (::lstat(dossier.constData(), &etat) != 0 || !S_ISDIR(etat.st_mode) || etat.st_uid != ::getuid()
        || (etat.st_mode & 07777) != 0700)
        return;
    qputenv("XDG_RUNTIME_DIR", dossier);
#endif
}
