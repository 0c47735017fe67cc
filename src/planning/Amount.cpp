#include "planning/Amount.h"

#include <cstdlib>

namespace vk {

std::optional<Amount> Amount::parse(QStringView text) {
    text = text.trimmed();
    bool negative = false;
    if (!text.isEmpty() && (text[0] == u'-' || text[0] == u'+')) {
        negative = text[0] == u'-';
        text = text.sliced(1);
    }
    const qsizetype dot = text.indexOf(u'.');
    const QStringView whole = dot < 0 ? text : text.first(dot);
    QStringView fraction = dot < 0 ? QStringView() : text.sliced(dot + 1);
    // trailing zeros beyond the second decimal change nothing ("12.5000" from a driver)
    while (fraction.size() > 2 && fraction.endsWith(u'0')) {
        fraction.chop(1);
    }
    if ((whole.isEmpty() && fraction.isEmpty()) || fraction.size() > 2 || whole.size() > 16) {
        return std::nullopt;
    }
    std::int64_t cents = 0;
    for (const QChar c : whole) {
        if (!c.isDigit() || c.unicode() > u'9') {
            return std::nullopt;
        }
        cents = cents * 10 + (c.unicode() - u'0');
    }
    for (qsizetype i = 0; i < 2; ++i) {
        const QChar c = i < fraction.size() ? fraction[i] : QChar(u'0');
        if (c.unicode() < u'0' || c.unicode() > u'9') {
            return std::nullopt;
        }
        cents = cents * 10 + (c.unicode() - u'0');
    }
    return Amount(negative ? -cents : cents);
}

QString Amount::toString() const {
    const std::uint64_t magnitude =
        cents_ < 0 ? 0 - static_cast<std::uint64_t>(cents_) : static_cast<std::uint64_t>(cents_);
    return QString::asprintf("%s%llu.%02llu", cents_ < 0 ? "-" : "",
                             static_cast<unsigned long long>(magnitude / 100),
                             static_cast<unsigned long long>(magnitude % 100));
}

}  // namespace vk
