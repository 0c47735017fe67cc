#pragma once

#include "settings/Settings.h"
#include "support/TempFolder.h"

#include <QSqlDatabase>
#include <QString>

#include <memory>
#include <ostream>
#include <string>

namespace vk::test {

// The databases every database test runs against: the embedded SQLite default, and PostgreSQL
// through the ODBC driver (the server that ./test starts on loopback).
enum class Backend { SQLite, PostgreSQLOdbc };

std::string backendName(Backend backend);
inline void PrintTo(Backend backend, std::ostream* os) {
    *os << backendName(backend);
}

// The PostgreSQL server of the test run, from the variables ./test exports. Missing variables
// make the test fail loudly: the tests are never skipped.
struct PostgresServer {
    QString port, user, password, adminDatabase;
    static PostgresServer fromEnvironment();
    QString odbcServerSetting() const;  // "odbc:Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=..."
};

// A fresh planning database for one test, with the login settings pointing at it, removed at the
// end. For SQLite the file is created by the link itself on its first connect.
class TestDatabase {
public:
    TestDatabase(Backend backend, Settings& settings);
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    Backend backend() const { return backend_; }
    const QString& programFolder() const { return programFolder_; }
    // A connection of the test's own for looking at the tables and changing them behind the
    // link's back; the schema is created through it when the link has not done so.
    QSqlDatabase inspect();
    // Runs a statement through the test's own connection; fails the test when it fails.
    void exec(const QString& sql);
    void createSchema();

private:
    Backend backend_;
    TempFolder dir_;
    QString programFolder_;
    QString pgDatabase_;
    QString connectionName_;
};

}  // namespace vk::test
