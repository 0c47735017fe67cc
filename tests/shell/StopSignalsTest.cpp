#include "shell/ClientProcess.h"
#include "support/TempFolder.h"

#include <QProcess>

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

}  // namespace
}  // namespace vk
