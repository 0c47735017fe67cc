#include "platform/Clock.h"
#include "platform/KeptLog.h"
#include "settings/Settings.h"
#include "shell/ClientProcess.h"
#include "shell/QtMessageRouting.h"
#include "support/Ports.h"
#include "support/PrivatePostgres.h"
#include "support/StandardErrorCapture.h"
#include "support/TempFolder.h"

#include <QDate>
#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <thread>

namespace vk {
namespace {

struct RouteCase {
    const char* name;
    QtMsgType type;
    const char* category;
    const char* text;
    QtMessageRoute route;
};

void PrintTo(const RouteCase& c, std::ostream* os) {
    *os << c.name;
}

class QtMessageRoutes : public ::testing::TestWithParam<RouteCase> {};

TEST_P(QtMessageRoutes, GoWhereTheyBelong) {
    const RouteCase& c = GetParam();
    EXPECT_EQ(routeOfQtMessage(c.type, c.category, QString::fromUtf8(c.text)), c.route);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QtMessageRoutes,
    ::testing::Values(
        RouteCase{"debug", QtDebugMsg, "default", "QFont::setPointSize", QtMessageRoute::Drop},
        RouteCase{"info", QtInfoMsg, "qt.qpa.fonts", "fonts found", QtMessageRoute::Drop},
        RouteCase{"odbc_exec", QtWarningMsg, "default",
                  "QODBCResult::exec: Unable to execute statement: \"[unixODBC]ERROR\"",
                  QtMessageRoute::Drop},
        RouteCase{"odbc_streamed", QtWarningMsg, "default",
                  "\"QODBCResult::exec: Unable to execute statement\" \tError: \"ERROR\"",
                  QtMessageRoute::Drop},
        RouteCase{"query", QtWarningMsg, "default", "QSqlQuery::exec: database not open",
                  QtMessageRoute::Drop},
        RouteCase{"database_private", QtWarningMsg, "default",
                  "QSqlDatabasePrivate::removeDatabase: connection 'vk' is still in use",
                  QtMessageRoute::Drop},
        RouteCase{"driver_not_loaded", QtWarningMsg, "default", "QSqlDatabase: QODBC driver not loaded",
                  QtMessageRoute::Drop},
        RouteCase{"sqlite", QtWarningMsg, "default", "QSQLiteResult::data: column 3 out of range",
                  QtMessageRoute::Drop},
        RouteCase{"postgres", QtCriticalMsg, "default", "QPSQLDriver::open: unknown", QtMessageRoute::Drop},
        RouteCase{"sql_category", QtCriticalMsg, "qt.sql.qsqlquery", "value: not positioned",
                  QtMessageRoute::Drop},
        RouteCase{"file_warning", QtWarningMsg, "default", "QFile::remove: Empty or null file name",
                  QtMessageRoute::Log},
        RouteCase{"platform_warning", QtWarningMsg, "qt.qpa.plugin", "This plugin does not support raise()",
                  QtMessageRoute::Aside},
        RouteCase{"platform_plugin_itself", QtWarningMsg, "qt.qpa", "no platform", QtMessageRoute::Aside},
        RouteCase{"x_server", QtWarningMsg, "qt.qpa.xcb", "X server does not support XInput 2",
                  QtMessageRoute::Aside},
        RouteCase{"x_server_critical", QtCriticalMsg, "qt.qpa.xcb", "could not connect to display :9",
                  QtMessageRoute::Aside},
        RouteCase{"not_below_the_platform_plugin", QtWarningMsg, "qt.qpanel", "a category of its own",
                  QtMessageRoute::Log},
        RouteCase{"fonts", QtWarningMsg, "qt.text.font.db", "OpenType support missing for \"Tahoma\"",
                  QtMessageRoute::Aside},
        RouteCase{"text_layout", QtWarningMsg, "qt.text.layout", "a layout of the link's text",
                  QtMessageRoute::Log},
        RouteCase{"accessibility", QtWarningMsg, "qt.accessibility.atspi",
                  "Could not find Accessibility DBus", QtMessageRoute::Aside},
        RouteCase{"glx", QtWarningMsg, "qt.glx", "qglx_findConfig: Failed to finding matching FBConfig",
                  QtMessageRoute::Aside},
        RouteCase{"high_dpi", QtWarningMsg, "qt.highdpi", "Ignoring invalid scale factor",
                  QtMessageRoute::Aside},
        RouteCase{"runtime_folder", QtWarningMsg, "default",
                  "QStandardPaths: XDG_RUNTIME_DIR not set, defaulting to '/tmp/runtime-root'",
                  QtMessageRoute::Aside},
        RouteCase{"runtime_folder_streamed", QtWarningMsg, "default",
                  "\"QStandardPaths: wrong permissions on runtime directory /run/user/0\"",
                  QtMessageRoute::Aside},
        RouteCase{"x_server_without_category", QtWarningMsg, nullptr,
                  "QXcbConnection: XCB error: 3 (BadWindow)", QtMessageRoute::Aside},
        RouteCase{"offscreen_services", QtWarningMsg, "default",
                  "This plugin does not support QPlatformServices::openUrl() for 'http://www.example/'.",
                  QtMessageRoute::Aside},
        RouteCase{
            "session_manager", QtWarningMsg, "default",
            "Qt: Session management error: None of the authentication protocols specified are supported",
            QtMessageRoute::Aside},
        RouteCase{"no_web_browser", QtWarningMsg, "default",
                  "Unable to detect a web browser to launch 'http://www.example/'", QtMessageRoute::Aside},
        RouteCase{"notice_words_in_another_category", QtWarningMsg, "qt.core.qobject.connect",
                  "This plugin does not support raise()", QtMessageRoute::Log},
        RouteCase{"notice_words_later_in_the_text", QtWarningMsg, "default",
                  "QFile::open: QStandardPaths: no such file", QtMessageRoute::Log},
        RouteCase{"platform_debug", QtDebugMsg, "qt.qpa.xcb", "XInput 2.2 found", QtMessageRoute::Drop},
        RouteCase{"platform_fatal", QtFatalMsg, "qt.qpa.plugin", "Could not load the Qt platform plugin",
                  QtMessageRoute::Fatal},
        RouteCase{"critical", QtCriticalMsg, "default", "QSocketNotifier: Invalid socket specified",
                  QtMessageRoute::Log},
        RouteCase{"without_category", QtWarningMsg, nullptr, "QObject::connect: No such signal",
                  QtMessageRoute::Log},
        RouteCase{"fatal", QtFatalMsg, "default", "ASSERT failure", QtMessageRoute::Fatal},
        RouteCase{"fatal_of_sql", QtFatalMsg, "default", "QSqlDatabase: broken", QtMessageRoute::Fatal}),
    [](const auto& p) { return std::string(p.param.name); });

using test::StandardErrorCapture;

// A log that notes the thread of every line, and may do something of its own while it appends.
class ThreadNotingLog final : public LogView {
public:
    void appendLine(const QString& line) override {
        lines.append(line);
        threads.append(QThread::currentThread());
        if (whileAppending) {
            whileAppending();
        }
    }
    void replaceText(const QString& text) override { lines = QStringList{text}; }
    QStringList lines;
    QList<QThread*> threads;
    std::function<void()> whileAppending;
};

class QtMessageRoutingTest : public ::testing::Test {
public:
    static bool isLine(const QString& line, const QString& message) {
        return line.endsWith(QStringLiteral(" - Qt: ") + message) && line.size() == 19 + 7 + message.size();
    }

protected:
    ThreadNotingLog log;
};

TEST_F(QtMessageRoutingTest, LinesBeforeTheLogAreKeptAndHandedOver) {
    const QtMessageRouting routing;
    qWarning("a warning before the log");
    qDebug("a debug message");
    qWarning("QSqlQuery::exec: database not open");
    EXPECT_TRUE(log.lines.isEmpty());
    const QtMessageRouting::LogAttachment attached(log);
    ASSERT_EQ(log.lines.size(), 1) << log.lines.join(u'\n').toStdString();
    EXPECT_TRUE(isLine(log.lines[0], QStringLiteral("a warning before the log")))
        << log.lines[0].toStdString();
    qCritical("a critical one");
    qInfo("an info message");
    qWarning("QODBCResult::exec: Unable to execute statement");
    ASSERT_EQ(log.lines.size(), 2);
    EXPECT_TRUE(isLine(log.lines[1], QStringLiteral("a critical one")));
}

TEST_F(QtMessageRoutingTest, AnotherThreadsMessageReachesTheLogOnTheMainThreadQueued) {
    const QtMessageRouting routing;
    const QtMessageRouting::LogAttachment attached(log);
    std::thread other([] {
        qWarning("from another thread");
        qWarning("QSqlQuery::value: not positioned on a valid record");
    });
    other.join();
    EXPECT_TRUE(log.lines.isEmpty()) << "not appended by the other thread itself";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !log.lines.isEmpty(); }, 5000));
    QCoreApplication::processEvents();
    ASSERT_EQ(log.lines.size(), 1) << log.lines.join(u'\n').toStdString();
    EXPECT_TRUE(isLine(log.lines[0], QStringLiteral("from another thread")));
    EXPECT_EQ(log.threads[0], QCoreApplication::instance()->thread());
}

