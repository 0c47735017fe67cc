#pragma once

#include "platform/Errors.h"
#include "platform/FileDescriptor.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

namespace vk {

// A file or folder below a folder that other accounts or programs may write could not be used as
// it should; the message says which and why, in words for a log.
class FolderFileError : public Error {
    using Error::Error;
};

// An open folder whose entries are reached by name below it (openat and its kin), never through a
// symbolic link standing in the folder, and files only when they are plain files: a folder that
// others may write cannot lead a program to another file, to a device or a pipe that blocks it, or
// to more bytes than it means to read. The folder itself is opened as its path leads.
class FolderHandle {
public:
    // The folder at path; a FolderFileError when it is no folder that can be opened.
    static FolderHandle open(const QString& path);

    // The folder entry name below this one, not followed when it is a link; made first when create
    // is set and it is missing.
    FolderHandle folder(const QString& name, bool create = false) const;

    // A plain file below this folder, for reading: opened without following a link and without
    // blocking on a pipe or device, then refused unless it is a plain file of at most maxBytes.
    FileDescriptor openForReading(const QString& name, qint64 maxBytes) const;
    // Its whole content; the same checks.
    QByteArray readAll(const QString& name, qint64 maxBytes) const;
    // A plain file below this folder opened for appending, made (mode 0600) when missing.
    FileDescriptor openForAppending(const QString& name) const;
    // A new file below this folder for writing, mode 0600; none may stand under that name.
    FileDescriptor createNew(const QString& name) const;

    bool exists(const QString& name) const;
    // Removes the entry name (never what a link points at); false when it was not there. A
    // FolderFileError for any other failure.
    bool remove(const QString& name) const;
    // Renames an entry of this folder over another of this folder, in one step.
    void rename(const QString& from, const QString& to) const;
    // The folder's entries on disk: a rename or removal before it survives a power cut.
    void flush() const;
    // The names of the folder's entries (not . and ..).
    QStringList entries() const;

    const QString& path() const { return path_; }
    int fd() const { return fd_->get(); }
    // path + "/" + name, for messages
    QString pathOf(const QString& name) const;

private:
    FolderHandle(std::shared_ptr<FileDescriptor> fd, QString path)
        : fd_(std::move(fd)), path_(std::move(path)) {}
    std::shared_ptr<FileDescriptor> fd_;
    QString path_;
};

// Reads fd from its current offset to its end, handing each piece to take as it comes, so that a
// large file is never held whole; a FolderFileError naming shownAs when it cannot be read, or
// when it holds more than maxBytes (the pieces up to the limit have been handed on then).
void readInChunks(int fd, qint64 maxBytes, const QString& shownAs,
                  const std::function<void(QByteArrayView piece)>& take);
// Everything from fd up to maxBytes, read the same way.
QByteArray readAllFrom(int fd, qint64 maxBytes, const QString& shownAs);

}  // namespace vk
