#include "support/Databases.h"

#include "planning/ConnectionTarget.h"
#include "planning/SqlDialect.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

namespace vk::test {

std::string backendName(Backend backend) {
    return backend == Backend::SQLite ? "SQLite" : "PostgreSQLOdbc";
}

PostgresServer PostgresServer::fromEnvironment() {
    PostgresServer s{qEnvironmentVariable("VK_PG_PORT"), qEnvironmentVariable("VK_PG_USER"),
                     qEnvironmentVariable("VK_PG_PASSWORD"), qEnvironmentVariable("VK_PG_DATABASE")};
    if (s.port.isEmpty() || s.user.isEmpty()) {
        throw std::runtime_error(
            "no PostgreSQL server for the tests: VK_PG_PORT and VK_PG_USER are not set (run the tests with "
            "./test, "
            "which starts one)");
    }
    return s;
}

QString PostgresServer::odbcServerSetting() const {
    return QStringLiteral("odbc:Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=%1").arg(port);
}

namespace {

QString uniqueName(const char* prefix) {
    static std::atomic<int> counter{0};
    return QStringLiteral("%1_%2_%3_%4")
        .arg(QLatin1String(prefix))
        .arg(QCoreApplication::applicationPid())
        .arg(++counter)
        .arg(QRandomGenerator::global()->bounded(1000000));
}

QSqlDatabase odbcConnection(const QString& name, const PostgresServer& pg, const QString& database) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), name);
    db.setDatabaseName(pg.odbcServerSetting().mid(5) + QStringLiteral(";Database=%1;UID=%2;PWD=%3;")
                                                           .arg(quoteOdbcValue(database),
                                                                quoteOdbcValue(pg.user),
                                                                quoteOdbcValue(pg.password)));
    if (!db.open()) {
        throw std::runtime_error("cannot reach the test's PostgreSQL server: " +
                                 db.lastError().text().toStdString());
    }
    return db;
}

void adminExec(const PostgresServer& pg, const QString& sql) {
    const QString name = uniqueName("admin");
    {
        QSqlDatabase db = odbcConnection(name, pg, pg.adminDatabase);
        QSqlQuery q(db);
        if (!q.exec(sql)) {
            throw std::runtime_error(q.lastError().text().toStdString());
        }
    }
    QSqlDatabase::removeDatabase(name);
}

}  // namespace

TestDatabase::TestDatabase(Backend backend, Settings& settings)
    : backend_(backend), programFolder_(dir_.path() + u'/'), connectionName_(uniqueName("inspect")) {
    settings.setText(Setting::xLoginDatabase, QString());
    settings.setText(Setting::xLoginSQL, QString());
    settings.setText(Setting::xPaswoordSQL, QString());
    if (backend == Backend::SQLite) {
        settings.setText(Setting::xLoginServer, QStringLiteral("sqlite:planning.db"));
        return;
    }
    const PostgresServer pg = PostgresServer::fromEnvironment();
    pgDatabase_ = uniqueName("vk").toLower();
    adminExec(pg, QStringLiteral("CREATE DATABASE %1").arg(pgDatabase_));
    settings.setText(Setting::xLoginServer, pg.odbcServerSetting());
    settings.setText(Setting::xLoginDatabase, pgDatabase_);
    settings.setText(Setting::xLoginSQL, pg.user);
    settings.setText(Setting::xPaswoordSQL, pg.password);
    createSchema();
}

TestDatabase::~TestDatabase() {
    if (QSqlDatabase::contains(connectionName_)) {
        QSqlDatabase::database(connectionName_, false).close();
        QSqlDatabase::removeDatabase(connectionName_);
    }
    if (!pgDatabase_.isEmpty()) {
        try {
            adminExec(PostgresServer::fromEnvironment(),
                      QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(pgDatabase_));
        } catch (const std::exception& e) {
            ADD_FAILURE() << "cannot drop the test database: " << e.what();
        }
    }
}

QSqlDatabase TestDatabase::inspect() {
    if (QSqlDatabase::contains(connectionName_)) {
        QSqlDatabase db = QSqlDatabase::database(connectionName_, false);
        if (!db.isOpen()) {
            db.open();
        }
        return db;
    }
    if (backend_ == Backend::SQLite) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName_);
        db.setDatabaseName(programFolder_ + QStringLiteral("planning.db"));
        if (!db.open()) {
            throw std::runtime_error("cannot open the SQLite test database");
        }
        return db;
    }
    return odbcConnection(connectionName_, PostgresServer::fromEnvironment(), pgDatabase_);
}

void TestDatabase::exec(const QString& sql) {
    QSqlQuery q(inspect());
    if (!q.exec(sql)) {
        ADD_FAILURE() << sql.toStdString() << ": " << q.lastError().text().toStdString();
    }
}

void TestDatabase::createSchema() {
    for (const QString& statement :
         schemaStatements(backend_ == Backend::SQLite ? SqlDialect::SQLite : SqlDialect::PostgreSQL)) {
        exec(statement);
    }
}

}  // namespace vk::test
