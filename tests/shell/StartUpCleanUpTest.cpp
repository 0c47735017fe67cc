// A run that starts with thousands of files an earlier run took and left behind removes them a
// slice at a time, and a stop signal during that clean-up ends it in order (exit code 0) at once.

#include "shell/ClientProcess.h"
#include "support/TempFolder.h"
#include "w2w/ClaimedNames.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <dirent.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace vk {
namespace {

int entriesIn(const QString& folder) {
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (dir == nullptr) {
        return -1;
    }
    int count = 0;
    while (const dirent* entry = ::readdir(dir)) {
        count += entry->d_name[0] == '.' && entry->d_name[1] != '\0' && entry->d_name[1] != '.' ? 1 : 0;
    }
    ::closedir(dir);
    return count;
}

// Waits for the first file to go from the folder.
bool waitForARemoval(const QString& folder, int timeoutMs) {
    const int watch = ::inotify_init1(IN_CLOEXEC);
    if (watch < 0 || ::inotify_add_watch(watch, QFile::encodeName(folder).constData(), IN_DELETE) < 0) {
        return false;
    }
    pollfd events{watch, POLLIN, 0};
    const bool removed = ::poll(&events, 1, timeoutMs) > 0;
    ::close(watch);
    return removed;
}

TEST(StartUpCleanUp, AStopSignalDuringTheCleanUpOfThousandsOfLeftoversEndsTheRunInOrder) {
    constexpr int kLeftovers = 20000;
    test::TempFolder dir;
    dir.write(QStringLiteral("VeloraKarvex.xml"),
              "<Configuration><Hoofdscherm><xLoginServer_Text>sqlite:planning.db</xLoginServer_Text>"
              "<Automatisch_Checked>TRUE</Automatisch_Checked><Interval_Text>1</Interval_Text>"
              "</Hoofdscherm></Configuration>");
    const QString inbound = dir.mkdir(QStringLiteral("W2W/S2C"));
    // the names this program folder's link takes files under
    const w2w::ClaimedNames names(QDir(dir.path()).absolutePath() + QStringLiteral("/.vk-journaal"));
    for (int i = 0; i < kLeftovers; ++i) {
        QFile f(names.pathFor(inbound, QStringLiteral("%1.s2c").arg(i)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    ASSERT_EQ(entriesIn(inbound), kLeftovers);

    QProcess link;
    link.start(QStringLiteral(VK_CLIENT_PATH),
               {QStringLiteral("--headless"), QStringLiteral("--folder"), dir.path()});
    ASSERT_TRUE(waitForARemoval(inbound, 30000)) << "the clean-up never started";
    link.terminate();
    ASSERT_TRUE(link.waitForFinished(30000));
    const QString err = QString::fromUtf8(link.readAllStandardError());
    EXPECT_EQ(link.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(link.exitCode(), 0) << err.toStdString();
    // stopped during the clean-up, not after it
    const int left = entriesIn(inbound);
    EXPECT_GT(left, 0);
    EXPECT_LT(left, kLeftovers);

    // the next run finishes it
    const test::ProcessResult next = test::runClient(
        {QStringLiteral("--headless"), QStringLiteral("--once"), QStringLiteral("--folder"), dir.path()});
    EXPECT_EQ(next.exitCode, 0) << next.err.toStdString();
    EXPECT_EQ(entriesIn(inbound), 0);
}

}  // namespace
}  // namespace vk
