#pragma once

#include <QString>

#include <variant>

namespace vk {

// The download the link hands over: a plain file directly in <data folder>/TempDownloads.
struct DownloadArgument {
    QString dataFolder;
    QString downloadsFolder;  // <data folder>/TempDownloads
    QString fileName;         // the download's name in it
    QString path() const { return downloadsFolder + u'/' + fileName; }
};

// The updater's one argument, the download's absolute path between apostrophes, as the link gives
// it. Anything else (another shape, a relative path, "." or ".." in it, a file that is not a plain
// file or not directly in a real TempDownloads folder) gives the reason it is refused: nothing is
// touched for such an argument, not even a log file.
std::variant<DownloadArgument, QString> parseDownloadArgument(const QString& parameter);

}  // namespace vk
