#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace vk::w2w {

// Fills lines with the acknowledgement of the given kind for the document whose "<id>" text is
// id, and saves them in the ANSI code page with CR LF line ends as outboundFolder + separator +
// the acknowledgement name of inboundName, replacing a file of that name. The file appears whole
// or not at all. Raises a FileError when it cannot be written. beforeRename: see writeFileReplacing.
void writeAcknowledgementFile(QStringList& lines, const QString& outboundFolder, const QString& inboundName,
                              const QString& kind, const QString& id,
                              const std::function<void(const QString& temporaryPath)>& beforeRename = {});

// The path of the acknowledgement of inboundName in outboundFolder.
QString acknowledgementPath(const QString& outboundFolder, const QString& inboundName);

// The lines of a text file joined with CR LF after every line, the last one too.
QString joinLines(const QStringList& lines);

}  // namespace vk::w2w
