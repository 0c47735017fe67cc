#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

#include <optional>

namespace vk {

// A program started in a session of its own, so that it runs on when the updater ends and no
// signal meant for the updater's terminal or group reaches it. The updater stays its parent while
// it runs, and so sees at once when it ends.
class DetachedProgram {
public:
    // Starts program with arguments in workingFolder (the updater's own when empty); nothing when
    // it cannot be started, with the reason in *why.
    static std::optional<DetachedProgram> start(const QString& program, const QStringList& arguments,
                                                const QString& workingFolder, QString* why);

    pid_t pid() const { return pid_; }
    // Whether it has ended; its exit code (or 128 + signal) then in exitCode().
    bool ended();
    int exitCode() const { return exitCode_; }
    // Ends it: a stop request first, then, after a while, for good.
    void stop();

private:
    explicit DetachedProgram(pid_t pid) : pid_(pid) {}
    pid_t pid_;
    bool ended_ = false;
    int exitCode_ = -1;
};

}  // namespace vk
