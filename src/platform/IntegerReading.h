#pragma once

#include <QStringView>

namespace vk {

// The never-failing text-to-integer reading used for every number taken from a W2W document
// and from a numeric setting:
//   - leading spaces (only the space itself) are skipped, then an optional "-" or "+";
//   - "$", "x", "X", "0x" or "0X" make the digits hexadecimal, otherwise they are decimal;
//   - digits are read up to the end or the first other character; the value so far is the result;
//   - a "-" is applied only when the digits reached the end of the text ("-5a" gives 5);
//   - an empty text, or one that starts with anything else, gives 0.
// Values beyond the 32-bit signed range are clamped to it.
int readInteger(QStringView text) noexcept;

}  // namespace vk
