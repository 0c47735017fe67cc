#include "updater/UpdaterLog.h"

#include <QFile>

#include <cstdio>

namespace vk {

void UpdaterLog::line(const QString& text) {
    const QByteArray bytes = (logTimestamp(clock_.now()) + QStringLiteral(" - ") + text + u'\n').toUtf8();
    std::fputs(bytes.constData(), stderr);
    if (!file_.isEmpty()) {
        QFile file(file_);
        // a log that cannot be written must not stop an update half way: standard error still has it
        if (file.open(QIODevice::WriteOnly | QIODevice::Append)) {
            file.write(bytes);
            file.flush();
        }
    }
}

}  // namespace vk
