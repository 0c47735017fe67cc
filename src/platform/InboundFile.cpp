#include "platform/InboundFile.h"

#include "platform/AnsiCodePage.h"
#include "platform/Errors.h"
#include "platform/FileDescriptor.h"
#include "platform/FileNames.h"

#include <QFile>
#include <QStringDecoder>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vk {

namespace {

QString cannotOpen(const QString& path, const QString& reason) {
    return QStringLiteral("Het bestand \"%1\" kan niet geopend worden. %2").arg(path, reason);
}

QString tooLarge(qint64 size) {
    return QStringLiteral("Het bestand is %1 bytes groot; de grens is %2 bytes")
        .arg(size)
        .arg(kMaxDeliveredFileSize);
}

#ifdef Q_OS_UNIX
// A read lease is refused while any other open file description has the file open for writing;
// that is how a file still being written is told apart from a finished one. A writer that opens
// the file while the lease is held makes the kernel signal the holder (SIGIO): the signal is
// ignored, and the lease goes when the file is closed right after reading.
int takeReadLease(int fd) {
    return fcntl(fd, F_SETLEASE, F_RDLCK);
}

LeaseCall leaseCall = takeReadLease;

enum class Writer { None, Present, Unknown };

Writer writerOf(int fd) {
    static std::once_flag ignoreLeaseBreaks;
    std::call_once(ignoreLeaseBreaks, [] {
        struct sigaction current {};
        if (sigaction(SIGIO, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
            std::signal(SIGIO, SIG_IGN);
        }
    });
    if (leaseCall(fd) == 0) {
        return Writer::None;
    }
    // EAGAIN/EBUSY: another open file description has it for writing. Anything else (a file of
    // another owner without the right to lease it, a file system without leases): no telling.
    return errno == EAGAIN || errno == EBUSY ? Writer::Present : Writer::Unknown;
}
#endif

}  // namespace

void setLeaseCall(LeaseCall call) {
#ifdef Q_OS_UNIX
    leaseCall = call != nullptr ? call : takeReadLease;
#else
    Q_UNUSED(call);
#endif
}

bool StabilityLooks::standsStill(const QString& path, qint64 size, qint64 modifiedNs) {
    const qint64 now = now_();
    const auto it = looks_.find(path);
    if (it == looks_.end() || it->size != size || it->modifiedNs != modifiedNs) {
        looks_.insert(path, Look{size, modifiedNs, now});
        return false;
    }
    return now - it->since >= 1000;
}

QByteArray readDeliveredFile(const QString& path, StabilityLooks* looks) {
#ifdef Q_OS_UNIX
    const QByteArray nativePath = encodeFileName(path);
    // A symbolic link is not followed: its target may be any file the link's account can read.
    const FileDescriptor fd(
        ::open(nativePath.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW));
    if (fd.get() < 0) {
        if (errno == ENOENT) {
            throw FileGone(cannotOpen(path, systemErrorText(errno)));
        }
        // a file the link may not read is not going to be readable at the next look either
        if (errno == EACCES || errno == EPERM) {
            throw FileRefusedForGood(cannotOpen(path, systemErrorText(errno)));
        }
        if (errno == ELOOP) {
            throw FileRefusedForGood(
                cannotOpen(path, QStringLiteral("Het bestand is een symbolische koppeling en wordt "
                                                "niet gevolgd")));
        }
        throw FileError(cannotOpen(path, systemErrorText(errno)));
    }
    struct stat info {};
    if (fstat(fd.get(), &info) != 0) {
        throw FileError(cannotOpen(path, systemErrorText(errno)));
    }
    if (S_ISDIR(info.st_mode)) {
        throw FileRefusedForGood(cannotOpen(path, systemErrorText(EISDIR)));
    }
    if (!S_ISREG(info.st_mode)) {
        throw FileRefusedForGood(cannotOpen(path, QStringLiteral("Het is geen gewoon bestand")));
    }
    if (info.st_size > kMaxDeliveredFileSize) {
        throw FileRefusedForGood(cannotOpen(path, tooLarge(info.st_size)));
    }
    switch (writerOf(fd.get())) {
        case Writer::Present:
            throw FileError(
                cannotOpen(path, QStringLiteral("Een ander programma schrijft nog in het bestand")));
        case Writer::Unknown:
            if (looks != nullptr &&
                !looks->standsStill(path, info.st_size,
                                    qint64{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec)) {
                throw FileNotYetStable(
                    cannotOpen(path, QStringLiteral("Het bestand wordt mogelijk nog geschreven")));
            }
            break;
        case Writer::None:
            break;
    }
    if (looks != nullptr) {
        looks->forget(path);
    }
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw FileError(QStringLiteral("Het bestand \"%1\" kan niet gelezen worden. %2")
                                .arg(path, systemErrorText(errno)));
        }
        if (got == 0) {
            break;
        }
        bytes.append(buffer, got);
        if (bytes.size() > kMaxDeliveredFileSize) {  // it grew while being read
            throw FileRefusedForGood(cannotOpen(path, tooLarge(bytes.size())));
        }
    }
    return bytes;
#else
    Q_UNUSED(looks);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw FileError(cannotOpen(path, file.errorString()));
    }
    return file.readAll();
