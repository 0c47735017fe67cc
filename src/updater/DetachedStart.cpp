#include "updater/DetachedStart.h"

#include <QFile>
#include <QThread>

#include <spawn.h>
#include <sys/wait.h>

#include <csignal>
#include <cstring>
#include <vector>

extern char** environ;

namespace vk {

std::optional<DetachedProgram> DetachedProgram::start(const QString& program, const QStringList& arguments,
                                                      const QString& workingFolder, QString* why) {
    std::vector<QByteArray> bytes{QFile::encodeName(program)};
    for (const QString& argument : arguments) {
        bytes.push_back(argument.toLocal8Bit());
    }
    std::vector<char*> argv;
    for (QByteArray& b : bytes) {
        argv.push_back(b.data());
    }
    argv.push_back(nullptr);

    posix_spawnattr_t attributes;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_init(&actions);
    // its own session, the default signal handling and no blocked signals, whatever the updater had
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const QByteArray folder = QFile::encodeName(workingFolder);
    if (!workingFolder.isEmpty()) {
        posix_spawn_file_actions_addchdir_np(&actions, folder.constData());
    }
    pid_t pid = 0;
    const int failed = ::posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (failed != 0) {
        if (why) {
            *why = QString::fromLocal8Bit(std::strerror(failed));
        }
        return std::nullopt;
    }
    return DetachedProgram(pid);
}

bool DetachedProgram::ended() {
    if (ended_) {
        return true;
    }
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        ended_ = true;
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    return ended_;
}

void DetachedProgram::stop() {
    if (ended()) {
        return;
    }
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 100 && !ended(); ++i) {
        QThread::msleep(100);
    }
    if (!ended()) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        ended_ = true;
        exitCode_ = 128 + SIGKILL;
    }
}

}  // namespace vk
