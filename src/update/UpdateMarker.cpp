#include "update/UpdateMarker.h"

#include <QCryptographicHash>
#include <QFileInfo>

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
    readInChunks(file.get(), kMaxProgramBytes, folder.pathOf(name),
                 [&](QByteArrayView piece) { hash.addData(piece); });
    return hash.result().toHex();
}

std::unique_ptr<HeldLock> takeInstallationLock(const FolderHandle& installation,
                                               std::chrono::milliseconds wait, QString* why) {
    QString cannot;
    std::unique_ptr<HeldLock> lock =
        HeldLock::take(installation, kInstallationLockName.toString(), wait, &cannot);
    if (!lock && why) {
        *why = cannot.isEmpty() ? QStringLiteral("Een andere update van %1 is bezig").arg(installation.path())
                                : cannot;
    }
    return lock;
}

ConfirmOutcome confirmUpdate(const QString& programFile) {
    const QFileInfo program(programFile);
    const FolderHandle installation = FolderHandle::open(program.absolutePath());
    if (!updateMarkerExists(installation)) {
        return ConfirmOutcome::NothingToConfirm;
    }
    const std::unique_ptr<HeldLock> lock = takeInstallationLock(installation, std::chrono::milliseconds(0));
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
