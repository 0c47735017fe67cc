#pragma once

#include "platform/Paths.h"

#include <QString>

#include <optional>

namespace vk {

// One link per program folder: two links on one folder would take the same documents. The lock
// is the operating system's lock on a hidden file in the folder, held for the whole run. The
// system lets go of it when the process ends, however it ends: a lock file that a killed link left
// behind (whole, cut short or empty) holds nothing, and the next link takes it over. The file also
// says which process holds it, for the message of a second link.
class ProgramFolderLock {
public:
    static constexpr QStringView kFileName = kFolderLockFileName;
    // The exit code of a run that finds its folder taken.
    static constexpr int kTakenExitCode = 3;
    // The exit code of a run that cannot take a lock file that no running link holds.
    static constexpr int kCannotTakeExitCode = 4;

    // programFolder: with a trailing separator
    explicit ProgramFolderLock(const QString& programFolder);
    ~ProgramFolderLock();
    ProgramFolderLock(const ProgramFolderLock&) = delete;
    ProgramFolderLock& operator=(const ProgramFolderLock&) = delete;

    // Another running link holds the folder: what to tell the user, naming the folder and that
    // link's process.
    std::optional<QString> takenBy() const { return takenBy_; }
    // The lock file is there but cannot be opened or locked: why, naming the folder.
    std::optional<QString> cannotTake() const { return cannotTake_; }
    // The lock could not be made at all (a read-only folder without a lock file): the run goes on
    // without it, and this says so for the log.
    std::optional<QString> unavailable() const { return unavailable_; }

private:
    void describeHolder(const QString& programFolder, int fd);

    QString path_;
    int fd_ = -1;
    std::optional<QString> takenBy_;
    std::optional<QString> cannotTake_;
    std::optional<QString> unavailable_;
};

// The start of every run on a program folder: the folder is made and its lock taken into lock.
// Returns the exit code when the run cannot go on; the reason is then on standard error (and, for
// a folder that another link holds, in lock->takenBy()).
std::optional<int> claimProgramFolder(const QString& programFolder, std::optional<ProgramFolderLock>& lock);

}  // namespace vk
