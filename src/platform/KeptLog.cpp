#include "platform/KeptLog.h"

#include "platform/Errors.h"
#include "platform/FileMove.h"
#include "platform/FileNames.h"

#include <QDir>
#include <QRegularExpression>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace vk {

KeptLog::KeptLog(LogView& view, const QString& dataFolder, const Clock& clock)
    : view_(view), folder_(dataFolder + kFolderName.toString()), clock_(clock) {
    removeOldFiles(clock_.now().date());
}

KeptLog::~KeptLog() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

QString KeptLog::fileOf(const QDate& day) const {
    return folder_ + QDir::separator() + day.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".log");
}

void KeptLog::appendLine(const QString& line) {
    view_.appendLine(line);
    keep(line);
}

void KeptLog::replaceText(const QString& text) {
    view_.replaceText(text);
    keep(text);
}

void KeptLog::keepOnly(const QString& line) {
    keep(line);
}

void KeptLog::keep(const QString& text) {
    const QDate today = clock_.now().date();
    if (today != day_ && fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
        removeOldFiles(today);
    }
    QString why;
    if (fd_ < 0) {
        try {
            makeFolderIfMissing(folder_);
            fd_ = ::open(encodeFileName(fileOf(today)).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC,
                         0644);
            if (fd_ < 0) {
                why = systemErrorText(errno);
            } else {
                day_ = today;
            }
        } catch (const FileError& error) {
            why = error.message();
        }
    }
    if (fd_ >= 0) {
        QString flat = text;
        flat.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
        const QByteArray bytes = flat.toUtf8() + '\n';
        qsizetype written = 0;
        while (written < bytes.size()) {
            const ssize_t n =
                ::write(fd_, bytes.constData() + written, static_cast<size_t>(bytes.size() - written));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                why = systemErrorText(n < 0 ? errno : ENOSPC);
                break;
            }
            written += n;
        }
    }
    if (why.isEmpty()) {
        failureSaid_ = false;
        return;
    }
    if (!failureSaid_) {
        failureSaid_ = true;
        view_.appendLine(
            logTimestamp(clock_.now()) +
            QStringLiteral(" - Het logbestand %1 kan niet geschreven worden (%2); de koppeling gaat door")
                .arg(fileOf(today), why));
    }
}

void KeptLog::removeOldFiles(const QDate& today) {
    static const QRegularExpression dated(QStringLiteral("^(\\d{4}-\\d{2}-\\d{2})\\.log$"));
    const QDate oldestKept = today.addDays(-kKeepDays);
    for (const QString& name : QDir(folder_).entryList({QStringLiteral("*.log")}, QDir::Files)) {
        const QRegularExpressionMatch match = dated.match(name);
        if (!match.hasMatch()) {
            continue;
        }
        const QDate day = QDate::fromString(match.captured(1), QStringLiteral("yyyy-MM-dd"));
        if (day.isValid() && day < oldestKept) {
            QFile::remove(folder_ + QDir::separator() + name);
        }
    }
}

}  // namespace vk
