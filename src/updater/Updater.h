#pragma once

#include "update/UpdateNote.h"
#include "updater/DetachedStart.h"
#include "updater/UpdaterLog.h"

#include <QString>

#include <chrono>
#include <optional>

namespace vk {

// How long the updater waits for each step.
struct UpdaterTimings {
    std::chrono::milliseconds lockWait{60000};   // for the link to let go of its folder
    std::chrono::milliseconds startWait{30000};  // for the new version to take the folder
    std::chrono::milliseconds holdTime{10000};   // that it must then keep it to count as running
};

// The updater's exit codes: 0 only when the new version runs.
enum class UpdaterExit : int {
    NewVersionRuns = 0,
    BadCall = 1,           // no download named; nothing changed
    FolderStaysTaken = 2,  // the link did not let go of its folder; nothing changed
    Refused = 3,           // the download is no program to install; the old one started again
    NotReplaced = 4,       // the program file could not be replaced; the old one started again
    RolledBack = 5,        // the new version did not keep running; the old one is back and started
};

// Takes over a program file that the link downloaded, given as the link hands it over: the file's
// path between apostrophes. The data folder is the parent of the download's folder (TempDownloads);
// the note the link left beside the download names the program file and how it was started.
class Updater {
public:
    Updater(UpdaterLog& log, UpdaterTimings timings, QString ownFolder)
        : log_(log), timings_(timings), ownFolder_(std::move(ownFolder)) {}

    UpdaterExit run(const QString& parameter);

private:
    // Starts the program as the note says, and says so in the log; what names it there.
    std::optional<DetachedProgram> startProgram(const UpdateNote& start, const QString& what);

    UpdaterLog& log_;
    UpdaterTimings timings_;
    QString ownFolder_;  // where the updater itself lies: the program file's folder
};

}  // namespace vk
