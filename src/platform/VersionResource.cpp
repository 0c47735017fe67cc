#include "platform/VersionResource.h"

#include <QFile>
#include <QtEndian>

#include <cstring>

namespace vk {

namespace {

struct Section {
    qint64 offset = 0;
    qint64 size = 0;
};

// Finds the version section in a 64-bit little-endian ELF file.
std::optional<Section> findVersionSection(QFile& file) {
    const QByteArray header = file.read(64);
    if (header.size() < 64 ||
        !header.startsWith("\x7F"
                           "ELF") ||
        header[4] != 2 || header[5] != 1) {
        return std::nullopt;
    }
    const auto* h = reinterpret_cast<const uchar*>(header.constData());
    const quint64 sectionTable = qFromLittleEndian<quint64>(h + 0x28);
    const quint16 entrySize = qFromLittleEndian<quint16>(h + 0x3A);
    const quint16 count = qFromLittleEndian<quint16>(h + 0x3C);
    const quint16 namesIndex = qFromLittleEndian<quint16>(h + 0x3E);
    if (entrySize < 64 || namesIndex >= count || !file.seek(static_cast<qint64>(sectionTable))) {
        return std::nullopt;
    }
    const QByteArray table = file.read(qint64{entrySize} * count);
    if (table.size() != qint64{entrySize} * count) {
        return std::nullopt;
    }
    const auto sectionAt = [&](int i) {
        const auto* s = reinterpret_cast<const uchar*>(table.constData()) + qsizetype{entrySize} * i;
        return std::pair<quint32, Section>{
            qFromLittleEndian<quint32>(s),
            Section{static_cast<qint64>(qFromLittleEndian<quint64>(s + 0x18)),
                    static_cast<qint64>(qFromLittleEndian<quint64>(s + 0x20))}};
    };
    const Section names = sectionAt(namesIndex).second;
    if (names.size <= 0 || names.size > (1 << 20) || !file.seek(names.offset)) {
        return std::nullopt;
    }
    const QByteArray nameBytes = file.read(names.size);
    for (int i = 0; i < count; ++i) {
        const auto [nameOffset, section] = sectionAt(i);
        if (nameOffset < static_cast<quint32>(nameBytes.size()) &&
            std::strcmp(nameBytes.constData() + nameOffset, kVersionSection) == 0) {
            return section;
        }
    }
    return std::nullopt;
}

}  // namespace

qint64 GetFileVersionInfoSize(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const std::optional<Section> section = findVersionSection(file);
    return section ? section->size : 0;
}

std::optional<QByteArray> GetFileVersionInfo(const QString& fileName, qint64 size) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const std::optional<Section> section = findVersionSection(file);
    if (!section || section->size != size || !file.seek(section->offset)) {
        return std::nullopt;
    }
    QByteArray bytes = file.read(size);
    if (bytes.size() != size) {
        return std::nullopt;
    }
    return bytes;
}

}  // namespace vk
