#pragma once

#include "planning/SqlDialect.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace vk {

// The four login settings as they are at the moment of a connect.
struct LoginSettings {
    QString server;    // xLoginServer
    QString database;  // xLoginDatabase
    QString login;     // xLoginSQL
    QString password;  // xPaswoordSQL
};

// Where the server setting points:
//   "sqlite:" + a file path          an embedded SQLite database (relative to the program folder)
//   "odbc:" + the start of an ODBC connection string, to which database, login and password are added
//   anything else                    a SQL Server name, reached through an installed SQL Server ODBC driver
struct ConnectionTarget {
    enum class Kind { SqlServer, Odbc, Sqlite };
    Kind kind = Kind::SqlServer;
    QString qtDriver;                   // "QODBC" or "QSQLITE"
    QString databaseName;               // for QODBC the whole connection string, for QSQLITE the file
    std::optional<SqlDialect> dialect;  // known before the connect, or asked of the driver after it
};

// A value in an ODBC connection string, in braces (with "}" doubled) when it holds a character
// that would end or change it, so that any text is taken as it stands.
QString quoteOdbcValue(const QString& value);

// The ODBC drivers for SQL Server in the order they are preferred (newest Microsoft driver
// first, FreeTDS last), of those named in installed.
QStringList preferredSqlServerDrivers(const QStringList& installed);
// The names looked for, for the message when none is installed.
QStringList sqlServerDriverNamesLookedFor();

// The drivers the ODBC driver manager knows.
QStringList installedOdbcDrivers();

// Builds the target from the settings as they are now. installedDrivers is consulted only for
// a SQL Server name; a DatabaseError names the drivers looked for when none fits.
ConnectionTarget connectionTarget(const LoginSettings& login, const QString& programFolder,
                                  const QStringList& installedDrivers);

}  // namespace vk
