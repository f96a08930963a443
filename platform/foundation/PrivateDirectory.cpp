#include "platform/foundation/PrivateDirectory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <cerrno>
#include <sys/stat.h>

namespace kova::platform {

bool makePrivateDirectory(const QString &path)
{
    if (path.isEmpty())
        return false;
    QString current = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QStringList missing;
    for (;;) {
        struct stat st {};
        if (::stat(QFile::encodeName(current).constData(), &st) == 0) {
            if (!S_ISDIR(st.st_mode))
                return false;
            break;
        }
        missing.prepend(current);
        const QString parent = QFileInfo(current).path();
        if (parent == current)
            return false;
        current = parent;
    }
    for (const QString &folder : std::as_const(missing)) {
        const QByteArray native = QFile::encodeName(folder);
        if (::mkdir(native.constData(), 0700) == 0) {
            // mkdir's mode passes through the umask; only ours is tightened,
            // never one another process made meanwhile.
            ::chmod(native.constData(), 0700);
        } else if (errno != EEXIST) {
            return false;
        }
    }
    return QFileInfo(path).isDir();
}

} // namespace kova::platform
