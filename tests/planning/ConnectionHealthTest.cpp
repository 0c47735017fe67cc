#include "planning/ConnectionHealth.h"
#include "planning/PlanningDatabase.h"
#include "planning/PlanningRecord.h"
#include "planning/TemporaryKey.h"
#include "platform/Clock.h"
#include "support/Databases.h"
#include "support/PrivatePostgres.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>

#include <gtest/gtest.h>

namespace vk {
namespace {

using test::Backend;

// The diagnostic records of real failures, as the ODBC drivers give them, and what each says of
// the connection.
struct StatesCase {
    const char* what;
    QStringList states;
    ConnectionVerdict verdict;
};

TEST(SqlStates, TellALostConnectionFromAFailedStatement) {
    const std::vector<StatesCase> cases = {
        // psqlODBC, the first statement after the server was stopped ("terminating connection due to
        // administrator command", then "The connection has been lost")
        {"server shut down", {"57P01", "08S01"}, ConnectionVerdict::Lost},
        // psqlODBC, every later statement ("SQLPrepareW unable due to the connection lost")
        {"connection lost", {"08S01"}, ConnectionVerdict::Lost},
        {"server crashed", {"57P02"}, ConnectionVerdict::Lost},
        {"server starting up", {"57P03"}, ConnectionVerdict::Lost},
        // SQL Server, both ODBC drivers: "Communication link failure", "TCP Provider: ..."
        {"communication link failure", {"08S01"}, ConnectionVerdict::Lost},
        {"connection does not exist", {"08003"}, ConnectionVerdict::Lost},
        {"unable to connect", {"08001"}, ConnectionVerdict::Lost},
        {"after a warning", {"01000", "08S01"}, ConnectionVerdict::Lost},
        {"duplicate key", {"23505"}, ConnectionVerdict::Alive},
        {"unknown table", {"42P01"}, ConnectionVerdict::Alive},
        {"unknown column (SQL Server)", {"42S22"}, ConnectionVerdict::Alive},
        {"aborted transaction", {"25P02"}, ConnectionVerdict::Alive},
        {"statement time-out", {"57014"}, ConnectionVerdict::Alive},
        {"lock time-out", {"55P03"}, ConnectionVerdict::Alive},
        {"driver time-out", {"HYT00"}, ConnectionVerdict::Alive},
        {"deadlock victim", {"40001"}, ConnectionVerdict::Alive},
        {"text too long after a warning", {"01004", "22001"}, ConnectionVerdict::Alive},
        {"no record", {}, ConnectionVerdict::Unknown},
        {"general error", {"HY000"}, ConnectionVerdict::Unknown},
        {"general error after a warning", {"01000", "HY000"}, ConnectionVerdict::Unknown},
    };
    for (const StatesCase& c : cases) {
        EXPECT_EQ(verdictOfSqlStates(c.states), c.verdict) << c.what;
    }
}

// A statement that fails on a live connection leaves it open; one whose session the server ended
// closes it as lost.
TEST(SqlStates, ALostConnectionIsClosedALiveOneStays) {
    test::PrivatePostgres server;
    MemorySettings settings;
    server.fillLoginSettings(settings);
    PlanningDatabase ado(settings, QStringLiteral("/tmp/"));
    ado.open();
    try {
        ado.execute(QStringLiteral("SELECT * FROM no_such_table"), {});
        FAIL() << "the statement should fail";
    } catch (const ConnectionLost&) {
        FAIL() << "a failed statement on a live connection counts as a lost connection";
    } catch (const DatabaseError&) {
    }
    EXPECT_TRUE(ado.isOpen());

    server.terminateSessions();
    try {
        ado.execute(QStringLiteral("SELECT 2"), {});
        FAIL() << "the statement should fail";
    } catch (const ConnectionLost&) {
    }
    EXPECT_FALSE(ado.isOpen());
}

// The states are read from the failed statement's own diagnostic records, through the handle that
// Qt's ODBC driver really hands out, and the driver is asked whether the connection is dead.
TEST(SqlStates, OfARealFailureOnARealConnection) {
    test::PrivatePostgres server;
    const test::PostgresServer& pg = server.server();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), QStringLiteral("states"));
    db.setDatabaseName(
        pg.odbcServerSetting().mid(5) +
        QStringLiteral(";Database=%1;UID=%2;PWD=%3;").arg(pg.adminDatabase, pg.user, pg.password));
    ASSERT_TRUE(db.open()) << db.lastError().text().toStdString();
    {
        QSqlQuery q(db);
        ASSERT_FALSE(q.exec(QStringLiteral("SELECT * FROM no_such_table")));
        const QStringList unknownTable = odbcStatementStates(q);
        EXPECT_TRUE(unknownTable.contains(QStringLiteral("42P01"))) << unknownTable.join(u' ').toStdString();
        EXPECT_EQ(verdictOfSqlStates(unknownTable), ConnectionVerdict::Alive);
        EXPECT_EQ(odbcConnectionDead(db), std::optional<bool>(false));

        server.stop("fast");
        ASSERT_FALSE(q.exec(QStringLiteral("SELECT 1")));
        const QStringList states = odbcStatementStates(q);
        EXPECT_EQ(verdictOfSqlStates(states), ConnectionVerdict::Lost) << states.join(u' ').toStdString();
        EXPECT_EQ(odbcConnectionDead(db), std::optional<bool>(true));
        EXPECT_TRUE(odbcStatementStates(QSqlQuery()).isEmpty());
    }
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("states"));
}

