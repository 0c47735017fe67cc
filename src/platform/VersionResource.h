#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace vk {

// The version record of a program file. On Windows it is the file's version resource; here the
// build puts the same record (the VS_VERSIONINFO layout) into a section of the program file of its
// own, named kVersionSection, which these read.
inline constexpr char kVersionSection[] = ".vk_version";

// The size of the file's version record in bytes; 0 when it has none (or is no program file).
qint64 GetFileVersionInfoSize(const QString& fileName);
// The record itself, read into size bytes; nothing when it cannot be read.
std::optional<QByteArray> GetFileVersionInfo(const QString& fileName, qint64 size);

}  // namespace vk
