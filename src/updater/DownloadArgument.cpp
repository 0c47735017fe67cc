#include "updater/DownloadArgument.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

namespace vk {

namespace {

bool isKind(const QString& path, mode_t kind) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && (st.st_mode & S_IFMT) == kind;
}

}  // namespace

std::variant<DownloadArgument, QString> parseDownloadArgument(const QString& parameter) {
    const QString usage = QStringLiteral("Gebruik: VeloraUpdater '<pad van de download>' (gekregen: %1)");
    if (parameter.size() < 3 || !parameter.startsWith(u'\'') || !parameter.endsWith(u'\'')) {
        return usage.arg(parameter);
    }
    const QString path = parameter.mid(1, parameter.size() - 2);
    const QString refused = QStringLiteral("Geweigerd: %1 is geen download in een map TempDownloads (%2)");
    if (!path.startsWith(u'/') || path.contains(QChar(0))) {
        return refused.arg(path, QStringLiteral("geen volledig pad"));
    }
    for (const QString& part : path.mid(1).split(u'/')) {
        if (part.isEmpty() || part == u"." || part == u"..") {
            return refused.arg(path, QStringLiteral("\".\", \"..\" of een lege naam in het pad"));
        }
    }
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString downloads = path.left(slash);
    if (downloads.mid(downloads.lastIndexOf(u'/') + 1) != u"TempDownloads") {
        return refused.arg(path, QStringLiteral("niet direct in TempDownloads"));
    }
    const QString dataFolder = downloads.left(downloads.lastIndexOf(u'/'));
    if (dataFolder.isEmpty()) {
        return refused.arg(path, QStringLiteral("geen gegevensmap"));
    }
    if (!isKind(downloads, S_IFDIR)) {
        return refused.arg(path, QStringLiteral("TempDownloads is geen map"));
    }
    if (!isKind(path, S_IFREG)) {
        return refused.arg(path, QStringLiteral("geen gewoon bestand"));
    }
    return DownloadArgument{dataFolder, downloads, path.mid(slash + 1)};
}

}  // namespace vk
