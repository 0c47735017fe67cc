#pragma once

#include "settings/Settings.h"
#include "settings/SettingsStorage.h"
#include "shell/ProgramFolderLock.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

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

// Waits until the link started in process holds its program folder: its lock file exists. From
// then on a stop signal must end it in order. Polls every millisecond, so that a signal sent next
// falls as early in the start-up as it can. False when the process ended first or the wait ran out.
inline bool waitUntilReady(QProcess& process, const QString& programFolder, int timeoutMs = 30000) {
    const QString lock = programFolder + u'/' + ProgramFolderLock::kFileName.toString();
    const QDeadlineTimer deadline(timeoutMs);
    if (!process.waitForStarted(timeoutMs)) {
        return false;
    }
    while (!deadline.hasExpired()) {
        if (QFileInfo::exists(lock)) {
            return true;
        }
        if (process.state() == QProcess::NotRunning || process.waitForFinished(1)) {
            return false;
        }
    }
    return false;
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
