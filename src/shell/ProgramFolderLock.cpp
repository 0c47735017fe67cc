#include "shell/ProgramFolderLock.h"

#include "platform/Errors.h"
#include "platform/FileNames.h"
#include "platform/LockFile.h"

#include <QDir>
#include <QSysInfo>

#include <cerrno>
#include <csignal>
#include <cstdio>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vk {

namespace {

constexpr int kMostAttempts = 20;

bool sameFile(int fd, const QByteArray& path) {
    struct stat open {};
    struct stat named {};
    return ::fstat(fd, &open) == 0 && ::stat(path.constData(), &named) == 0 && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
}

// Who holds the lock, in the form QLockFile writes (an earlier link used it): process number,
// program, computer, one a line.
QByteArray holderInfo() {
    return QByteArray::number(static_cast<qint64>(::getpid())) + "\nVeloraKarvexClient\n" +
           QSysInfo::machineHostName().toUtf8() + '\n';
}

bool processRuns(qint64 pid) {
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

}  // namespace

ProgramFolderLock::ProgramFolderLock(const QString& programFolder)
    : path_(programFolder + kFileName.toString()) {
    const QByteArray path = encodeFileName(path_);
    for (int attempt = 0; attempt < kMostAttempts; ++attempt) {
        bool writable = true;
        // the owner's alone: another account that could read it could hold a lock on it and keep
        // every link off the folder
        int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0 && (errno == EROFS || errno == EACCES || errno == EPERM)) {
            // a read-only folder: a lock file that is already there can still be locked
            writable = false;
            fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        }
        if (fd < 0) {
            if (errno == ENOENT) {
                unavailable_ =
                    QStringLiteral(
                        "De programmamap %1 kan niet vergrendeld worden; start geen tweede koppeling "
                        "op deze map.")
                        .arg(programFolder);
                return;
            }
            cannotTake_ = QStringLiteral(
                              "Het slot %1 van de programmamap kan niet geopend worden (%2); geen koppeling "
                              "gebruikt het, maar deze koppeling kan het niet overnemen en start niet.")
                              .arg(path_, systemErrorText(errno));
            return;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            if (error == EWOULDBLOCK) {
                describeHolder(programFolder, fd);
                ::close(fd);
                return;
            }
            ::close(fd);
            cannotTake_ =
                QStringLiteral(
                    "Het slot %1 van de programmamap kan niet vergrendeld worden (%2); deze koppeling "
                    "start niet.")
                    .arg(path_, systemErrorText(error));
            return;
        }
        // A link that ends removes its lock file before it lets go of it: a file locked after that
        // is no longer the one under the name, and the lock is taken anew.
        if (!sameFile(fd, path)) {
            ::close(fd);
            continue;
        }
        fd_ = fd;
        keepOwnerOnly(fd_);  // one that an earlier version left readable by all
        if (writable) {
            // emptied first: what a dead link wrote must not be read as this one (a failed write on a
            // full disk leaves the file empty, and a second link says it cannot tell the holder)
            const QByteArray info = holderInfo();
            if (::ftruncate(fd_, 0) == 0 &&
                ::pwrite(fd_, info.constData(), static_cast<size_t>(info.size()), 0) < 0) {
                static_cast<void>(::ftruncate(fd_, 0));
            }
        }
        return;
    }
    cannotTake_ =
        QStringLiteral(
            "Het slot %1 van de programmamap wisselt steeds van bestand; deze koppeling start niet.")
            .arg(path_);
}

ProgramFolderLock::~ProgramFolderLock() {
    if (fd_ >= 0) {
        ::unlink(encodeFileName(path_).constData());
        ::close(fd_);
    }
}

void ProgramFolderLock::describeHolder(const QString& programFolder, int fd) {
    char buffer[512];
    const ssize_t got = ::pread(fd, buffer, sizeof buffer - 1, 0);
    const QList<QByteArray> lines = QByteArray(buffer, got > 0 ? got : 0).split('\n');
    bool numbered = false;
    const qint64 pid = !lines.isEmpty() ? lines[0].toLongLong(&numbered) : 0;
    const QString host = lines.size() > 2 ? QString::fromUtf8(lines[2]) : QString();
    QString holder;
    if (numbered && processRuns(pid)) {
        holder = QStringLiteral("proces %1 op %2")
                     .arg(pid)
                     .arg(host.isEmpty() ? QStringLiteral("onbekende computer") : host);
    } else {
        holder = QStringLiteral("proces onbekend");  // it is still writing who it is, or cannot
    }
    takenBy_ = QStringLiteral(
                   "De programmamap %1 is al in gebruik door een andere koppeling (%2); deze koppeling start "
                   "niet.")
                   .arg(programFolder, holder);
}

std::optional<int> claimProgramFolder(const QString& programFolder, std::optional<ProgramFolderLock>& lock) {
    if (!QDir().mkpath(programFolder)) {
        std::fprintf(stderr, "Programmamap %s kan niet gemaakt worden\n", qPrintable(programFolder));
        return 1;
    }
    lock.emplace(programFolder);
    if (const std::optional<QString> taken = lock->takenBy()) {
        std::fprintf(stderr, "%s\n", qPrintable(*taken));
        return ProgramFolderLock::kTakenExitCode;
    }
    if (const std::optional<QString> cannot = lock->cannotTake()) {
        std::fprintf(stderr, "%s\n", qPrintable(*cannot));
        return ProgramFolderLock::kCannotTakeExitCode;
    }
    return std::nullopt;
}

}  // namespace vk
