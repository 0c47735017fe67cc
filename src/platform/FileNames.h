#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

namespace vk {

// File names are bytes here. A name that is not valid UTF-8 keeps its bytes: each byte that does
// not decode is carried as the character U+DC80..U+DCFF (no valid name decodes to those), and
// turns back into the same byte when the name is used.
QString decodeFileName(const QByteArray& bytes);
QByteArray encodeFileName(const QString& name);
// The name as a person reads it: each byte that does not decode shown as U+FFFD.
QString readableFileName(QString name);

bool fileExists(const QString& path);

// The entries of a folder as the file system has them, every one of them: also the names that are
// not valid UTF-8, which Qt's own listing passes over. "." and ".." are left out.
class FolderListing {
public:
    explicit FolderListing(const QString& folder);
    ~FolderListing();
    FolderListing(const FolderListing&) = delete;
    FolderListing& operator=(const FolderListing&) = delete;

    // The next name; nothing at the end (or when the folder cannot be read).
    std::optional<QString> next();

private:
    struct Handle;
    std::unique_ptr<Handle> handle_;
};

}  // namespace vk
