#pragma once

#include "platform/IntegerReading.h"

#include <QDateTime>
#include <QString>
#include <QStringView>

namespace vk::w2w {

// The raw text between the first occurrence of the opening tag (written with its angle
// brackets, "<id>") and the first occurrence of its closing tag anywhere in the text, or the
// empty string. Plain text search: no trimming, no decoding, no structure, no attributes.
QString GetTagValue(QStringView tag, QStringView text);

// A document flag is set only when its text is exactly "1".
inline bool isFlagSet(QStringView value) {
    return value == u"1";
}

// The pickup time of "<ssec>": characters 1-4 year, 5-6 month, 7-8 day, 9-10 hour, 11-12 minute,
// each read with the integer reading; later characters are ignored. Raises a ConvertError
// "Invalid argument to date encode" or "Invalid argument to time encode". The result is a
// wall-clock time without zone (its time spec is UTC; read its date() and time()).
QDateTime readPickupTime(QStringView ssec);

// The acknowledgement's file name: the inbound name with its extension (from its last ".")
// replaced by ".c2s": ORDER.S2C gives ORDER.c2s.
QString acknowledgementFileName(const QString& inboundName);

// The seven lines of an acknowledgement of the given kind ("BOB" or "WOB") for the document
// whose "<id>" text is id (echoed exactly).
QStringList acknowledgementLines(const QString& kind, const QString& id);

inline constexpr QStringView kAcknowledged = u"BOB";
inline constexpr QStringView kRefused = u"WOB";

}  // namespace vk::w2w
