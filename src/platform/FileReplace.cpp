#include "platform/FileReplace.h"

#include "platform/Errors.h"
#include "platform/FileDescriptor.h"
#include "platform/FileNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vk {

namespace {

[[noreturn]] void fail(const QString& path, const QString& reason) {
    throw FileError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, reason));
}

#ifdef Q_OS_UNIX
// The mode a new file gets from the process's umask, read once.
mode_t defaultFileMode() {
    static const mode_t mode = [] {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return static_cast<mode_t>(0666 & ~mask);
    }();
    return mode;
}

// A temporary file beside the target, hidden and with a short name no reader looks for (so that
// a target name of full length still fits); removed unless it has been renamed into place.
class TemporaryBeside {
public:
    explicit TemporaryBeside(const QString& target) {
        name_ = encodeFileName(QFileInfo(target).path() + QStringLiteral("/.vk-tmp-XXXXXX"));
        fd_ = ::mkostemp(name_.data(), O_CLOEXEC);
    }
    ~TemporaryBeside() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        if (!renamed_) {
            ::unlink(name_.constData());
        }
    }
    TemporaryBeside(const TemporaryBeside&) = delete;
    TemporaryBeside& operator=(const TemporaryBeside&) = delete;

    int fd() const { return fd_; }
    const QByteArray& name() const { return name_; }
    // closes the file; false with errno set when the last writes failed
    bool close() {
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc == 0;
    }
    void keep() { renamed_ = true; }
    bool renameTo(const QByteArray& target) {
        renamed_ = ::rename(name_.constData(), target.constData()) == 0;
        return renamed_;
    }

private:
    QByteArray name_;
    int fd_ = -1;
    bool renamed_ = false;
};
#endif

}  // namespace

void writeFileReplacing(const QString& path, const QByteArray& bytes, Durability durability,
                        FileAccess access,
                        const std::function<void(const QString& temporaryPath)>& beforeRename) {
#ifdef Q_OS_UNIX
    TemporaryBeside temp(path);
    if (temp.fd() < 0) {
        fail(path, systemErrorText(errno));
    }
    if (::fchmod(temp.fd(), access == FileAccess::OwnerOnly ? mode_t{0600} : defaultFileMode()) != 0) {
        fail(path, systemErrorText(errno));
    }
    if (!writeAll(temp.fd(), bytes.constData(), static_cast<std::size_t>(bytes.size()))) {
        fail(path, systemErrorText(errno));
    }
    if (durability == Durability::Flushed && ::fdatasync(temp.fd()) != 0) {
        fail(path, systemErrorText(errno));
    }
    if (!temp.close()) {
        fail(path, systemErrorText(errno));
    }
    if (beforeRename) {
        beforeRename(decodeFileName(temp.name()));
    }
    if (!temp.renameTo(encodeFileName(path))) {
        const int error = errno;
        if (beforeRename) {
            temp.keep();  // the caller noted it: it finishes the rename later
        }
        fail(path, systemErrorText(error));
    }
#else
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        fail(path, file.errorString());
    }
    if (access == FileAccess::OwnerOnly &&
        !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        fail(path, file.errorString());
    }
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        fail(path, file.errorString());
    }
    Q_UNUSED(durability);  // QSaveFile flushes the file before it renames it
    if (beforeRename) {
        beforeRename(path);
    }
    if (!file.commit()) {
        fail(path, file.errorString());
    }
#endif
}

int removeLeftoverTemporaryFiles(const QString& folder, const QDateTime& before, const QSet<QString>& keep) {
    int removed = 0;
    QSet<QString> kept;
    for (const QString& path : keep) {
        kept.insert(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    }
    const QFileInfoList leftovers =
        QDir(folder).entryInfoList({QStringLiteral(".vk-tmp-*")}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo& file : leftovers) {
        if (!file.isSymLink() && file.lastModified() < before &&
            !kept.contains(QDir::cleanPath(file.absoluteFilePath())) && QFile::remove(file.filePath())) {
            ++removed;
        }
    }
    return removed;
}

bool flushFileSystemOf(const QString& folder) {
    const FileDescriptor fd(::open(encodeFileName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd.isOpen() && ::syncfs(fd.get()) == 0;
}

void keepAlsoAs(const QString& path, const QString& otherPath) {
    if (::link(encodeFileName(path).constData(), encodeFileName(otherPath).constData()) == 0) {
        return;
    }
    if (!QFile::copy(path, otherPath)) {
        throw FileError(
            QStringLiteral("Cannot create file \"%1\". %2").arg(otherPath, systemErrorText(errno)));
    }
}

}  // namespace vk
