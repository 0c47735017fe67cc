// Any bytes as a version record: every query stays within the bytes and never crashes.

#include "update/VersionRecord.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const vk::VersionRecord record(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    (void)record.fixedPart();
    if (const auto translations = record.translations(); translations && !translations->isEmpty()) {
        (void)record.string(QStringLiteral("041304E4"), QStringLiteral("CompanyName"));
    }
    (void)record.string(QStringLiteral("040904B0"), QStringLiteral("FileVersion"));
    return 0;
}