#endif
}

bool removeDeliveredFile(const QString& path) {
    if (::unlink(encodeFileName(path).constData()) == 0) {
        return true;
    }
    if (errno == ENOENT) {
        return false;
    }
    throw FileError(QStringLiteral("Het bestand \"%1\" kan niet verwijderd worden. %2")
                        .arg(path, systemErrorText(errno)));
}

bool claimDeliveredFile(const QString& path, const QString& claimedPath) {
    if (::rename(encodeFileName(path).constData(), encodeFileName(claimedPath).constData()) == 0) {
        return true;
    }
    const int error = errno;
    if (error == ENOENT) {
        return false;
    }
    const QString message = QStringLiteral("Het bestand \"%1\" kan niet verplaatst worden naar \"%2\". %3")
                                .arg(path, claimedPath, systemErrorText(error));
    // a name the folder cannot take is refused the same at every try
    if (error == ENAMETOOLONG || error == EINVAL) {
        throw FileRefusedForGood(message);
    }
    throw FileError(message);
}

namespace {

// Half of a surrogate pair is no character: the UTF-16 decoder lets it through, the load does not.
bool hasLoneSurrogate(QStringView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;
        } else if (text[i].isSurrogate()) {
            return true;
        }
    }
    return false;
}

}  // namespace

QString decodeTextFile(const QByteArray& bytes, const QString& path) {
    const auto strict = [&](QStringConverter::Encoding encoding, qsizetype markLength) {
        // a second mark after the first one is text, not a mark
        QStringDecoder decoder(encoding,
                               QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
        QString text = decoder(QByteArrayView(bytes).sliced(markLength));
        // half a UTF-16 unit at the end is a truncated file, not a character to drop
        const bool truncated = encoding != QStringConverter::Utf8 && (bytes.size() - markLength) % 2 != 0;
        if (decoder.hasError() || truncated || hasLoneSurrogate(text)) {
            throw FileRefusedForGood(
                QStringLiteral(
                    "Het bestand \"%1\" kan niet gelezen worden. De inhoud is geen geldige %2-tekst")
                    .arg(path, encoding == QStringConverter::Utf8 ? QStringLiteral("UTF-8")
                                                                  : QStringLiteral("UTF-16")));
        }
        return text;
    };
    if (bytes.startsWith("\xFF\xFE")) {
        return strict(QStringConverter::Utf16LE, 2);
    }
    if (bytes.startsWith("\xFE\xFF")) {
        return strict(QStringConverter::Utf16BE, 2);
    }
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        return strict(QStringConverter::Utf8, 3);
    }
    return ansi::decode(bytes);
}

QString adjustLineBreaks(QStringView text) {
    QString out;
    out.reserve(text.size() + text.size() / 32);
    const qsizetype n = text.size();
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n') {
            continue;
        }
        out.append(text.sliced(runStart, i - runStart));
        out.append(u"\r\n");
        // CR LF and LF CR are one break each
        if (i + 1 < n && text[i + 1] != c && (text[i + 1] == u'\r' || text[i + 1] == u'\n')) {
            ++i;
        }
        runStart = i + 1;
    }
    out.append(text.sliced(runStart));
    return out;
}

QString loadTextFile(const QString& path, StabilityLooks* looks) {
    return adjustLineBreaks(decodeTextFile(readDeliveredFile(path, looks), path));
}

}  // namespace vk
