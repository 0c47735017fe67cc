#include "updater/ProgramReplace.h"

#include "platform/FileDescriptor.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vk {

namespace {

QString reason() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

}  // namespace

unsigned permissionsOf(const QString& file) {
    struct stat st {};
    if (::stat(QFile::encodeName(file).constData(), &st) != 0) {
        return 0755;
    }
    return st.st_mode & 07777;
}

StagedCopy::StagedCopy(const QString& source, QString target, unsigned permissions)
    : source_(source), target_(std::move(target)) {
    const QFileInfo info(target_);
    path_ = info.absolutePath() + QStringLiteral("/.%1.vk-update-%2").arg(info.fileName()).arg(::getpid());
    const QByteArray temporaryName = QFile::encodeName(path_);
    const auto fail = [&](const QString& what) {
        const QString why = reason();
        ::unlink(temporaryName.constData());
        throw ReplaceError(
            QStringLiteral("%1 kan niet naar %2 gekopieerd worden: %3 (%4)").arg(source, target_, what, why));
    };
    FileDescriptor in(::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) {
        fail(QStringLiteral("lezen"));
    }
    ::unlink(temporaryName.constData());
    FileDescriptor out(
        ::open(temporaryName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (out.get() < 0) {
        fail(QStringLiteral("tijdelijk bestand maken"));
    }
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(in.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            fail(QStringLiteral("lezen"));
        }
        if (got == 0) {
            break;
        }
        if (!writeAll(out.get(), buffer, static_cast<std::size_t>(got))) {
            fail(QStringLiteral("schrijven"));
        }
    }
    if (::fchmod(out.get(), permissions) != 0) {
        fail(QStringLiteral("rechten zetten"));
    }
    if (::fsync(out.get()) != 0 || !out.close()) {
        fail(QStringLiteral("naar schijf schrijven"));
    }
}

StagedCopy::~StagedCopy() {
    if (!committed_) {
        ::unlink(QFile::encodeName(path_).constData());
    }
}

void StagedCopy::commit() {
    if (::rename(QFile::encodeName(path_).constData(), QFile::encodeName(target_).constData()) != 0) {
        throw ReplaceError(QStringLiteral("%1 kan niet naar %2 gekopieerd worden: vervangen (%3)")
                               .arg(source_, target_, reason()));
    }
    committed_ = true;
    // the rename itself on disk: a power cut must not bring back the old name's file
    FileDescriptor folder(::open(QFile::encodeName(QFileInfo(target_).absolutePath()).constData(),
                                 O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0) {
        ::fsync(folder.get());
    }
}

void installCopy(const QString& source, const QString& target, unsigned permissions) {
    StagedCopy(source, target, permissions).commit();
}

}  // namespace vk
