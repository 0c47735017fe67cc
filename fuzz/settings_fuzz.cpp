// Any bytes as a settings file: reading never crashes, and a document that reads is written in a
// form that reads again and keeps its settings. A setting found in the document is found in the
// file written from it and the other way round; a value of printable ASCII comes back as it was,
// and any other value as the code page made it the first time (the next round keeps it).

#include "settings/SettingsModel.h"
#include "settings/SettingsStorage.h"
#include "settings/SettingsXml.h"

#include <cstdint>
#include <cstdlib>

namespace {

// Printable ASCII, blanks and line breaks, not only blanks: the values the file keeps exactly.
bool keptExactly(const QString& value) {
    bool blank = true;
    for (const QChar c : value) {
        const char16_t u = c.unicode();
        if (u != u'\t' && u != u'\r' && u != u'\n' && (u < 0x20 || u > 0x7E)) {
            return false;
        }
        blank = blank && (u == u' ' || u == u'\t' || u == u'\r' || u == u'\n');
    }
    return !blank;
}

// Reads back what is written from document; a file that does not read again is a fault.
vk::SettingsDocument writtenAndRead(const vk::SettingsDocument& document) {
    vk::SettingsDocument again;
    if (!vk::parseSettingsText(vk::decodeSettingsBytes(vk::settingsFileBytes(document)), again)) {
        std::abort();
    }
    return again;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    vk::SettingsDocument document;
    if (!vk::parseSettingsText(vk::decodeSettingsBytes(bytes), document)) {
        return 0;
    }
    const vk::SettingsDocument again = writtenAndRead(document);
    const vk::SettingsDocument third = writtenAndRead(again);
    for (const vk::SettingInfo& s : vk::settingTable()) {
        if (!s.stored) {
            continue;
        }
        const QStringList path = vk::SettingsStorage::pathOf(s.elementName());
        const std::optional<QString> first = document.readText(path);
        const std::optional<QString> second = again.readText(path);
        if (first.has_value() != second.has_value() || second != third.readText(path) ||
            (first && keptExactly(*first) && first != second)) {
            std::abort();
        }
    }
    return 0;
}
