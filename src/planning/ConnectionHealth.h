#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>

#include <optional>

namespace vk {

// What the diagnostics of a failed statement say of the connection it ran on.
enum class ConnectionVerdict {
    Lost,     // the connection is gone: the server ended it, restarted, or cannot be reached
    Alive,    // the statement failed for a reason of its own; the connection can go on
    Unknown,  // nothing definite: only a look at the connection itself can tell
};

// Judges the SQLSTATEs of a failed statement's diagnostic records. Class 08 (connection
// exception, e.g. SQL Server's and psqlODBC's 08S01 "Communication link failure") and
// PostgreSQL's 57P01 to 57P03 (the server shut down, crashed, or is starting up) mean a lost
// connection; a general error (HY000) or warning (class 01) alone says nothing; any other state
// is a failure of the statement on a connection that lives.
ConnectionVerdict verdictOfSqlStates(const QStringList& states);

// The SQLSTATEs of the ODBC diagnostic records of a statement that just failed, read before
// anything else runs on it; empty when the query is not on an ODBC connection.
QStringList odbcStatementStates(const QSqlQuery& query);
// The same for the connection itself (a failed begin, commit or rollback).
QStringList odbcConnectionStates(const QSqlDatabase& db);

// Asks the ODBC driver whether its connection is dead (SQL_ATTR_CONNECTION_DEAD); nothing when
// the connection is not an ODBC one or the driver cannot say.
std::optional<bool> odbcConnectionDead(const QSqlDatabase& db);

// The identity of a file on its disk, so that a database file removed or replaced under an open
// connection is noticed: the connection would otherwise go on writing into the old file.
struct FileIdentity {
    unsigned long long device = 0;
    unsigned long long inode = 0;
    bool operator==(const FileIdentity&) const = default;
};
std::optional<FileIdentity> fileIdentity(const QString& path);

}  // namespace vk
