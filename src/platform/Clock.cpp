#include "platform/Clock.h"

namespace vk {

QDateTime SystemClock::now() const {
    return QDateTime::currentDateTime();
}

}  // namespace vk
