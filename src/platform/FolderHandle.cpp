#include "platform/FolderHandle.h"

#include "platform/FileNames.h"

#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace vk {

namespace {

[[noreturn]] void fail(const QString& what, const QString& path, int error) {
    throw FolderFileError(QStringLiteral("%1 %2: %3").arg(what, path, systemErrorText(error)));
}

QByteArray nameBytes(const QString& name) {
    const QByteArray bytes = QFile::encodeName(name);
    if (bytes.isEmpty() || bytes.contains('/') || bytes == "." || bytes == "..") {
        throw FolderFileError(QStringLiteral("%1 is geen naam in een map").arg(name));
    }
    return bytes;
}

}  // namespace

FolderHandle FolderHandle::open(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        fail(QStringLiteral("De map kan niet geopend worden:"), path, errno);
    }
    return FolderHandle(std::make_shared<FileDescriptor>(fd), path);
}

QString FolderHandle::pathOf(const QString& name) const {
    return path_.endsWith(u'/') ? path_ + name : path_ + u'/' + name;
}

FolderHandle FolderHandle::folder(const QString& name, bool create) const {
    const QByteArray n = nameBytes(name);
    if (create && ::mkdirat(fd(), n.constData(), 0755) != 0 && errno != EEXIST) {
        fail(QStringLiteral("De map kan niet gemaakt worden:"), pathOf(name), errno);
    }
    const int sub = ::openat(fd(), n.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (sub < 0) {
        // a link in its place gives ELOOP or ENOTDIR: no folder to use
        fail(QStringLiteral("De map kan niet geopend worden:"), pathOf(name), errno);
    }
    return FolderHandle(std::make_shared<FileDescriptor>(sub), pathOf(name));
}

FileDescriptor FolderHandle::openForReading(const QString& name, qint64 maxBytes) const {
    FileDescriptor file(::openat(fd(), nameBytes(name).constData(),
                                 O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file.isOpen()) {
        fail(QStringLiteral("Het bestand kan niet geopend worden:"), pathOf(name), errno);
    }
    struct stat st {};
    if (::fstat(file.get(), &st) != 0) {
        fail(QStringLiteral("Het bestand kan niet gelezen worden:"), pathOf(name), errno);
    }
    if (!S_ISREG(st.st_mode)) {
        throw FolderFileError(QStringLiteral("%1 is geen gewoon bestand").arg(pathOf(name)));
    }
    if (st.st_size > maxBytes) {
        throw FolderFileError(QStringLiteral("%1 is groter dan %2 bytes").arg(pathOf(name)).arg(maxBytes));
    }
    // a plain file: reading it does not block, and blocking reads are what the callers expect
    ::fcntl(file.get(), F_SETFL, ::fcntl(file.get(), F_GETFL) & ~O_NONBLOCK);
    return file;
}

void readInChunks(int fd, qint64 maxBytes, const QString& shownAs,
                  const std::function<void(QByteArrayView piece)>& take) {
    char buffer[1 << 16];
    qint64 total = 0;
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            fail(QStringLiteral("Het bestand kan niet gelezen worden:"), shownAs, errno);
        }
        if (got == 0) {
            return;
        }
        total += got;
        if (total > maxBytes) {
            throw FolderFileError(QStringLiteral("%1 is groter dan %2 bytes").arg(shownAs).arg(maxBytes));
        }
        take(QByteArrayView(buffer, got));
    }
}

QByteArray readAllFrom(int fd, qint64 maxBytes, const QString& shownAs) {
    QByteArray bytes;
    readInChunks(fd, maxBytes, shownAs, [&](QByteArrayView piece) { bytes.append(piece); });
    return bytes;
}

QByteArray FolderHandle::readAll(const QString& name, qint64 maxBytes) const {
    const FileDescriptor file = openForReading(name, maxBytes);
    return readAllFrom(file.get(), maxBytes, pathOf(name));
}

FileDescriptor FolderHandle::openForAppending(const QString& name) const {
    FileDescriptor file(
        ::openat(fd(), nameBytes(name).constData(),
                 O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600));
    if (!file.isOpen()) {
        fail(QStringLiteral("Het bestand kan niet geopend worden:"), pathOf(name), errno);
    }
    struct stat st {};
    if (::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        throw FolderFileError(QStringLiteral("%1 is geen gewoon bestand").arg(pathOf(name)));
    }
    return file;
}

FileDescriptor FolderHandle::createNew(const QString& name) const {
    FileDescriptor file(::openat(fd(), nameBytes(name).constData(),
                                 O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!file.isOpen()) {
        fail(QStringLiteral("Het bestand kan niet gemaakt worden:"), pathOf(name), errno);
    }
    return file;
}

bool FolderHandle::exists(const QString& name) const {
    struct stat st {};
    return ::fstatat(fd(), nameBytes(name).constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

bool FolderHandle::remove(const QString& name) const {
    if (::unlinkat(fd(), nameBytes(name).constData(), 0) == 0) {
        return true;
    }
    if (errno == ENOENT) {
        return false;
    }
    fail(QStringLiteral("Het bestand kan niet verwijderd worden:"), pathOf(name), errno);
}

void FolderHandle::rename(const QString& from, const QString& to) const {
    if (::renameat(fd(), nameBytes(from).constData(), fd(), nameBytes(to).constData()) != 0) {
        fail(QStringLiteral("Het bestand kan niet hernoemd worden:"), pathOf(from), errno);
    }
}

void FolderHandle::flush() const {
    if (::fsync(fd()) != 0) {
        fail(QStringLiteral("De map kan niet naar schijf geschreven worden:"), path_, errno);
    }
}

QStringList FolderHandle::entries() const {
    QStringList names;
    const int copy = ::openat(fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (copy < 0) {
        fail(QStringLiteral("De map kan niet gelezen worden:"), path_, errno);
    }
    DIR* dir = ::fdopendir(copy);
    if (!dir) {
        ::close(copy);
        fail(QStringLiteral("De map kan niet gelezen worden:"), path_, errno);
    }
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..") {
            names << QFile::decodeName(name);
        }
    }
    ::closedir(dir);
    return names;
}

}  // namespace vk
