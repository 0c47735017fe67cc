#include "platform/IntegerReading.h"

#include <cstdint>
#include <limits>

namespace vk {

namespace {

int digitValue(QChar c, bool hex) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') {
        return u - u'0';
    }
    if (hex && u >= u'a' && u <= u'f') {
        return u - u'a' + 10;
    }
    if (hex && u >= u'A' && u <= u'F') {
        return u - u'A' + 10;
    }
    return -1;
}

}  // namespace

int readInteger(QStringView text) noexcept {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == u' ') {
        ++i;
    }
    bool negative = false;
    if (i < n && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    bool hex = false;
    if (i < n && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        hex = true;
        i += 2;
    }

    // The magnitude saturates just above the int range, so that clamping needs no wider type.
    constexpr std::int64_t limit = std::int64_t{std::numeric_limits<int>::max()} + 1;
    const int base = hex ? 16 : 10;
    std::int64_t magnitude = 0;
    bool reachedEnd = true;
    for (; i < n; ++i) {
        const int d = digitValue(text[i], hex);
        if (d < 0) {
            reachedEnd = false;
            break;
        }
        magnitude = magnitude * base + d;
        if (magnitude > limit) {
            magnitude = limit;
        }
    }

    if (negative && reachedEnd) {
        return static_cast<int>(-magnitude);  // -limit is exactly INT_MIN
    }
    return static_cast<int>(magnitude >= limit ? limit - 1 : magnitude);
}

}  // namespace vk
