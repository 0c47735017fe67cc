#include "support/PrivatePostgres.h"

#include "planning/SqlDialect.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>

#include <atomic>
#include <stdexcept>

namespace vk::test {

namespace {

QString scriptPath() {
    return QStringLiteral(VK_PG_SCRIPT);
}

QString connectionName() {
    static std::atomic<int> counter{0};
    return QStringLiteral("private-pg-%1").arg(++counter);
}

// Runs body on a connection of its own to the database, closed again afterwards.
template <class Body>
auto withConnection(const PostgresServer& pg, const QString& database, Body body) {
    const QString name = connectionName();
    struct Remove {
        QString name;
        ~Remove() { QSqlDatabase::removeDatabase(name); }
    } remove{name};
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), name);
    db.setDatabaseName(pg.odbcServerSetting().mid(5) +
                       QStringLiteral(";Database=%1;UID=%2;PWD=%3;").arg(database, pg.user, pg.password));
    if (!db.open()) {
        throw std::runtime_error("cannot reach the test's own PostgreSQL server: " +
                                 db.lastError().text().toStdString());
    }
    auto result = body(db);
    db.close();
    return result;
}

}  // namespace

PrivatePostgres::PrivatePostgres() {
    if (!dir_.isValid()) {
        throw std::runtime_error("no temporary folder for a PostgreSQL server");
    }
    // the server runs as its own user, which must reach its data folder
    QFile::setPermissions(dir_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                           QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                           QFile::ExeOther);
    QProcess p;
    p.start(QStringLiteral("bash"),
            {scriptPath(), QStringLiteral("start"), dir_.path() + QStringLiteral("/pg")});
    if (!p.waitForFinished(120000) || p.exitCode() != 0) {
        throw std::runtime_error("scripts/pg.sh start failed: " + p.readAllStandardError().toStdString());
    }
    running_ = true;
    // the script prints "export NAME=value" lines
    QString port, user, password, database;
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split(u'\n')) {
        const QString assignment = line.section(u' ', 1);
        const QString name = assignment.section(u'=', 0, 0);
        const QString value = assignment.section(u'=', 1);
        if (name == u"VK_PG_PORT")
            port = value;
        if (name == u"VK_PG_USER")
            user = value;
        if (name == u"VK_PG_PASSWORD")
            password = value;
        if (name == u"VK_PG_DATABASE")
            database = value;
    }
    server_ = PostgresServer{port, user, password, database};
    withConnection(server_, database, [](QSqlDatabase& db) {
        QSqlQuery q(db);
        for (const QString& statement : schemaStatements(SqlDialect::PostgreSQL)) {
            if (!q.exec(statement)) {
                throw std::runtime_error("cannot create the tables: " + q.lastError().text().toStdString());
            }
        }
        return 0;
    });
}

PrivatePostgres::~PrivatePostgres() {
    if (frozen_) {
        thaw();
    }
    try {
        if (running_) {
            script(QStringLiteral("pause"),
                   {QStringLiteral("immediate")});  // no checkpoint for a server that goes
        }
        script(QStringLiteral("stop"));
    } catch (const std::exception&) {
    }
}

void PrivatePostgres::script(const QString& action, const QStringList& extra) const {
    QProcess p;
    p.start(QStringLiteral("bash"),
            QStringList{scriptPath(), action, dir_.path() + QStringLiteral("/pg")} + extra);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        throw std::runtime_error("scripts/pg.sh " + action.toStdString() +
                                 " failed: " + p.readAllStandardError().toStdString());
    }
}

void PrivatePostgres::fillLoginSettings(Settings& settings) const {
    settings.setText(Setting::xLoginServer, server_.odbcServerSetting());
    settings.setText(Setting::xLoginDatabase, server_.adminDatabase);
    settings.setText(Setting::xLoginSQL, server_.user);
    settings.setText(Setting::xPaswoordSQL, server_.password);
}

void PrivatePostgres::stop(const char* mode) {
    script(QStringLiteral("pause"), {QString::fromLatin1(mode)});
    running_ = false;
}

void PrivatePostgres::start() {
    script(QStringLiteral("resume"));
    running_ = true;
}

void PrivatePostgres::freeze() {
    script(QStringLiteral("freeze"));
    frozen_ = true;
}

void PrivatePostgres::thaw() {
    script(QStringLiteral("thaw"));
    frozen_ = false;
}

void PrivatePostgres::terminateSessions() {
    // waits until each session has really ended
    exec(
        QStringLiteral("SELECT pg_terminate_backend(pid, 10000) FROM pg_stat_activity "
                       "WHERE datname = current_database() AND pid <> pg_backend_pid()"));
}

void PrivatePostgres::exec(const QString& sql) const {
    withConnection(server_, server_.adminDatabase, [&](QSqlDatabase& db) {
        QSqlQuery q(db);
        if (!q.exec(sql)) {
            throw std::runtime_error(sql.toStdString() + ": " + q.lastError().text().toStdString());
        }
        return 0;
    });
}

QVariant PrivatePostgres::value(const QString& sql) const {
    return withConnection(server_, server_.adminDatabase, [&](QSqlDatabase& db) {
        QSqlQuery q(db);
        if (!q.exec(sql) || !q.next()) {
            throw std::runtime_error(sql.toStdString() + ": " + q.lastError().text().toStdString());
        }
        return q.value(0);
    });
}

}  // namespace vk::test
