#include "platform/FileReplace.h"

#include "platform/Errors.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace vk {

namespace {

[[noreturn]] void fail(const QString& path, const QString& reason) {
    throw FileError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, reason));
}

}  // namespace

void writeFileReplacing(const QString& path, const QByteArray& bytes, FileAccess access) {
    const QFileInfo target(path);
    if (!target.absoluteDir().exists()) {
        fail(path, QString::fromLocal8Bit(std::strerror(ENOENT)));
    }
    if (target.isDir()) {
        fail(path, QString::fromLocal8Bit(std::strerror(EISDIR)));
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        fail(path, file.errorString());
    }
    if (access == FileAccess::OwnerOnly &&
        !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        const QString reason = file.errorString();
        file.cancelWriting();
        fail(path, reason);
    }
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        fail(path, reason);
    }
#ifdef Q_OS_UNIX
    if (::fsync(file.handle()) != 0) {
        const int error = errno;
        file.cancelWriting();
        fail(path, QString::fromLocal8Bit(std::strerror(error)));
    }
#endif
    if (!file.commit()) {
        fail(path, file.errorString());
    }
}

}  // namespace vk