// A log that warns while it appends a line: that warning goes to standard error, once, and the
// handler does not call itself; for a line of the main thread and for one handed over from another.
TEST_F(QtMessageRoutingTest, AWarningWhileALineIsAppendedGoesToStandardError) {
    const QtMessageRouting routing;
    const QtMessageRouting::LogAttachment attached(log);
    log.whileAppending = [] { qWarning("raised by the log itself"); };
    for (const bool fromAnotherThread : {false, true}) {
        log.lines.clear();
        StandardErrorCapture err;
        if (fromAnotherThread) {
            std::thread([] { qWarning("the first"); }).join();
            EXPECT_TRUE(QTest::qWaitFor([&] { return !log.lines.isEmpty(); }, 5000));
        } else {
            qWarning("the first");
        }
        const QString printed = err.text();
        ASSERT_EQ(log.lines.size(), 1) << log.lines.join(u'\n').toStdString();
        EXPECT_TRUE(isLine(log.lines[0], QStringLiteral("the first")));
        EXPECT_EQ(printed.count(QStringLiteral("raised by the log itself\n")), 1) << printed.toStdString();
        EXPECT_EQ(printed.count(u'\n'), 1) << printed.toStdString();
    }
}

TEST_F(QtMessageRoutingTest, WithoutALogLinesGoToStandardError) {
    StandardErrorCapture err;
    {
        const QtMessageRouting routing;
        qWarning("kept, never attached");
        { const QtMessageRouting::LogAttachment attached(log); }
        qWarning("after the log has gone");
        qWarning("QSqlDatabasePrivate::removeDatabase: connection 'x' is still in use");
    }
    const QStringList printed = err.text().split(u'\n', Qt::SkipEmptyParts);
    EXPECT_TRUE(log.lines.size() == 1 && isLine(log.lines[0], QStringLiteral("kept, never attached")));
    ASSERT_EQ(printed.size(), 1) << printed.join(u'\n').toStdString();
    EXPECT_TRUE(isLine(printed[0], QStringLiteral("after the log has gone")));
}

