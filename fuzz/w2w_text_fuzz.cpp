// Any bytes as an inbound document: decoding, line breaks, tag extraction and the number and
// time readings never crash, and the text after the line-break rule holds no lone CR or LF.

#include "platform/AnsiCodePage.h"
#include "platform/Errors.h"
#include "platform/InboundFile.h"
#include "w2w/W2WFormat.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QString text;
    try {
        text = vk::adjustLineBreaks(vk::decodeTextFile(bytes, QStringLiteral("fuzz.s2c")));
    } catch (const vk::FileError&) {
        return 0;
    }
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool cr = text[i] == u'\r';
        const bool lf = text[i] == u'\n';
        if ((cr && (i + 1 >= text.size() || text[i + 1] != u'\n')) ||
            (lf && (i == 0 || text[i - 1] != u'\r'))) {
            std::abort();
        }
    }
    for (QStringView tag : {QStringView(u"<kind>"), QStringView(u"<id>"), QStringView(u"<ssec>"),
                            QStringView(u"<costs>"), QStringView(u"<a<b>")}) {
        const QString value = vk::w2w::GetTagValue(tag, text);
        if (value.size() > text.size()) {
            std::abort();
        }
        vk::readInteger(value);
        try {
            vk::w2w::readPickupTime(value);
        } catch (const vk::ConvertError&) {
        }
    }
    if (vk::ansi::decode(vk::ansi::encode(vk::ansi::decode(bytes))) != vk::ansi::decode(bytes)) {
        std::abort();
    }
    return 0;
}
