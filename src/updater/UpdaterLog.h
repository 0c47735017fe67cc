#pragma once

#include "platform/Clock.h"

#include <QString>

namespace vk {

// What the updater did, line by line with a time stamp, in VeloraUpdater.log in the data folder
// (appended, each line on disk before the next step) and on standard error. The updater runs
// after the link has ended and nobody watches it: this file is the only account of an update.
class UpdaterLog {
public:
    explicit UpdaterLog(const Clock& clock) : clock_(clock) {}

    // From now on the lines also go to this file.
    void writeTo(const QString& logFile) { file_ = logFile; }
    void line(const QString& text);

private:
    const Clock& clock_;
    QString file_;
};

}  // namespace vk
