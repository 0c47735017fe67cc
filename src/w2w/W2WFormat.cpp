#include "w2w/W2WFormat.h"

#include "platform/Errors.h"

#include <QStringList>

#include <cstdint>

namespace vk::w2w {

QString GetTagValue(QStringView tag, QStringView text) {
    const qsizetype open = text.indexOf(tag);
    if (tag.isEmpty() || open < 0) {
        return {};
    }
    const qsizetype valueStart = open + tag.size();
    QString closingTag = tag.toString();
    closingTag.replace(u'<', QStringLiteral("</"));
    // searched from the start of the text, not from the value
    const qsizetype close = text.indexOf(closingTag);
    if (close <= valueStart) {
        return {};
    }
    return text.sliced(valueStart, close - valueStart).toString();
}

namespace {

// A part of the pickup text by 1-based position; a part beyond the end is empty.
std::uint16_t part(QStringView text, qsizetype from, qsizetype length) {
    const qsizetype start = from - 1;
    if (start >= text.size()) {
        return 0;
    }
    return static_cast<std::uint16_t>(readInteger(text.sliced(start, std::min(length, text.size() - start))));
}

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

}  // namespace

QDateTime readPickupTime(QStringView ssec) {
    const int year = part(ssec, 1, 4);
    const int month = part(ssec, 5, 2);
    const int day = part(ssec, 7, 2);
    const int hour = part(ssec, 9, 2);
    const int minute = part(ssec, 11, 2);
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month)) {
        throw ConvertError(QStringLiteral("Invalid argument to date encode"));
    }
    if (hour > 23 || minute > 59) {
        throw ConvertError(QStringLiteral("Invalid argument to time encode"));
    }
    // A wall-clock time without zone: carried with the UTC spec so that no daylight-saving rule
    // moves an hour that the local zone skips.
    return QDateTime(QDate(year, month, day), QTime(hour, minute), Qt::UTC);
}

QString acknowledgementFileName(const QString& inboundName) {
    const qsizetype dot = inboundName.lastIndexOf(u'.');
    return (dot < 0 ? inboundName : inboundName.left(dot)) + QStringLiteral(".c2s");
}

QStringList acknowledgementLines(const QString& kind, const QString& id) {
    return {
        QStringLiteral("<?xml version=\"1.0\"?>"),
        QStringLiteral("<w2w version=\"1.0\">"),
        QStringLiteral("<c2s>"),
        QStringLiteral("<kind>") + kind + QStringLiteral("</kind>"),
        QStringLiteral("<id>") + id + QStringLiteral("</id>"),
        QStringLiteral("</c2s>"),
        QStringLiteral("</w2w>"),
    };
}

}  // namespace vk::w2w
