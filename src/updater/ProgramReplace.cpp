#include "updater/ProgramReplace.h"

#include "platform/FileDescriptor.h"
#include "update/UpdateMarker.h"

#include <QCryptographicHash>
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace vk {

namespace {

QString stagedPrefix(const QString& target) {
    return QStringLiteral(".%1.vk-update-").arg(target);
}

}  // namespace

unsigned permissionsOf(const FolderHandle& folder, const QString& name) {
    struct stat st {};
    if (::fstatat(folder.fd(), QFile::encodeName(name).constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(st.st_mode)) {
        return 0755;
    }
    return st.st_mode & 0777;
}

StagedCopy::StagedCopy(int sourceFd, const QString& shownAs, FolderHandle folder, QString target,
                       unsigned permissions, qint64 maxBytes)
    : shownAs_(shownAs), folder_(std::move(folder)), target_(std::move(target)) {
    name_ = stagedPrefix(target_) + QString::number(::getpid());
    const auto fail = [&](const QString& what, int error) {
        folder_.remove(name_);
        throw ReplaceError(QStringLiteral("%1 kan niet naar %2 gekopieerd worden: %3 (%4)")
                               .arg(shownAs_, folder_.pathOf(target_), what, systemErrorText(error)));
    };
    try {
        folder_.remove(name_);
    } catch (const FolderFileError& error) {
        throw ReplaceError(error.message());
    }
    FileDescriptor out(::openat(folder_.fd(), QFile::encodeName(name_).constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!out.isOpen()) {
        throw ReplaceError(
            QStringLiteral("%1 kan niet naar %2 gekopieerd worden: tijdelijk bestand maken (%3)")
                .arg(shownAs_, folder_.pathOf(target_), systemErrorText(errno)));
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    char buffer[1 << 16];
    qint64 total = 0;
    for (;;) {
        const ssize_t got = ::read(sourceFd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            fail(QStringLiteral("lezen"), errno);
        }
        if (got == 0) {
            break;
        }
        total += got;
        if (total > maxBytes) {
            fail(QStringLiteral("groter dan %1 bytes").arg(maxBytes), EFBIG);
        }
        hash.addData(QByteArrayView(buffer, got));
        if (!writeAll(out.get(), buffer, static_cast<std::size_t>(got))) {
            fail(QStringLiteral("schrijven"), errno);
        }
    }
    if (::fchmod(out.get(), permissions) != 0) {
        fail(QStringLiteral("rechten zetten"), errno);
    }
    if (::fsync(out.get()) != 0 || !out.close()) {
        fail(QStringLiteral("naar schijf schrijven"), errno);
    }
    digest_ = hash.result().toHex();
}

StagedCopy::~StagedCopy() {
    if (!committed_) {
        ::unlinkat(folder_.fd(), QFile::encodeName(name_).constData(), 0);
    }
}

std::optional<QString> StagedCopy::commit() {
    try {
        folder_.rename(name_, target_);
    } catch (const FolderFileError& error) {
        throw ReplaceError(QStringLiteral("%1 kan niet naar %2 gekopieerd worden: vervangen (%3)")
                               .arg(shownAs_, folder_.pathOf(target_), error.message()));
    }
    committed_ = true;
    // the rename itself on disk: a power cut must not bring back the old name's file
    try {
        folder_.flush();
    } catch (const FolderFileError& error) {
        return QStringLiteral("%1 staat op zijn plaats, maar niet zeker op schijf: %2")
            .arg(folder_.pathOf(target_), error.message());
    }
    return std::nullopt;
}

QByteArray installCopy(const FolderHandle& source, const QString& sourceName, const FolderHandle& folder,
                       const QString& target, unsigned permissions, std::optional<QString>* unflushed) {
    try {
        const FileDescriptor in = source.openForReading(sourceName, kMaxProgramBytes);
        StagedCopy copy(in.get(), source.pathOf(sourceName), folder, target, permissions, kMaxProgramBytes);
        *unflushed = copy.commit();
        return copy.digest();
    } catch (const FolderFileError& error) {
        throw ReplaceError(error.message());
    }
}

int removeLeftoverCopies(const FolderHandle& folder, const QString& target) {
    int removed = 0;
    const QString prefix = stagedPrefix(target);
    for (const QString& name : folder.entries()) {
        if (name.startsWith(prefix) && folder.remove(name)) {
            ++removed;
        }
    }
    return removed;
}

}  // namespace vk