TEST_F(QtMessageRoutingTest, KeptLinesWithoutAnyLogArePrintedAtTheEnd) {
    StandardErrorCapture err;
    {
        const QtMessageRouting routing;
        qWarning("never a log");
    }
    const QString printed = err.text();
    EXPECT_TRUE(printed.endsWith(QStringLiteral(" - Qt: never a log\n"))) << printed.toStdString();
}

// The day's file of a run: the view above, and Logboek/<yyyy-mm-dd>.log in a data folder of its own.
class QtMessageRoutingWithDayFile : public QtMessageRoutingTest {
protected:
    QStringList dayFileLines() const {
        return QString::fromUtf8(test::readAll(data.file(QStringLiteral("Logboek/2026-12-10.log"))))
            .split(u'\n', Qt::SkipEmptyParts);
    }
    test::TempFolder data;
    ManualClock clock{QDateTime(QDate(2026, 12, 10), QTime(9, 30))};
    KeptLog kept{log, data.path() + u'/', clock};
};

// An environment variable set (or unset) for the length of a test.
class EnvironmentChange {
public:
    EnvironmentChange(const char* name, const std::optional<QByteArray>& value)
        : name_(name),
          before_(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt) {
        value ? qputenv(name, *value) : qunsetenv(name);
    }
    ~EnvironmentChange() { before_ ? qputenv(name_, *before_) : qunsetenv(name_); }
    EnvironmentChange(const EnvironmentChange&) = delete;
    EnvironmentChange& operator=(const EnvironmentChange&) = delete;

private:
    const char* name_;
    std::optional<QByteArray> before_;
};

