#include "platform/Clock.h"

namespace vk {

QDateTime SystemClock::now() const {
    return QDateTime::currentDateTime();
}

QString logTimestamp(const QDateTime& time) {
    return time.toString(QStringLiteral("dd-MM-yyyy HH:mm:ss"));
}

}  // namespace vk
