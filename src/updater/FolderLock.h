#pragma once

#include <QString>

#include <sys/types.h>

#include <chrono>
#include <memory>

namespace vk {

// The updater's view of a data folder's lock, the one every running link holds on the folder's
// lock file for as long as it runs.
class HeldFolderLock {
public:
    // Takes the lock once no link holds it, trying until limit has passed; nothing when it stays
    // taken. The updater holds it while it replaces the program file, so that no link starts on
    // the folder half way.
    static std::unique_ptr<HeldFolderLock> waitFor(const QString& dataFolder,
                                                   std::chrono::milliseconds limit);
    ~HeldFolderLock();
    HeldFolderLock(const HeldFolderLock&) = delete;
    HeldFolderLock& operator=(const HeldFolderLock&) = delete;

private:
    explicit HeldFolderLock(int fd) : fd_(fd) {}
    int fd_;
};

// Whether process pid holds the folder's lock now. Read from the system's table of locks rather
// than by trying the lock: a try at the moment the link starts would make it find its folder taken.
bool folderLockHeldBy(const QString& dataFolder, pid_t pid);

// The lock file's path in the folder.
QString folderLockFile(const QString& dataFolder);

}  // namespace vk