// Qt's notice that XDG_RUNTIME_DIR is not set, raised for real: on standard error and in the day's
// file, never in the view the dispatcher reads. A warning of the link's own work still goes to the
// view (and the file) and not to standard error.
TEST_F(QtMessageRoutingWithDayFile, ANoticeAboutTheSurroundingsStaysOutOfTheView) {
    const QString temporary = data.mkdir(QStringLiteral("tmp"));
    const EnvironmentChange noRuntimeFolder("XDG_RUNTIME_DIR", std::nullopt);
    const EnvironmentChange temporaryFolder("TMPDIR", temporary.toLocal8Bit());
    const QString notice =
        QStringLiteral("QStandardPaths: XDG_RUNTIME_DIR not set, defaulting to '%1/runtime-%2'")
            .arg(temporary, QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name));
    const QString work = QStringLiteral("QFile::remove: Empty or null file name");
    StandardErrorCapture err;
    {
        const QtMessageRouting routing;
        const QtMessageRouting::LogAttachment attached(kept);
        EXPECT_TRUE(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation).startsWith(temporary));
        QFile::remove(QString());
    }
    const QStringList printed = err.text().split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(log.lines.size(), 1) << log.lines.join(u'\n').toStdString();
    EXPECT_TRUE(isLine(log.lines[0], work)) << log.lines[0].toStdString();
    const QStringList file = dayFileLines();
    ASSERT_EQ(file.size(), 2) << file.join(u'\n').toStdString();
    EXPECT_TRUE(isLine(file[0], notice)) << file[0].toStdString();
    EXPECT_TRUE(isLine(file[1], work)) << file[1].toStdString();
    ASSERT_EQ(printed.size(), 1) << printed.join(u'\n').toStdString();
    EXPECT_TRUE(isLine(printed[0], notice)) << printed[0].toStdString();
}

// A notice before there is a log is said on standard error at once and goes into the day's file
// once the log is there; one after the log has gone only on standard error, once.
TEST_F(QtMessageRoutingWithDayFile, ANoticeBeforeAndAfterTheLogIsSaidOnce) {
    const QLoggingCategory xServer("qt.qpa.xcb");
    StandardErrorCapture err;
    {
        const QtMessageRouting routing;
        qCWarning(xServer, "X server does not support XInput 2");
        {
            const QtMessageRouting::LogAttachment attached(kept);
            EXPECT_TRUE(log.lines.isEmpty()) << log.lines.join(u'\n').toStdString();
        }
        qCWarning(xServer, "XCB error: 3 (BadWindow)");
    }
    const QStringList printed = err.text().split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(printed.size(), 2) << printed.join(u'\n').toStdString();
    EXPECT_TRUE(isLine(printed[0], QStringLiteral("X server does not support XInput 2")))
        << printed[0].toStdString();
    EXPECT_TRUE(isLine(printed[1], QStringLiteral("XCB error: 3 (BadWindow)"))) << printed[1].toStdString();
    const QStringList file = dayFileLines();
    ASSERT_EQ(file.size(), 1) << file.join(u'\n').toStdString();
    EXPECT_TRUE(isLine(file[0], QStringLiteral("X server does not support XInput 2")))
        << file[0].toStdString();
    EXPECT_TRUE(log.lines.isEmpty());
}

// While the link says in its own line what failed, whatever Qt says on the main thread goes aside;
// another thread's warning meanwhile, and the main thread's afterwards, are lines of the log again.
TEST_F(QtMessageRoutingWithDayFile, WhileTheLinkSpeaksForItselfQtsWordsGoAside) {
    StandardErrorCapture err;
    {
        const QtMessageRouting routing;
        const QtMessageRouting::LogAttachment attached(kept);
        {
            const QtMessageRouting::Aside aside;
            qWarning("Launch failed (xdg-open http://www.example/)");
            std::thread([] { qWarning("from another thread meanwhile"); }).join();
        }
        qWarning("Launch failed (afterwards)");
        EXPECT_TRUE(QTest::qWaitFor([&] { return log.lines.size() == 2; }, 5000));
    }
    ASSERT_EQ(log.lines.size(), 2) << log.lines.join(u'\n').toStdString();
    EXPECT_TRUE(isLine(log.lines[0], QStringLiteral("from another thread meanwhile")))
        << log.lines[0].toStdString();
    EXPECT_TRUE(isLine(log.lines[1], QStringLiteral("Launch failed (afterwards)")))
        << log.lines[1].toStdString();
    const QStringList file = dayFileLines();
    ASSERT_EQ(file.size(), 3) << file.join(u'\n').toStdString();
    EXPECT_TRUE(isLine(file[0], QStringLiteral("Launch failed (xdg-open http://www.example/)")));
    const QStringList printed = err.text().split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(printed.size(), 1) << printed.join(u'\n').toStdString();
    EXPECT_TRUE(isLine(printed[0], QStringLiteral("Launch failed (xdg-open http://www.example/)")));
}