// The connection is checked before its first use in a cycle: one that the server ended while the
// link was idle is replaced by a new one without any statement failing.
TEST(ConnectionCheck, ADeadConnectionIsReplacedBeforeItsNextUse) {
    test::PrivatePostgres server;
    MemorySettings settings;
    server.fillLoginSettings(settings);
    PlanningDatabase ado(settings, QStringLiteral("/tmp/"));
    ado.open();
    ASSERT_EQ(ado.connectionNumber(), 1);

    // nothing due: the open connection is used as it is
    ado.open();
    EXPECT_EQ(ado.connectionNumber(), 1);

    server.stop("immediate");
    server.start();
    ado.checkBeforeNextUse();
    ado.execute(QStringLiteral("SELECT 1"), {}).finish();
    EXPECT_EQ(ado.connectionNumber(), 2);

    // a live connection passes the check and stays
    ado.checkBeforeNextUse();
    ado.execute(QStringLiteral("SELECT 1"), {}).finish();
    EXPECT_EQ(ado.connectionNumber(), 2);
}

// SQLite: a database file removed or replaced under the running link is noticed at the check, and
// the next row goes into the file that is there now, not into the one that is gone.
TEST(ConnectionCheck, ASqliteFileRemovedOrReplacedIsOpenedAnew) {
    for (const bool replaced : {false, true}) {
        SCOPED_TRACE(replaced ? "replaced" : "removed");
        MemorySettings settings;
        test::TestDatabase db(Backend::SQLite, settings);
        PlanningDatabase ado(settings, db.programFolder());
        ManualClock clock(QDateTime(QDate(2011, 11, 7), QTime(9, 5, 3)));
        TemporaryKeys keys(clock);
        PlanningRecord row(ado, settings, keys, clock);
        row.appendNew();
        row.save();
        const QString file = db.programFolder() + QStringLiteral("planning.db");
        for (const char* suffix : {"", "-wal", "-shm"}) {
            QFile::remove(file + QLatin1String(suffix));
        }
        if (replaced) {
            // another database with the link's tables and one row of its own, put in place
            const QString other = db.programFolder() + QStringLiteral("other.db");
            {
                MemorySettings otherSettings;
                otherSettings.setText(Setting::xLoginServer, QStringLiteral("sqlite:") + other);
                PlanningDatabase otherAdo(otherSettings, db.programFolder());
                PlanningRecord otherRow(otherAdo, otherSettings, keys, clock);
                otherRow.appendNew();
                otherRow.save();
            }
            ASSERT_TRUE(QFile::rename(other, file));
        }
        ado.checkBeforeNextUse();
        row.appendNew();
        row.save();
        EXPECT_EQ(ado.connectionNumber(), 2);

        QSqlDatabase look = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("look"));
        look.setDatabaseName(file);
        ASSERT_TRUE(look.open());
        {
            QSqlQuery q(look);
            ASSERT_TRUE(q.exec(QStringLiteral("SELECT COUNT(*) FROM planning")));
            ASSERT_TRUE(q.next());
            EXPECT_EQ(q.value(0).toInt(), replaced ? 2 : 1);
        }
        look.close();
        look = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("look"));
    }
}

}  // namespace
}  // namespace vk
