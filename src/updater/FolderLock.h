#pragma once

#include <QString>

#include <sys/types.h>

namespace vk {

// The updater's view of a data folder's lock, the one every running link holds on the folder's
// lock file (kFolderLockFileName) for as long as it runs. The updater itself takes it with
// HeldLock while it replaces the program file, so that no link starts on the folder half way.

// Whether process pid holds the folder's lock now. Read from the system's table of locks rather
// than by trying the lock: a try at the moment the link starts would make it find its folder taken.
bool folderLockHeldBy(const QString& dataFolder, pid_t pid);

// The lock file's path in the folder.
QString folderLockFile(const QString& dataFolder);

}  // namespace vk
