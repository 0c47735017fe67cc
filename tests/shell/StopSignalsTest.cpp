#include "settings/Settings.h"
#include "shell/ClientProcess.h"
#include "shell/StopSignals.h"
#include "support/PrivatePostgres.h"
#include "support/TempFolder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <thread>

namespace vk {
namespace {

using test::exists;
using test::readAll;
using test::waitUntilReady;

struct StopCase {
    const char* name;
    QStringList arguments;
    int signal;
    bool window;
};

void PrintTo(const StopCase& c, std::ostream* os) {
    *os << c.name;
}

class StopDuringStartUp : public ::testing::TestWithParam<StopCase> {};

// A stop signal that arrives while the run starts (its program folder just taken, the settings
// not yet read, the loop not yet running) ends it in order: exit code 0 and the settings file
// written. Twenty starts: the first is signalled the moment its lock file appears, each next one a
// millisecond later, so that the signals fall all over the start-up.
TEST_P(StopDuringStartUp, EndsTheRunInOrder) {
    const StopCase& c = GetParam();
    constexpr int kStarts = 20;
    for (int start = 0; start < kStarts; ++start) {
        test::TempFolder dir;
        QProcess p;
        if (c.window) {
            p.setProcessEnvironment(test::offscreenEnvironment());
        }
        p.start(QStringLiteral(VK_CLIENT_PATH),
                c.arguments + QStringList{QStringLiteral("--folder"), dir.path()});
        ASSERT_TRUE(waitUntilReady(p, dir.path()))
            << "start " << start << ": " << p.readAllStandardError().toStdString();
        std::this_thread::sleep_for(std::chrono::milliseconds(start));
        ASSERT_EQ(::kill(static_cast<pid_t>(p.processId()), c.signal), 0);
        ASSERT_TRUE(p.waitForFinished(15000)) << "start " << start;
        const std::string err = p.readAllStandardError().toStdString();
        ASSERT_EQ(p.exitStatus(), QProcess::NormalExit)
            << "start " << start << ": ended by the signal itself";
        EXPECT_EQ(p.exitCode(), 0) << "start " << start << ": " << err;
        EXPECT_TRUE(readAll(dir.file(QStringLiteral("VeloraKarvex.xml"))).endsWith("</Configuration>\r\n"))
            << "start " << start << ": the settings file is written";
        EXPECT_FALSE(exists(dir.file(ProgramFolderLock::kFileName.toString()))) << "start " << start;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Runs, StopDuringStartUp,
    ::testing::Values(
        StopCase{"once_sigterm", {QStringLiteral("--headless"), QStringLiteral("--once")}, SIGTERM, false},
        StopCase{"polling_sigterm", {QStringLiteral("--headless")}, SIGTERM, false},
        StopCase{"polling_sigint", {QStringLiteral("--headless")}, SIGINT, false},
        StopCase{"polling_sighup", {QStringLiteral("--headless")}, SIGHUP, false},
        StopCase{"window_sigterm", {}, SIGTERM, true}),
    [](const auto& p) { return std::string(p.param.name); });

QByteArray newOrder(int id) {
    return "<w2w><s2c><kind>ADD</kind><id>" + QByteArray::number(id) +
           "</id><ssec>201101071146</ssec><passenger>Mevr. de "
           "Vries</passenger><costs>1250</costs></s2c></w2w>";
}

// Delivered whole: written under a name the link does not take, then renamed.
void deliver(const test::TempFolder& dir, const QString& name, const QByteArray& bytes) {
    const QString temp = dir.write(QStringLiteral("W2W/S2C/.bezig-") + name + QStringLiteral(".tmp"), bytes);
    ASSERT_TRUE(QFile::rename(temp, dir.file(QStringLiteral("W2W/S2C/") + name)));
}

bool answeredBob(const test::TempFolder& dir, const QString& name) {
    const QString answer = dir.file(QStringLiteral("W2W/C2S/") + name);
    return exists(answer) && readAll(answer).contains("<kind>BOB</kind>");
}

// A stop request is never ignored: with the database server frozen, the link hangs in the driver
// while it saves a document, and the stop signal cannot reach its loop. After the grace period
// the program ends by itself, with its own exit code and one line that says why; the settings
// file is left as it was. The next start recovers the document from the journal: one row, "BOB".
TEST(StopSignals, ARequestThatTheLinkCannotActOnEndsTheProgramAfterTheGracePeriod) {
    test::PrivatePostgres pg;
    test::TempFolder dir;
    MemorySettings settings;
    pg.fillLoginSettings(settings);
    settings.setText(Setting::Interval, QStringLiteral("1"));
    settings.setChecked(Setting::Automatisch, true);
    test::writeSettingsFile(dir.path(), settings);
    const QByteArray storedSettings = readAll(dir.file(QStringLiteral("VeloraKarvex.xml")));
    dir.mkdir(QStringLiteral("W2W/S2C"));
    deliver(dir, QStringLiteral("4710.s2c"), newOrder(4710));

    QProcess link;
    link.start(QStringLiteral(VK_CLIENT_PATH),
               {QStringLiteral("--headless"), QStringLiteral("--folder"), dir.path()});
    ASSERT_TRUE(link.waitForStarted());
    ASSERT_TRUE(QTest::qWaitFor([&] { return answeredBob(dir, QStringLiteral("4710.c2s")); }, 60000))
        << link.readAllStandardOutput().toStdString() << link.readAllStandardError().toStdString();

    pg.freeze();
    deliver(dir, QStringLiteral("4711.s2c"), newOrder(4711));
    // taken (journalled and deleted), and now inside the database call that does not return
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !exists(dir.file(QStringLiteral("W2W/S2C/4711.s2c"))); }, 30000));
    ASSERT_EQ(link.state(), QProcess::Running);
    link.terminate();
    ASSERT_TRUE(link.waitForFinished(15000)) << "ended within 15 s of the stop signal";
    const QString err = QString::fromLocal8Bit(link.readAllStandardError());
    EXPECT_EQ(link.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(link.exitCode(), kStopTimeoutExitCode) << err.toStdString();
    EXPECT_EQ(err, QString::fromUtf8(kStopTimeoutMessage)) << "one line that says why";
    EXPECT_EQ(readAll(dir.file(QStringLiteral("VeloraKarvex.xml"))), storedSettings) << "not written";
    EXPECT_FALSE(exists(dir.file(QStringLiteral("W2W/C2S/4711.c2s"))));

    pg.thaw();
    const test::ProcessResult next = test::runClient(
        {QStringLiteral("--headless"), QStringLiteral("--once"), QStringLiteral("--folder"), dir.path()});
    EXPECT_EQ(next.exitCode, 0) << next.err.toStdString();
    EXPECT_TRUE(answeredBob(dir, QStringLiteral("4711.c2s"))) << next.out.toStdString();
    EXPECT_EQ(pg.value(QStringLiteral("SELECT COUNT(*) FROM planning WHERE pla_extern = 4711")).toInt(), 1);
    EXPECT_EQ(pg.value(QStringLiteral("SELECT COUNT(*) FROM planning WHERE pla_extern = 4710")).toInt(), 1);
}

// A request that comes while a long cycle works through its documents waits for the cycle's end,
// however long that is: every document the cycle starts gives it another grace period.
TEST(StopSignals, ACycleThatMovesOnIsNotCutShort) {
    EXPECT_EXIT(
        {
            installStopSignalHandlers();
            std::raise(SIGTERM);
            // a cycle of 13 seconds that lets the messages run once a second
            for (int second = 0; second < 13; ++second) {
                std::this_thread::sleep_for(std::chrono::seconds(1));
                StopSignals::noteProgress();
            }
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace vk
