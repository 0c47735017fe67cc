#pragma once

#include "planning/ConnectionHealth.h"
#include "planning/ConnectionTarget.h"
#include "planning/SqlDialect.h"
#include "platform/Errors.h"
#include "settings/Settings.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace vk {

// A commit whose outcome the link cannot know: the connection went while the database was
// committing. The saved document may or may not be there; only a later look can tell.
class OutcomeUnknown : public DatabaseError {
    using DatabaseError::DatabaseError;
};

// The connection was found dead (the server restarted or ended the session, the network went, the
// database file was removed) and has been closed; nothing of the unit it ran in was committed. The
// next use opens a new connection, so the work can be done once more from its start.
class ConnectionLost : public DatabaseError {
    using DatabaseError::DatabaseError;
};

// "ADO": the one connection to the planning database. It is not opened at the start; it opens
// by itself when something needs it (with the login settings as they are at that moment) and
// then stays open until it is closed. Every statement commits by itself.
class PlanningDatabase {
public:
    // How long a connect, a lock or a statement may make the link wait before it fails.
    static constexpr std::chrono::milliseconds kDefaultWaitLimit{30000};

    // programFolder: where a relative SQLite path is taken from
    PlanningDatabase(const Settings& settings, QString programFolder,
                     std::chrono::milliseconds waitLimit = kDefaultWaitLimit);
    ~PlanningDatabase();
    PlanningDatabase(const PlanningDatabase&) = delete;
    PlanningDatabase& operator=(const PlanningDatabase&) = delete;

    // A connection that has not been used for this long is checked before its next use.
    static constexpr std::chrono::seconds kIdleBeforeCheck{5};

    // Opens the connection when it is closed; raises a DatabaseError with the driver's message
    // when the connect fails (the connection then stays closed). An open connection that is due
    // for a check (see checkBeforeNextUse) is checked first, outside a unit, and replaced by a new
    // one when it is dead.
    void open();
    bool isOpen() const;
    // Closes the connection and every statement on it; closing a closed one does nothing.
    void Close();

    // The next use checks the connection first: the import engine asks this at the start of every
    // cycle, so that a server restarted while the link was idle costs no document anything.
    void checkBeforeNextUse() { checkDue_ = true; }
    // Checks the open connection now (outside a unit): a dead one is closed. Returns whether the
    // connection is open afterwards.
    bool checkConnection();

    // Runs just before every connect: the target built from the login settings as they are now.
    ConnectionTarget ADOBeforeConnect() const;

    // The dialect of the open connection.
    SqlDialect dialect() const { return dialect_; }
    // Counts the connects, so that what was learnt of one connection is asked again on the next.
    int connectionNumber() const { return connectionNumber_; }

    // A unit of work: the statements between beginUnit and commitUnit reach the database together
    // or not at all. The connection is opened before the unit starts; nothing inside it opens one,
    // so that the statements of a unit never end up on two connections. Raises a DatabaseError.
    void beginUnit();
    // Commits the unit. A connection that was lost inside the unit committed nothing: a
    // DatabaseError. A connection lost during the commit itself: OutcomeUnknown.
    void commitUnit();
    // Undoes the unit; never fails.
    void rollbackUnit() noexcept;
    bool inUnit() const { return inUnit_; }
    // A point inside the unit to go back to, so that a statement that fails undoes only itself.
    void savepoint(const QString& name);
    void rollbackToSavepoint(const QString& name);

    // Runs just before a unit's commit is sent; tests end the connection here.
    std::function<void()> beforeCommit;

    // A statement prepared once per connection and reused. The connection is opened first.
    QSqlQuery& prepared(const QString& sql);
    // Runs a prepared statement with the values bound in order; raises a DatabaseError.
    QSqlQuery& execute(const QString& sql, const QVariantList& values);

    // Names the database's ODBC drivers; replaceable so that tests can name others.
    std::function<QStringList()> listOdbcDrivers = installedOdbcDrivers;

    // The SQL of every statement this connection ran, when recording is on (tests).
    bool recordStatements = false;
    QStringList statements;

private:
    // Whether a failed statement's error means that the connection is gone (the server restarted,
    // the network went away, the database file was removed or became unreadable). The driver is
    // asked first, then the SQLSTATEs of the statement's diagnostic records (states), and where
    // neither tells, outside a unit, the connection itself with a validation statement.
    bool connectionLost(const QSqlError& error, const QStringList& states);
    void createSqliteSchemaIfEmpty();
    void limitWaits(QSqlDatabase& db);
    bool checkDue() const;
    bool answersValidation();
    bool sqliteFileReplaced() const;
    void noteUse();
    // Raises the error as a DatabaseError, closing the connection first when it is gone
    // (a ConnectionLost then). states: the SQLSTATEs of the failed statement, read right after it.
    [[noreturn]] void fail(const QSqlError& error, const QStringList& states = {});

    const Settings& settings_;
    QString programFolder_;
    std::chrono::milliseconds waitLimit_;
    QString connectionName_;
    SqlDialect dialect_ = SqlDialect::SqlServer;
    int connectionNumber_ = 0;
    bool inUnit_ = false;
    // Why the running unit can no longer commit what it was given; empty while it can.
    QString unitFailure_;
    // The unit failed because its connection was lost: it may be done again on a new one.
    bool unitLost_ = false;
    bool checkDue_ = false;
    std::chrono::steady_clock::time_point lastUse_{};
    // The SQLite file as it was when the connection opened it.
    QString sqliteFile_;
    std::optional<FileIdentity> sqliteIdentity_;
    std::map<QString, std::unique_ptr<QSqlQuery>> prepared_;
};

QString databaseErrorText(const QSqlError& error);

// A unit of work for the lifetime of the object: undone unless committed.
class PlanningUnit {
public:
    explicit PlanningUnit(PlanningDatabase& ado) : ado_(ado) { ado_.beginUnit(); }
    ~PlanningUnit() { ado_.rollbackUnit(); }
    PlanningUnit(const PlanningUnit&) = delete;
    PlanningUnit& operator=(const PlanningUnit&) = delete;
    void commit() { ado_.commitUnit(); }

private:
    PlanningDatabase& ado_;
};

}  // namespace vk
