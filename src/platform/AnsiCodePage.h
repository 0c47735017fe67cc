#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace vk::ansi {

// The system's 8-bit ANSI code page: Windows-1252 on platforms that have none.

// Bytes to text. Never fails: the five bytes Windows-1252 leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) become the control characters of the same number, as Windows decodes them.
QString decode(QByteArrayView bytes);

// Text to bytes, one or more bytes a character. A character the code page lacks becomes a
// similar one where one is known (a letter without its accent), else "?".
QByteArray encode(QStringView text);

}  // namespace vk::ansi
