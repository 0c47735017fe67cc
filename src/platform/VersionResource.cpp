#include "platform/VersionResource.h"

#include "platform/ElfSections.h"

#include <QFile>

namespace vk {

qint64 GetFileVersionInfoSize(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        return 0;
    }
    // The size the file states, as Windows gives the size its resource states: a record that runs
    // past the file's end is told apart from a missing one when it is read.
    const std::optional<ElfSection> section = listedElfSection(file, kVersionSection);
    return section ? section->size : 0;
}

std::optional<QByteArray> GetFileVersionInfo(const QString& fileName, qint64 size) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return readElfSection(file, kVersionSection, size);
}

}  // namespace vk
