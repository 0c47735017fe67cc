// Any bytes as a settings file: reading never crashes, and a document that reads is written in
// a form that reads again.

#include "settings/SettingsXml.h"

#include <cstdint>
#include <cstdlib>

namespace {

// Names are escaped like values and converted to the code page, so a name outside ASCII may not
// read back; the rest of a document must.
bool namesAreAscii(const vk::XmlItem& item) {
    const auto ascii = [](const QString& s) {
        for (const QChar c : s) {
            if (c.unicode() > 0x7F) {
                return false;
            }
        }
        return true;
    };
    if (!ascii(item.name)) {
        return false;
    }
    for (const auto& [name, value] : item.attributes) {
        if (!ascii(name)) {
            return false;
        }
    }
    for (const vk::XmlItem& child : item.children) {
        if (!namesAreAscii(child)) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    vk::SettingsDocument document;
    if (!vk::parseSettingsText(vk::decodeSettingsBytes(bytes), document)) {
        return 0;
    }
    const QByteArray written = vk::settingsFileBytes(document);
    vk::SettingsDocument again;
    bool ascii = namesAreAscii(document.root);
    for (const vk::XmlItem& item : document.prolog) {
        ascii = ascii && namesAreAscii(item);
    }
    if (!vk::parseSettingsText(vk::decodeSettingsBytes(written), again) && ascii) {
        std::abort();
    }
    return 0;
}
