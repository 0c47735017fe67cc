#include "updater/FolderLock.h"

#include "platform/Paths.h"

#include <QFile>

#include <sys/stat.h>

namespace vk {

QString folderLockFile(const QString& dataFolder) {
    return joinPath(dataFolder, kFolderLockFileName.toString());
}

bool folderLockHeldBy(const QString& dataFolder, pid_t pid) {
    struct stat lockFile {};
    if (::stat(QFile::encodeName(folderLockFile(dataFolder)).constData(), &lockFile) != 0) {
        return false;
    }
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return false;
    }
    // "1: FLOCK  ADVISORY  WRITE 1234 fe:00:10955976 0 EOF"; a waiting request has "->" after the
    // number. The device is left out: on a layered file system it is not the one stat gives, and the
    // process together with the inode is specific enough.
    for (const QByteArray& line : locks.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() >= 6 && fields[1] == "FLOCK" && fields[3] == "WRITE" &&
            fields[4].toLongLong() == pid &&
            fields[5].mid(fields[5].lastIndexOf(':') + 1).toULongLong() == lockFile.st_ino) {
            return true;
        }
    }
    return false;
}

}  // namespace vk
