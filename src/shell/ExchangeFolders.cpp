#include "shell/ExchangeFolders.h"

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

}  // namespace vk
