#pragma once

#include <QByteArray>
#include <QString>

namespace vk {

// Writes bytes as the file at path, replacing a file of that name. The bytes go to a temporary
// file in the same folder, which is flushed to disk and then renamed into place, so a reader
// never sees half a file and a crash never leaves one. A failure raises a FileError
// "Cannot create file "<path>". <reason>".
enum class FileAccess {
    Default,    // as the platform creates files
    OwnerOnly,  // readable and writable by the owner only (files that hold a password)
};

void writeFileReplacing(const QString& path, const QByteArray& bytes,
                        FileAccess access = FileAccess::Default);

}  // namespace vk
