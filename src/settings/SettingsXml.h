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

// Escapes a value or attribute value for the file: every 16-bit unit from 20AC hexadecimal up as
// "&#xXXXX;"; below that, each character as the code page will write it (one it lacks becomes a
// similar one or "?"), with the five characters escaped and NUL left out.
QString escapeSettingsText(QStringView text);

// The document in the file layout: CR LF line ends, two spaces a depth, the declaration, the
// items before the root, the root. Text, not yet bytes. Only what reads back is written, so that
// a file written from any document reads again with the same settings: names go through the code
// page, and one that would not read as a name (or would read as another setting's) is changed to
// one no setting has (a "-" in it, or a "_" in front); comments and character data that the code
// page would end early get a blank before their closing ">"; instructions whose target would not
// read back, or would read as the declaration, and document types that the code page would change
// are left out.
QString formatSettingsDocument(const SettingsDocument& document);

// The file's bytes: the layout in the ANSI code page, without byte-order mark.
QByteArray settingsFileBytes(const SettingsDocument& document);

}  // namespace vk
