#pragma once

#include "updater/DetachedStart.h"
#include "updater/LinkStart.h"
#include "updater/UpdaterLog.h"

#include <QString>

#include <chrono>
#include <optional>

namespace vk {

// How long the updater waits for each step.
struct UpdaterTimings {
    std::chrono::milliseconds lockWait{60000};    // for the link to let go of its folder
    std::chrono::milliseconds startWait{30000};   // for the new version to take the folder
    std::chrono::milliseconds holdTime{10000};    // that it must then keep it to count as running
    std::chrono::milliseconds probeLimit{20000};  // for the new program's --version before the swap
};

// The updater's exit codes: 0 only when the new version runs.
enum class UpdaterExit : int {
    NewVersionRuns = 0,
    BadCall = 1,           // no download named as the link names it; nothing touched
    FolderStaysTaken = 2,  // the link did not let go of its folder, or another updater works; nothing changed
    Refused = 3,           // the download is no program to install; the old one started again
    NotReplaced = 4,       // the program file could not be replaced; the old one started again
    RolledBack = 5,        // the new version did not keep running; the old one is back and started
};

// Takes over a program file that the link downloaded, given as the link hands it over: the file's
// path between apostrophes, directly in <data folder>/TempDownloads. The program it checks,
// replaces and starts is always the one beside the updater (ownFolder); the note the link left
// beside the download only says how the link ran.
class Updater {
public:
    Updater(UpdaterLog& log, UpdaterTimings timings, QString ownFolder)
        : log_(log), timings_(timings), ownFolder_(std::move(ownFolder)) {}

    UpdaterExit run(const QString& parameter);

private:
    // Starts the link as start says, and says so in the log; what names it there.
    std::optional<DetachedProgram> startLink(const LinkStart& start, const QString& what);

    UpdaterLog& log_;
    UpdaterTimings timings_;
    QString ownFolder_;  // the installation folder: where the updater and the program file lie
};

// Where a test may have the updater killed (VELORA_UPDATER_FAULT names the step), to see that
// every step leaves a program that runs.
void faultPoint(const char* step);

}  // namespace vk
