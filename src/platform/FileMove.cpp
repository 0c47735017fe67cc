#include "platform/FileMove.h"

#include "platform/Errors.h"
#include "platform/FileNames.h"
#include "platform/Paths.h"

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vk {

namespace {

constexpr int kMostNumbers = 10000;

// The name with a number for the n-th entry of that name: "4711.s2c" → "4711 (2).s2c".
QString numberedName(const QString& name, int n) {
    if (n == 1) {
        return name;
    }
    const qsizetype dot = name.lastIndexOf(u'.');
    const qsizetype cut = dot > 0 ? dot : name.size();
    return name.left(cut) + QStringLiteral(" (%1)").arg(n) + name.mid(cut);
}

enum class Rename { Done, TargetTaken, SourceGone, Failed };

// A rename that never replaces what is at the target.
Rename renameWithoutReplacing(const QByteArray& from, const QByteArray& to) {
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) {
        return Rename::Done;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno == EEXIST ? Rename::TargetTaken : errno == ENOENT ? Rename::SourceGone : Rename::Failed;
    }
#endif
    // a file system without the flag: look first (a race with another mover is possible there)
    struct stat info {};
    if (::lstat(to.constData(), &info) == 0) {
        return Rename::TargetTaken;
    }
    if (::rename(from.constData(), to.constData()) == 0) {
        return Rename::Done;
    }
    return errno == ENOENT ? Rename::SourceGone : Rename::Failed;
}

}  // namespace

bool makeFolderIfMissing(const QString& path) {
    if (::mkdir(encodeFileName(path).constData(), 0777) == 0) {
        return true;
    }
    if (errno == EEXIST) {
        return false;
    }
    throw FileError(
        QStringLiteral("De map \"%1\" kan niet gemaakt worden. %2").arg(path, systemErrorText(errno)));
}

std::optional<QString> moveIntoFolder(const QString& path, const QString& folder) {
    makeFolderIfMissing(folder);
    const QByteArray from = encodeFileName(path);
    const QString name = path.mid(path.lastIndexOf(QDir::separator()) + 1);
    for (int n = 1; n <= kMostNumbers; ++n) {
        const QString target = joinPath(folder, numberedName(name, n));
        switch (renameWithoutReplacing(from, encodeFileName(target))) {
            case Rename::Done:
                return target;
            case Rename::SourceGone:
                return std::nullopt;
            case Rename::TargetTaken:
                continue;
            case Rename::Failed:
                throw FileError(QStringLiteral("\"%1\" kan niet verplaatst worden naar \"%2\". %3")
                                    .arg(path, target, systemErrorText(errno)));
        }
    }
    throw FileError(QStringLiteral("\"%1\" kan niet verplaatst worden naar \"%2\". %3")
                        .arg(path, folder, systemErrorText(EEXIST)));
}

std::optional<EntryLook> lookAt(const QString& path) {
    struct stat info {};
    if (::lstat(encodeFileName(path).constData(), &info) != 0) {
        return std::nullopt;
    }
    return EntryLook{info.st_size, qint64{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec};
}

}  // namespace vk