// The window's run itself, on the offscreen platform without XDG_RUNTIME_DIR: Qt's notice about
// the runtime folder comes before the log exists; it is said on standard error at once and written
// to the day's file, and not handed to Logboek (a line for Logboek would wait for it and never be
// printed while Logboek takes lines).
TEST(QtMessageRouting, TheWindowsRunSaysANoticeAboutItsSurroundingsAside) {
    test::TempFolder dir;
    const QString temporary = dir.mkdir(QStringLiteral("tmp"));
    QProcessEnvironment environment = test::offscreenEnvironment();
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    environment.insert(QStringLiteral("TMPDIR"), temporary);
    QProcess p;
    p.setProcessEnvironment(environment);
    p.start(QStringLiteral(VK_CLIENT_PATH), {QStringLiteral("--folder"), dir.path()});
    ASSERT_TRUE(test::waitUntilReady(p, dir.path()));
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 0);
    const QString notice =
        QStringLiteral("QStandardPaths: XDG_RUNTIME_DIR not set, defaulting to '%1/runtime-%2'")
            .arg(temporary, QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name));
    const QString printed = QString::fromLocal8Bit(p.readAllStandardError());
    const QStringList noticesPrinted = printed.split(u'\n').filter(notice);
    ASSERT_EQ(noticesPrinted.size(), 1) << printed.toStdString();
    EXPECT_TRUE(QtMessageRoutingTest::isLine(noticesPrinted[0], notice)) << printed.toStdString();
    const QStringList day =
        QString::fromUtf8(
            test::readAll(dir.file(QStringLiteral("Logboek/") + QDate::currentDate().toString(u"yyyy-MM-dd") +
                                   QStringLiteral(".log"))))
            .split(u'\n')
            .filter(notice);
    ASSERT_EQ(day.size(), 1) << printed.toStdString();
    EXPECT_TRUE(QtMessageRoutingTest::isLine(day[0], notice)) << day[0].toStdString();
}

TEST(QtMessageRoutingDeathTest, FatalStillEndsTheProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            const QtMessageRouting routing;
            qFatal("the end of the program");
        },
        "the end of the program");
}

// A failing database is told once, in the link's own log line: no text of Qt's SQL classes or
// drivers beside it.
TEST(QtMessageRouting, AFailingDatabaseLeavesNoDriverWarningsOnStandardError) {
    test::PrivatePostgres pg;
    pg.exec(QStringLiteral("DROP TABLE planning"));
    test::TempFolder dir;
    MemorySettings settings;
    pg.fillLoginSettings(settings);
    test::writeSettingsFile(dir.path(), settings);
    dir.mkdir(QStringLiteral("W2W/S2C"));
    dir.write(QStringLiteral("W2W/S2C/4711.s2c"),
              "<w2w><s2c><kind>ADD</kind><id>4711</id><ssec>201101071146</ssec><passenger>Mevr. de "
              "Vries</passenger><costs>1250</costs></s2c></w2w>");
    const test::ProcessResult r = test::runClient(
        {QStringLiteral("--headless"), QStringLiteral("--once"), QStringLiteral("--folder"), dir.path()});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(test::readAll(dir.file(QStringLiteral("W2W/C2S/4711.c2s"))).contains("<kind>WOB</kind>"))
        << r.out.toStdString();
    EXPECT_EQ(r.out.count(QStringLiteral("relation \"planning\" does not exist")), 1)
        << "the link logs the failure itself, once: " << r.out.toStdString();
    for (const char* text : {"QODBC", "QSql"}) {
        EXPECT_FALSE(r.err.contains(QLatin1StringView(text))) << r.err.toStdString();
    }
}

}  // namespace
}  // namespace vk
