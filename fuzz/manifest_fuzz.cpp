// Any bytes as an update manifest: reading never crashes and no value is longer than 2047.

#include "update/UpdateFormats.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const char* key : {"Version", "DownloadFileURL", "ReadmeFileURL", "SHA1Hash"}) {
        const QString value = vk::readIniValue(bytes, QStringLiteral("VeloraKarvexClient"), QString::fromLatin1(key));
        if (value.size() > 2047) {
            std::abort();
        }
        (void)vk::downloadFileName(value);
        (void)vk::isOlderVersion(QStringLiteral("1.0.0.0"), value);
    }
    return 0;
}
