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
    const auto cannotCopy = [&](const QString& why) {
        return ReplaceError(QStringLiteral("%1 kan niet naar %2 gekopieerd worden: %3")
                                .arg(shownAs_, folder_.pathOf(target_), why));
    };
    const auto fail = [&](const QString& what, int error) {
        folder_.remove(name_);
        throw cannotCopy(QStringLiteral("%1 (%2)").arg(what, systemErrorText(error)));
    };
    FileDescriptor out(-1);
    try {
        folder_.remove(name_);
        out = folder_.createNew(name_);
    } catch (const FolderFileError& error) {
        throw cannotCopy(error.message());
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    try {
        readInChunks(sourceFd, maxBytes, shownAs_, [&](QByteArrayView piece) {
            hash.addData(piece);
            if (!writeAll(out.get(), piece.data(), static_cast<std::size_t>(piece.size()))) {
                fail(QStringLiteral("schrijven"), errno);
            }
        });
    } catch (const FolderFileError& error) {
        folder_.remove(name_);
        throw cannotCopy(error.message());
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
