#include "updater/ProgramReplace.h"

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

// A descriptor that is closed whatever happens.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool writeAll(int fd, const char* data, ssize_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(size));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
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
    Descriptor in(::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) {
        fail(QStringLiteral("lezen"));
    }
    ::unlink(temporaryName.constData());
    Descriptor out(
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
        if (!writeAll(out.get(), buffer, got)) {
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
    Descriptor folder(::open(QFile::encodeName(QFileInfo(target_).absolutePath()).constData(),
                             O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0) {
        ::fsync(folder.get());
    }
}

void installCopy(const QString& source, const QString& target, unsigned permissions) {
    StagedCopy(source, target, permissions).commit();
}

}  // namespace vk
