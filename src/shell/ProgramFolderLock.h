#pragma once

#include <QLockFile>
#include <QString>

#include <optional>

namespace vk {

// One link per program folder: two links on one folder would take the same documents. The lock
// is a hidden file in the folder, held for the whole run; only a lock whose owner has died counts
// as stale, however old it is.
class ProgramFolderLock {
public:
    static constexpr QStringView kFileName = u".VeloraKarvex.lock";
    // The exit code of a run that finds its folder taken.
    static constexpr int kTakenExitCode = 3;

    // programFolder: with a trailing separator
    explicit ProgramFolderLock(const QString& programFolder);

    // Another running link holds the folder: what to tell the user, naming the folder and that
    // link's process.
    std::optional<QString> takenBy() const { return takenBy_; }
    // The lock could not be made at all (a read-only folder): the run goes on without it, and
    // this says so for the log.
    std::optional<QString> unavailable() const { return unavailable_; }

private:
    QLockFile lock_;
    std::optional<QString> takenBy_;
    std::optional<QString> unavailable_;
};

// The start of every run on a program folder: the folder is made and its lock taken into lock.
// Returns the exit code when the run cannot go on; the reason is then on standard error (and, for
// a folder that another link holds, in lock->takenBy()).
std::optional<int> claimProgramFolder(const QString& programFolder, std::optional<ProgramFolderLock>& lock);

}  // namespace vk
