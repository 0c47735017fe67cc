#include "updater/FolderLock.h"

#include "platform/Paths.h"
#include "update/UpdateMarker.h"

#include <QFile>
#include <QThread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace vk {

namespace {

// The lock file at path is still the file open as fd (a link may have replaced it meanwhile).
bool stillNamed(int fd, const QByteArray& path) {
    struct stat open {};
    struct stat named {};
    return ::fstat(fd, &open) == 0 && ::stat(path.constData(), &named) == 0 && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
}

}  // namespace

QString folderLockFile(const QString& dataFolder) {
    return joinPath(dataFolder, kFolderLockFileName.toString());
}

std::unique_ptr<HeldFolderLock> HeldFolderLock::waitFor(const QString& dataFolder,
                                                        std::chrono::milliseconds limit) {
    const QByteArray path = QFile::encodeName(folderLockFile(dataFolder));
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        // for writing and the owner's alone, as the link makes it
        const int folder =
            ::open(QFile::encodeName(dataFolder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const int fd =
            folder >= 0 ? openLockFile(folder, QFile::encodeName(kFolderLockFileName.toString())) : -1;
        if (folder >= 0) {
            ::close(folder);
        }
        if (fd >= 0) {
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                if (stillNamed(fd, path)) {
                    return std::unique_ptr<HeldFolderLock>(new HeldFolderLock(fd));
                }
                ::flock(fd, LOCK_UN);
            }
            ::close(fd);
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return nullptr;
        }
        QThread::msleep(100);
    }
}

HeldFolderLock::~HeldFolderLock() {
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
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
