#pragma once

#include "settings/SettingsDocument.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace vk {

// The outcome of reading a settings file: where it went wrong and why.
struct SettingsParseResult {
    bool ok = true;
    QString description;   // what is wrong
    qsizetype offset = 0;  // character offset in the decoded text
    int line = 0;          // 1-based, 0 when not known
    int column = 0;        // 1-based
    explicit operator bool() const { return ok; }
};

// The bytes of a settings file as text: EF BB BF UTF-8, FF FE UTF-16 little-endian (the mark is
// skipped), else one byte a character in the ANSI code page. A declared encoding is not consulted.
QString decodeSettingsBytes(const QByteArray& bytes);

// Decodes the references of a value: the five named ones (letter case of the name ignored),
// "&#" decimal and "&#x"/"&#X" hexadecimal references with a code above 0 and a closing ";"
// (two that form a surrogate pair give one character). Anything else stays as written.
QString decodeReferences(QStringView raw);

// Parses the text of a settings file into document (replacing it only when the text is well
// formed).
SettingsParseResult parseSettingsText(const QString& text, SettingsDocument& document);

// Escapes a value, attribute value or element name for the file: the five characters, and every
// 16-bit unit from 20AC hexadecimal up as "&#xXXXX;".
QString escapeSettingsText(QStringView text);

// The document in the file layout: CR LF line ends, two spaces a depth, the declaration, the
// items before the root, the root. Text, not yet bytes.
QString formatSettingsDocument(const SettingsDocument& document);

// The file's bytes: the layout in the ANSI code page, without byte-order mark.
QByteArray settingsFileBytes(const SettingsDocument& document);

}  // namespace vk
