#include "updater/UpdaterLog.h"

#include "platform/FileDescriptor.h"

#include <cstdio>

namespace vk {

void UpdaterLog::line(const QString& text) {
    QString oneLine = text;
    for (QChar& c : oneLine) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator) {
            c = u' ';
        }
    }
    const QByteArray bytes = (logTimestamp(clock_.now()) + QStringLiteral(" - ") + oneLine + u'\n').toUtf8();
    std::fputs(bytes.constData(), stderr);
    if (!folder_) {
        return;
    }
    // a log that cannot be written must not stop an update half way: standard error still has it
    try {
        const FileDescriptor file = folder_->openForAppending(kFileName.toString());
        static_cast<void>(writeAll(file.get(), bytes.constData(), static_cast<std::size_t>(bytes.size())));
    } catch (const FolderFileError& error) {
        if (!saidUnwritable_) {
            saidUnwritable_ = true;
            std::fprintf(stderr, "%s\n", qPrintable(error.message()));
        }
    }
}

}  // namespace vk
