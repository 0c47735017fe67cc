#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>
#include <utility>

namespace vk {

// The fixed part of a version record (VS_FIXEDFILEINFO).
struct FixedFileInfo {
    std::uint32_t fileVersionMS = 0;
    std::uint32_t fileVersionLS = 0;
    std::uint32_t productVersionMS = 0;
    std::uint32_t productVersionLS = 0;
    std::uint32_t fileFlagsMask = 0;
    std::uint32_t fileFlags = 0;
    std::uint32_t fileOS = 0;
    std::uint32_t fileType = 0;
    std::uint32_t fileSubtype = 0;
};

// A version record in the layout of the Windows version resource (VS_VERSIONINFO): nodes of
// length, value length, type, a UTF-16 key and a value, aligned to 32 bits, nested.
class VersionRecord {
public:
    explicit VersionRecord(QByteArray bytes) : bytes_(std::move(bytes)) {}

    // The value of a sub-block, as the platform's query answers it: "\" for the fixed part,
    // "\VarFileInfo\Translation" for the translation list, "\StringFileInfo\<key>\<name>" for a
    // string. Nothing when the record has no such block.
    std::optional<FixedFileInfo> fixedPart() const;
    std::optional<QList<std::pair<std::uint16_t, std::uint16_t>>> translations() const;
    std::optional<QString> string(const QString& translationKey, const QString& name) const;

private:
    QByteArray bytes_;
};

// Builds a version record: for the program's own record at build time, and for tests.
struct VersionRecordContent {
    FixedFileInfo fixed;
    bool withFixedPart = true;
    QList<std::pair<std::uint16_t, std::uint16_t>> translations;  // language, code page
    QString translationKey;                                       // of the one string table
    QList<std::pair<QString, QString>> strings;                   // name, value
};
QByteArray buildVersionRecord(const VersionRecordContent& content);

}  // namespace vk
