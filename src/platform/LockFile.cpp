#include "platform/LockFile.h"

#include <QFile>
#include <QThread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace vk {

namespace {

constexpr auto kPoll = std::chrono::milliseconds(50);

// The file open as fd is still the one under name in folderFd.
bool stillNamed(int fd, int folderFd, const QByteArray& name) {
    struct stat open {};
    struct stat named {};
    return ::fstat(fd, &open) == 0 &&
           ::fstatat(folderFd, name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

}  // namespace

void keepOwnerOnly(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) == 0 && (st.st_mode & 07777) != 0600 && st.st_uid == ::geteuid()) {
        static_cast<void>(::fchmod(fd, 0600));
    }
}

int openLockFile(int folderFd, const QByteArray& name) {
    const int fd =
        ::openat(folderFd, name.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    keepOwnerOnly(fd);
    return fd;
}

std::unique_ptr<HeldLock> HeldLock::take(const FolderHandle& folder, const QString& name,
                                         std::chrono::milliseconds wait, QString* why) {
    const QByteArray encoded = QFile::encodeName(name);
    const auto fail = [&](const QString& what, int error) {
        if (why) {
            *why = QStringLiteral("Het slot %1 kan niet %2 worden: %3")
                       .arg(folder.pathOf(name), what, systemErrorText(error));
        }
        return nullptr;
    };
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        const int fd = openLockFile(folder.fd(), encoded);
        if (fd < 0) {
            return fail(QStringLiteral("geopend"), errno);
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            if (stillNamed(fd, folder.fd(), encoded)) {
                return std::unique_ptr<HeldLock>(new HeldLock(fd));
            }
            ::close(fd);  // the file it locked is gone from its name: the next one is tried at once
            continue;
        }
        const int error = errno;
        ::close(fd);
        if (error != EWOULDBLOCK && error != EINTR) {
            return fail(QStringLiteral("vergrendeld"), error);
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return nullptr;
        }
        QThread::msleep(kPoll.count());
    }
}

HeldLock::~HeldLock() {
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
}

}  // namespace vk
