#include "shell/ExchangeFolders.h"

#include "platform/FileReplace.h"

#include <QDir>
#include <QFileInfo>

namespace vk {

void prepareExchangeFolders(const QString& programFolder, Settings& settings) {
    const QString sep = QDir::separator();
    const QString w2w = programFolder + QStringLiteral("W2W");
    const QString inbound = w2w + sep + QStringLiteral("S2C");
    const QString outbound = w2w + sep + QStringLiteral("C2S");
    for (const QString& folder : {w2w, inbound, inbound + sep + QStringLiteral("Backups"), outbound,
                                  outbound + sep + QStringLiteral("Backups")}) {
        if (!QFileInfo(folder).isDir()) {
            QDir().mkdir(folder);
        }
    }
    const auto fill = [&](Setting id, const QString& folder) {
        if (settings.text(id).isEmpty() && QFileInfo(folder).isDir()) {
            settings.setText(id, folder);
        }
    };
    fill(Setting::w2wInkomende, inbound);
    fill(Setting::w2wUitgaande, outbound);
}

void removeLeftoversOfEarlierRuns(const QString& programFolder, const Settings& settings,
                                  const QDateTime& runStart, const QSet<QString>& notedAnswers) {
    QStringList folders{programFolder};
    if (const QString outbound = settings.text(Setting::w2wUitgaande); !outbound.isEmpty()) {
        folders << outbound;
    }
    if (const QString inbound = settings.text(Setting::w2wInkomende); !inbound.isEmpty()) {
        for (const QFileInfo& sub :
             QDir(inbound).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
            if (sub.fileName().compare(u"backups", Qt::CaseInsensitive) == 0) {
                folders << sub.filePath();
            }
        }
    }
    for (const QString& folder : folders) {
        removeLeftoverTemporaryFiles(folder, runStart, notedAnswers);
    }
}

}  // namespace vk
