#include "shell/Liveness.h"

#include "platform/Clock.h"

namespace vk {

QString livenessText(const std::optional<QDateTime>& lastCycle, const w2w::DocumentCounts& counts) {
    if (!lastCycle) {
        return QStringLiteral("Nog geen cyclus");
    }
    return QStringLiteral("Laatste cyclus %1 \u00b7 %2 verwerkt \u00b7 %3 geweigerd")
        .arg(logTimestamp(*lastCycle))
        .arg(counts.handled)
        .arg(counts.refused);
}

QString trayHintText(const QString& caption, const QString& liveness) {
    QString hint = liveness.isEmpty() ? caption : caption + u'\n' + liveness;
    hint.truncate(kTrayHintLength);
    return hint;
}

}  // namespace vk
