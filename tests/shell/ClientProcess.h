#pragma once

#include "settings/Settings.h"
#include "settings/SettingsStorage.h"
#include "shell/ProgramFolderLock.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vk::test {

// The link as a process: VeloraKarvexClient of this build.
struct ProcessResult {
    int exitCode = -1;
    QString out;
    QString err;
};

inline ProcessResult runClient(const QStringList& arguments) {
    QProcess p;
    p.start(QStringLiteral(VK_CLIENT_PATH), arguments);
    EXPECT_TRUE(p.waitForFinished(60000));
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// The environment of a window run without a display: Qt's offscreen platform.
inline QProcessEnvironment offscreenEnvironment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

// Waits until the link started in process holds its program folder: its lock file is made. From
// then on a stop signal must end it in order. The folder is watched (inotify), so that the moment
// is seen even when a short run has already ended by the time the test looks: the signal then
// meets a process that ended in order. False when the process ended without making the file, or
// the wait ran out.
inline bool waitUntilReady(QProcess& process, const QString& programFolder, int timeoutMs = 30000) {
    const QByteArray lockName = ProgramFolderLock::kFileName.toUtf8();
    const int watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (watch < 0 ||
        ::inotify_add_watch(watch, QFile::encodeName(programFolder).constData(), IN_CREATE) < 0) {
        ADD_FAILURE() << "inotify: " << std::strerror(errno);
        return false;
    }
    const auto made = [&] {
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t got = ::read(watch, buffer, sizeof buffer);
            if (got <= 0) {
                return false;
            }
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->len > 0 && lockName == event->name) {
                    return true;
                }
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    };
    const QDeadlineTimer deadline(timeoutMs);
    bool ready = QFileInfo::exists(programFolder + u'/' + ProgramFolderLock::kFileName.toString());
    if (!ready && process.waitForStarted(timeoutMs)) {
        while (!deadline.hasExpired()) {
            pollfd events{watch, POLLIN, 0};
            if (::poll(&events, 1, 1) > 0 && made()) {
                ready = true;
                break;
            }
            if (process.state() == QProcess::NotRunning || process.waitForFinished(0)) {
                ready = made();  // made and gone between two looks
                break;
            }
        }
    }
    ::close(watch);
    return ready;
}

// Writes the settings file of a program folder through the link's own writer.
inline void writeSettingsFile(const QString& programFolder, const Settings& settings) {
    SystemClock clock;
    SettingsStorage storage(programFolder + u'/' + SettingsStorage::kFileName.toString(), clock);
    ASSERT_FALSE(storage.LoadSettingsFile().has_value());
    storage.SaveSettings(settings);
    const std::optional<QString> problem = storage.WriteSettingsFile();
    ASSERT_FALSE(problem.has_value()) << problem->toStdString();
}

}  // namespace vk::test
