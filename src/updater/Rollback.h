#pragma once

#include "platform/FolderHandle.h"
#include "update/UpdateMarker.h"
#include "updater/UpdaterLog.h"

#include <QString>

#include <chrono>
#include <vector>

namespace vk {

// A kept copy of the previous program: a plain file below a folder.
struct KeptCopy {
    FolderHandle folder;
    QString name;
};

// Puts the previous program of an unsettled update back in place of the installed one: the first
// of the kept copies whose bytes have the digest the marker recorded (a copy changed since it was
// kept is refused and said so). The marker goes once the previous program is back. False, with
// the reason in the log, when no copy has the recorded bytes: the marker then stays.
bool putBackPrevious(UpdaterLog& log, const FolderHandle& installation, const UpdateMarker& marker,
                     const std::vector<KeptCopy>& copies);

// What VeloraUpdater --recover does, run before every start of the link: it settles an update
// that an updater left unsettled (it was ended during its watch, or the machine stopped). Without
// a marker it does nothing. With one, while another updater is at work it does nothing either; a
// marker of an update whose previous program is still installed goes; the previous program is
// put back when the watch is long over without a confirmation, or the installed program does not
// start. Otherwise the new version is left to confirm itself.
struct RecoveryTimings {
    std::chrono::milliseconds lockWait{10000};    // for another updater or recovery to finish
    std::chrono::milliseconds probeLimit{20000};  // for the installed program's --version
};
void recoverInstallation(UpdaterLog& log, const QString& installationFolder, RecoveryTimings timings);

}  // namespace vk
