#pragma once

#include "platform/FolderHandle.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <memory>

namespace vk {

// A lock file that others may read is one they may hold a lock on, and so keep its owner off what
// it guards: lock files are the owner's alone.

// Opens (making it when missing) the lock file name below folderFd for writing, without following
// a link and only when it is a plain file, mode 0600; an older file's mode is brought back to
// 0600. -1 with errno set when it cannot be opened.
int openLockFile(int folderFd, const QByteArray& name);

// Brings an open lock file left readable by others back to 0600, where this account owns it
// (O_CREAT does not change the mode of a file that is already there).
void keepOwnerOnly(int fd);

// An exclusive lock (flock) held on a lock file below a folder for as long as this object lives.
class HeldLock {
public:
    // Takes the lock once nobody holds it, trying until wait has passed. A file that is removed or
    // replaced under its name meanwhile (a link that ends removes its lock file) is opened anew.
    // Nothing when it stays taken (*why then stays empty) or when the file cannot be opened or
    // locked (*why says so, when given).
    static std::unique_ptr<HeldLock> take(const FolderHandle& folder, const QString& name,
                                          std::chrono::milliseconds wait, QString* why = nullptr);
    ~HeldLock();
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;

private:
    explicit HeldLock(int fd) : fd_(fd) {}
    int fd_;
};

}  // namespace vk
