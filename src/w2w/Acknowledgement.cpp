#include "w2w/Acknowledgement.h"

#include "platform/AnsiCodePage.h"
#include "platform/FileReplace.h"
#include "platform/Paths.h"
#include "w2w/W2WFormat.h"

namespace vk::w2w {

QString joinLines(const QStringList& lines) {
    QString text;
    for (const QString& line : lines) {
        text += line;
        text += u"\r\n";
    }
    return text;
}

QString acknowledgementPath(const QString& outboundFolder, const QString& inboundName) {
    return joinPath(outboundFolder, acknowledgementFileName(inboundName));
}

void writeAcknowledgementFile(QStringList& lines, const QString& outboundFolder, const QString& inboundName,
                              const QString& kind, const QString& id,
                              const std::function<void(const QString& temporaryPath)>& beforeRename) {
    lines.clear();
    lines << acknowledgementLines(kind, id);
    // Atomic, so that the partner never reads half an answer; not flushed, since the order it
    // answers is already safe in the database or refused.
    writeFileReplacing(acknowledgementPath(outboundFolder, inboundName), ansi::encode(joinLines(lines)),
                       Durability::Atomic, FileAccess::Default, beforeRename);
}

}  // namespace vk::w2w
