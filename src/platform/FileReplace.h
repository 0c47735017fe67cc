#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QSet>
#include <QString>

#include <functional>

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
// "Cannot create file "<path>". <reason>". beforeRename, when given, is called with the temporary
// file's path once it is complete, just before the rename; an error it raises stops the write
// (the temporary file is removed). Once beforeRename has been called, a rename that fails leaves
// the temporary file where it is, for the caller to finish.
void writeFileReplacing(const QString& path, const QByteArray& bytes, Durability durability,
                        FileAccess access = FileAccess::Default,
                        const std::function<void(const QString& temporaryPath)>& beforeRename = {});

// Removes the temporary files that writeFileReplacing left in folder when a run was killed in the
// middle of a write: those last changed before `before` (the start of this run), except the paths
// in keep (files that a later step still needs). Returns how many were removed.
int removeLeftoverTemporaryFiles(const QString& folder, const QDateTime& before,
                                 const QSet<QString>& keep = {});

// Makes everything written to the file system that holds folder durable (one call for any number
// of files written before it). Returns false when that fails.
bool flushFileSystemOf(const QString& folder);

// Keeps a second name for the file at path: a hard link where the file system allows it, else a
// copy. The file itself stays where it is. Raises a FileError when neither works.
void keepAlsoAs(const QString& path, const QString& otherPath);

}  // namespace vk
