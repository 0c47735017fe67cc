#pragma once

#include <QByteArray>
#include <QString>

namespace vk {

enum class Durability {
    Atomic,   // whole or not at all
    Flushed,  // whole or not at all, and on disk when the call returns
};

enum class FileAccess {
    Default,    // as the platform creates files
    OwnerOnly,  // readable and writable by the owner only (files that hold a password)
};

// Writes bytes as the file at path, replacing a file of that name. The bytes go to a temporary
// file in the same folder, which is renamed into place when complete, so a reader never sees
// half a file. With Durability::Flushed the file is on disk before the rename, so that what
// follows (deleting the original of a copy) cannot outrun it. A failure raises a FileError
// "Cannot create file "<path>". <reason>".
void writeFileReplacing(const QString& path, const QByteArray& bytes, Durability durability,
                        FileAccess access = FileAccess::Default);

}  // namespace vk
