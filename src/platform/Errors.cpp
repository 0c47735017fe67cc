#include "platform/Errors.h"

#include <cstring>

namespace vk {

Error::Error(QString message) : message_(std::move(message)), utf8_(message_.toStdString()) {}

QString systemErrorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QString errorMessage(const std::exception& error) {
    if (const auto* own = dynamic_cast<const Error*>(&error)) {
        return own->message();
    }
    return QString::fromLocal8Bit(error.what());
}

}  // namespace vk
