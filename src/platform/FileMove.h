#pragma once

#include <QString>

#include <optional>

namespace vk {

// Makes the folder at path when nothing is there: one level, never its parents (a missing parent
// may be a share that is not mounted). Returns whether it was made; raises a FileError
// "De map "<path>" kan niet gemaakt worden. <reason>" when it cannot be.
bool makeFolderIfMissing(const QString& path);

// Moves the entry at path (a file, a link or a folder) into folder, made when missing, under its
// own name, or with " (2)", " (3)", ... before its extension when that name is taken: nothing in
// the folder is ever replaced. Returns the new path; nothing when the entry was gone before it
// could be moved (another program took it). Raises a FileError for any other failure.
std::optional<QString> moveIntoFolder(const QString& path, const QString& folder);

// The file's size and modification time as one look at it gives them, without following a
// symbolic link; nothing when it is gone.
struct EntryLook {
    qint64 size = 0;
    qint64 modifiedNs = 0;
    friend bool operator==(const EntryLook&, const EntryLook&) = default;
};
std::optional<EntryLook> lookAt(const QString& path);

}  // namespace vk
