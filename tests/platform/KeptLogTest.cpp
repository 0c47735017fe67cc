#include "platform/KeptLog.h"
#include "support/Ports.h"
#include "support/TempFolder.h"

#include <QFile>

#include <gtest/gtest.h>

namespace vk {
namespace {

class KeptLogFile : public ::testing::Test {
protected:
    QByteArray day(const QString& date) {
        return test::readAll(root.file(QStringLiteral("Logboek/%1.log").arg(date)));
    }
    test::TempFolder root;
    QString folder = root.path() + u'/';
    test::RecordingLog view;
    ManualClock clock{QDateTime(QDate(2026, 12, 10), QTime(23, 59, 58))};
};

// Every line of the view is in the day's file, also a text that replaced the whole view; a new day
// starts a new file.
TEST_F(KeptLogFile, TheViewsLinesOutliveTheRunDayByDay) {
    {
        KeptLog log(view, folder, clock);
        log.appendLine(QStringLiteral("10-12-2026 23:59:58 Verbinding W2W ADD XML: /in/4711.s2c"));
        log.replaceText(QStringLiteral("Cannot create file \"/uit/4711.c2s\".\r\nNo space left on device"));
        clock.advanceMs(3000);
        log.appendLine(QStringLiteral("11-12-2026 00:00:01 Verbinding W2W UPD XML: /in/4711-w.s2c"));
    }
    ASSERT_EQ(view.lines.size(), 2);  // the view was replaced, the file keeps it all
    EXPECT_EQ(view.lines[1], QStringLiteral("11-12-2026 00:00:01 Verbinding W2W UPD XML: /in/4711-w.s2c"));
    EXPECT_EQ(day(QStringLiteral("2026-12-10")),
              "10-12-2026 23:59:58 Verbinding W2W ADD XML: /in/4711.s2c\n"
              "Cannot create file \"/uit/4711.c2s\".\nNo space left on device\n");
    EXPECT_EQ(day(QStringLiteral("2026-12-11")),
              "11-12-2026 00:00:01 Verbinding W2W UPD XML: /in/4711-w.s2c\n");

    // the next run goes on in the same file
    KeptLog again(view, folder, clock);
    again.appendLine(QStringLiteral("één regel"));
    EXPECT_EQ(day(QStringLiteral("2026-12-11")),
              "11-12-2026 00:00:01 Verbinding W2W UPD XML: /in/4711-w.s2c\n" +
                  QStringLiteral("één regel\n").toUtf8());
}

// A line kept for the record alone is in the day's file in its place among the others, and the view
// never gets it; a view that keeps nothing drops it.
TEST_F(KeptLogFile, ALineKeptOnlyIsInTheFileNotInTheView) {
    KeptLog log(view, folder, clock);
    log.appendLine(QStringLiteral("voor"));
    log.keepOnly(QStringLiteral("10-12-2026 23:59:58 - Qt: QStandardPaths: XDG_RUNTIME_DIR not set"));
    log.appendLine(QStringLiteral("na"));
    EXPECT_EQ(view.lines, (QStringList{QStringLiteral("voor"), QStringLiteral("na")}));
    EXPECT_EQ(day(QStringLiteral("2026-12-10")),
              "voor\n10-12-2026 23:59:58 - Qt: QStandardPaths: XDG_RUNTIME_DIR not set\nna\n");

    static_cast<LogView&>(view).keepOnly(QStringLiteral("nergens"));
    EXPECT_EQ(view.lines, (QStringList{QStringLiteral("voor"), QStringLiteral("na")}));
}

// Files of more than 90 days ago go at the start and at the first line of a new day; other files
// in the folder stay.
TEST_F(KeptLogFile, OldFilesGoAfterNinetyDays) {
    root.mkdir(QStringLiteral("Logboek"));
    for (const char* name : {"2026-09-10.log", "2026-09-11.log", "2026-09-12.log", "notities.log"}) {
        root.write(QStringLiteral("Logboek/") + QString::fromLatin1(name), "x\n");
    }
    KeptLog log(view, folder, clock);
    EXPECT_FALSE(QFile::exists(root.file(QStringLiteral("Logboek/2026-09-10.log"))));
    EXPECT_TRUE(QFile::exists(root.file(QStringLiteral("Logboek/2026-09-11.log"))));
    log.appendLine(QStringLiteral("a"));
    clock.advanceMs(3000);  // 11 December: 12 September is the oldest kept
    log.appendLine(QStringLiteral("b"));
    EXPECT_FALSE(QFile::exists(root.file(QStringLiteral("Logboek/2026-09-11.log"))));
    EXPECT_TRUE(QFile::exists(root.file(QStringLiteral("Logboek/2026-09-12.log"))));
    EXPECT_TRUE(QFile::exists(root.file(QStringLiteral("Logboek/notities.log"))));
}

// A file that cannot be written never stops the link: the view gets every line and one line that
// says so, and the file is written again once it can be.
TEST_F(KeptLogFile, AFileThatCannotBeWrittenIsSaidOnce) {
    root.write(QStringLiteral("Logboek"), "a file in the way");
    KeptLog log(view, folder, clock);
    log.appendLine(QStringLiteral("a"));
    log.appendLine(QStringLiteral("b"));
    ASSERT_EQ(view.lines.size(), 3);
    EXPECT_EQ(view.lines[0], QStringLiteral("a"));
    EXPECT_TRUE(view.lines[1].startsWith(QStringLiteral("10-12-2026 23:59:58 - Het logbestand ")))
        << view.lines[1].toStdString();
    EXPECT_TRUE(view.lines[1].endsWith(
        QStringLiteral("kan niet geschreven worden (Not a directory); de koppeling gaat door")))
        << view.lines[1].toStdString();
    EXPECT_EQ(view.lines[2], QStringLiteral("b"));

    QFile::remove(root.file(QStringLiteral("Logboek")));
    log.appendLine(QStringLiteral("c"));
    EXPECT_EQ(day(QStringLiteral("2026-12-10")), "c\n");
}

}  // namespace
}  // namespace vk
