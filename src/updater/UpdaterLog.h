#pragma once

#include "platform/Clock.h"
#include "platform/FolderHandle.h"

#include <QString>

#include <optional>

namespace vk {

// What the updater did, line by line with a time stamp, in VeloraUpdater.log (appended, each line
// on disk before the next step) and on standard error. The updater runs after the link has ended
// and nobody watches it: this file is the only account of an update. The file is reached below its
// folder without following a link, and a line break or other control character in a line (from a
// path or a note) is written as a blank, so that one line stays one line.
class UpdaterLog {
public:
    explicit UpdaterLog(const Clock& clock) : clock_(clock) {}

    // From now on the lines also go to VeloraUpdater.log in this folder.
    void writeTo(const FolderHandle& folder) { folder_ = folder; }
    void line(const QString& text);
    const Clock& clock() const { return clock_; }

    static constexpr QStringView kFileName = u"VeloraUpdater.log";

private:
    const Clock& clock_;
    std::optional<FolderHandle> folder_;
    bool saidUnwritable_ = false;
};

}  // namespace vk
