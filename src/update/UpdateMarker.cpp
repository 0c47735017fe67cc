#include "update/UpdateMarker.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace vk {

namespace {

constexpr QLatin1StringView kPrevious("previous");
constexpr QLatin1StringView kNew("new");
constexpr QLatin1StringView kWritten("written-ms");
constexpr QLatin1StringView kWatch("watch-ms");

bool isDigest(const QByteArray& text) {
    if (text.size() != 64) {
        return false;
    }
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

}  // namespace

QByteArray updateMarkerText(const UpdateMarker& marker) {
    QByteArray text;
    text += QByteArray(kPrevious.data()) + ' ' + marker.previousDigest + '\n';
    text += QByteArray(kNew.data()) + ' ' + marker.newDigest + '\n';
    text += QByteArray(kWritten.data()) + ' ' + QByteArray::number(marker.writtenMs) + '\n';
    text += QByteArray(kWatch.data()) + ' ' + QByteArray::number(marker.watchMs) + '\n';
    return text;
}

std::optional<UpdateMarker> parseUpdateMarker(const QByteArray& text) {
    UpdateMarker marker;
    int seen = 0;
    for (const QByteArray& line : text.split('\n')) {
        if (line.isEmpty()) {
            continue;
        }
        const qsizetype blank = line.indexOf(' ');
        if (blank < 0) {
            return std::nullopt;
        }
        const QByteArray key = line.left(blank);
        const QByteArray value = line.mid(blank + 1);
        bool ok = true;
        if (key == kPrevious.data() && isDigest(value)) {
            marker.previousDigest = value;
        } else if (key == kNew.data() && isDigest(value)) {
            marker.newDigest = value;
        } else if (key == kWritten.data()) {
            marker.writtenMs = value.toLongLong(&ok);
        } else if (key == kWatch.data()) {
            marker.watchMs = value.toLongLong(&ok);
        } else {
            return std::nullopt;
        }
        if (!ok) {
            return std::nullopt;
        }
        ++seen;
    }
    if (seen != 4 || marker.previousDigest.isEmpty() || marker.newDigest.isEmpty() || marker.watchMs < 0) {
        return std::nullopt;
    }
    return marker;
}

void writeUpdateMarker(const FolderHandle& installation, const UpdateMarker& marker) {
    const QString temporary = QStringLiteral("%1.tmp-%2").arg(kUpdateMarkerName).arg(::getpid());
    installation.remove(temporary);
    {
        FileDescriptor file = installation.createNew(temporary);
        const QByteArray text = updateMarkerText(marker);
        if (!writeAll(file.get(), text.constData(), static_cast<std::size_t>(text.size())) ||
            ::fsync(file.get()) != 0 || !file.close()) {
            const int error = errno;
            installation.remove(temporary);
            throw FolderFileError(
                QStringLiteral("Het bestand %1 kan niet geschreven worden: %2")
                    .arg(installation.pathOf(kUpdateMarkerName.toString()), systemErrorText(error)));
        }
    }
    installation.rename(temporary, kUpdateMarkerName.toString());
    installation.flush();
}

bool updateMarkerExists(const FolderHandle& installation) {
    return installation.exists(kUpdateMarkerName.toString());
}

std::optional<UpdateMarker> readUpdateMarker(const FolderHandle& installation) {
    if (!updateMarkerExists(installation)) {
        return std::nullopt;
    }
    const QByteArray text = installation.readAll(kUpdateMarkerName.toString(), kMaxMarkerBytes);
    std::optional<UpdateMarker> marker = parseUpdateMarker(text);
    if (!marker) {
        throw FolderFileError(QStringLiteral("%1 is geen updatemarkering")
                                  .arg(installation.pathOf(kUpdateMarkerName.toString())));
    }
    return marker;
}

int removeLeftoverMarkerFiles(const FolderHandle& installation) {
    int removed = 0;
    const QString prefix = kUpdateMarkerName.toString() + QStringLiteral(".tmp-");
    for (const QString& name : installation.entries()) {
        if (name.startsWith(prefix) && installation.remove(name)) {
            ++removed;
        }
    }
    return removed;
}

void removeUpdateMarker(const FolderHandle& installation) {
    installation.remove(kUpdateMarkerName.toString());
    installation.flush();
}

QByteArray programDigest(const FolderHandle& folder, const QString& name) {
    const FileDescriptor file = folder.openForReading(name, kMaxProgramBytes);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    char buffer[1 << 16];
    qint64 total = 0;
    for (;;) {
        const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            throw FolderFileError(QStringLiteral("Het bestand %1 kan niet gelezen worden: %2")
                                      .arg(folder.pathOf(name), systemErrorText(errno)));
        }
        if (got == 0) {
            break;
        }
        total += got;
        if (total > kMaxProgramBytes) {
            throw FolderFileError(
                QStringLiteral("%1 is groter dan %2 bytes").arg(folder.pathOf(name)).arg(kMaxProgramBytes));
        }
        hash.addData(QByteArrayView(buffer, got));
    }
    return hash.result().toHex();
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
    if ((st.st_mode & 07777) != 0600 && st.st_uid == ::geteuid()) {
        static_cast<void>(::fchmod(fd, 0600));
    }
    return fd;
}

std::unique_ptr<InstallationLock> InstallationLock::take(const FolderHandle& installation,
                                                         std::chrono::milliseconds wait, QString* why) {
    const QString name = kInstallationLockName.toString();
    const auto fail = [&](const QString& reason) {
        if (why) {
            *why = reason;
        }
        return nullptr;
    };
    const int fd = openLockFile(installation.fd(), QFile::encodeName(name));
    if (fd < 0) {
        return fail(QStringLiteral("Het slot %1 van de installatie kan niet geopend worden: %2")
                        .arg(installation.pathOf(name), systemErrorText(errno)));
    }
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error != EWOULDBLOCK && error != EINTR) {
            ::close(fd);
            return fail(QStringLiteral("Het slot %1 van de installatie kan niet vergrendeld worden: %2")
                            .arg(installation.pathOf(name), systemErrorText(error)));
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            ::close(fd);
            return fail(QStringLiteral("Een andere update van %1 is bezig").arg(installation.path()));
        }
        QThread::msleep(50);
    }
    return std::unique_ptr<InstallationLock>(new InstallationLock(fd));
}

InstallationLock::~InstallationLock() {
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
}

ConfirmOutcome confirmUpdate(const QString& programFile) {
    const QFileInfo program(programFile);
    const FolderHandle installation = FolderHandle::open(program.absolutePath());
    if (!updateMarkerExists(installation)) {
        return ConfirmOutcome::NothingToConfirm;
    }
    const std::unique_ptr<InstallationLock> lock =
        InstallationLock::take(installation, std::chrono::milliseconds(0));
    if (!lock) {
        return ConfirmOutcome::Busy;
    }
    const std::optional<UpdateMarker> marker = readUpdateMarker(installation);
    if (!marker) {
        return ConfirmOutcome::NothingToConfirm;  // settled meanwhile
    }
    if (programDigest(installation, program.fileName()) == marker->previousDigest) {
        return ConfirmOutcome::PreviousRuns;
    }
    removeUpdateMarker(installation);
    return ConfirmOutcome::Confirmed;
}

}  // namespace vk
