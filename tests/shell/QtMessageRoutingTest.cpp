#include "settings/Settings.h"
#include "shell/ClientProcess.h"
#include "shell/QtMessageRouting.h"
#include "support/Ports.h"
#include "support/PrivatePostgres.h"
#include "support/TempFolder.h"

#include <QFile>
#include <QTemporaryFile>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <functional>
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
                  QtMessageRoute::Log},
        RouteCase{"critical", QtCriticalMsg, "default", "QSocketNotifier: Invalid socket specified",
                  QtMessageRoute::Log},
        RouteCase{"without_category", QtWarningMsg, nullptr, "QObject::connect: No such signal",
                  QtMessageRoute::Log},
        RouteCase{"fatal", QtFatalMsg, "default", "ASSERT failure", QtMessageRoute::Fatal},
        RouteCase{"fatal_of_sql", QtFatalMsg, "default", "QSqlDatabase: broken", QtMessageRoute::Fatal}),
    [](const auto& p) { return std::string(p.param.name); });

// Standard error goes into a file while it exists.
class StandardErrorCapture {
public:
    StandardErrorCapture() {
        EXPECT_TRUE(file_.open());
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        ::dup2(file_.handle(), STDERR_FILENO);
    }
    ~StandardErrorCapture() { restore(); }
    QString text() {
        restore();
        QFile f(file_.fileName());
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return QString::fromLocal8Bit(f.readAll());
    }

private:
    void restore() {
        if (saved_ >= 0) {
            std::fflush(stderr);
            ::dup2(saved_, STDERR_FILENO);
            ::close(saved_);
            saved_ = -1;
        }
    }
    QTemporaryFile file_;
    int saved_ = -1;
};

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
protected:
    static bool isLine(const QString& line, const QString& message) {
        return line.endsWith(QStringLiteral(" - Qt: ") + message) && line.size() == 19 + 7 + message.size();
    }
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
