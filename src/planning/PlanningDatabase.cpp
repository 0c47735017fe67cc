#include "planning/PlanningDatabase.h"

#include "platform/Errors.h"

#include <QSqlDriver>
#include <QSqlError>

#include <atomic>

namespace vk {

namespace {

QString newConnectionName() {
    static std::atomic<int> counter{0};
    return QStringLiteral("vk-ado-%1").arg(++counter);
}

}  // namespace

QString databaseErrorText(const QSqlError& error) {
    const QString database = error.databaseText().trimmed();
    const QString driver = error.driverText().trimmed();
    if (database.isEmpty()) {
        return driver;
    }
    if (driver.isEmpty() || database.contains(driver)) {
        return database;
    }
    return driver + QStringLiteral(": ") + database;
}

PlanningDatabase::PlanningDatabase(const Settings& settings, QString programFolder)
    : settings_(settings), programFolder_(std::move(programFolder)), connectionName_(newConnectionName()) {}

PlanningDatabase::~PlanningDatabase() {
    Close();
    QSqlDatabase::removeDatabase(connectionName_);
}

ConnectionTarget PlanningDatabase::ADOBeforeConnect() const {
    const LoginSettings login{settings_.text(Setting::xLoginServer), settings_.text(Setting::xLoginDatabase),
                              settings_.text(Setting::xLoginSQL), settings_.text(Setting::xPaswoordSQL)};
    const bool needsDrivers = !login.server.startsWith(u"sqlite:", Qt::CaseInsensitive) &&
                              !login.server.startsWith(u"odbc:", Qt::CaseInsensitive);
    return connectionTarget(login, programFolder_, needsDrivers ? listOdbcDrivers() : QStringList());
}

bool PlanningDatabase::isOpen() const {
    return QSqlDatabase::contains(connectionName_) && QSqlDatabase::database(connectionName_, false).isOpen();
}

void PlanningDatabase::fail(const QSqlError& error) const {
    throw DatabaseError(databaseErrorText(error));
}

void PlanningDatabase::open() {
    if (isOpen()) {
        return;
    }
    const ConnectionTarget target = ADOBeforeConnect();
    Close();
    QSqlDatabase::removeDatabase(connectionName_);
    QSqlDatabase db = QSqlDatabase::addDatabase(target.qtDriver, connectionName_);
    if (!db.isValid()) {
        throw DatabaseError(
            QStringLiteral("Het databasestuurprogramma %1 is niet beschikbaar").arg(target.qtDriver));
    }
    db.setDatabaseName(target.databaseName);
    if (!db.open()) {
        const QSqlError error = db.lastError();
        db.close();
        fail(error);
    }
    ++connectionNumber_;
    if (target.dialect) {
        dialect_ = *target.dialect;
    } else {
        switch (db.driver()->dbmsType()) {
            case QSqlDriver::PostgreSQL:
                dialect_ = SqlDialect::PostgreSQL;
                break;
            case QSqlDriver::SQLite:
                dialect_ = SqlDialect::SQLite;
                break;
            default:
                dialect_ = SqlDialect::SqlServer;
        }
    }
    if (target.kind == ConnectionTarget::Kind::Sqlite) {
        try {
            // WAL with full synchronous commits: an acknowledged order survives a power cut
            QSqlQuery pragma(db);
            if (!pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL")) ||
                !pragma.exec(QStringLiteral("PRAGMA synchronous=FULL")) ||
                !pragma.exec(QStringLiteral("PRAGMA busy_timeout=5000"))) {
                fail(pragma.lastError());
            }
            createSqliteSchemaIfEmpty();
        } catch (...) {
            Close();
            throw;
        }
    }
}

// A new file, or one without any table, gets the link's tables, all of them or none. A file that
// has tables of its own is left as it is: what is missing there is reported when it is used.
void PlanningDatabase::createSqliteSchemaIfEmpty() {
    QSqlDatabase db = QSqlDatabase::database(connectionName_, false);
    if (!db.tables(QSql::Tables).isEmpty()) {
        return;
    }
    if (!db.transaction()) {
        fail(db.lastError());
    }
    QSqlQuery q(db);
    for (const QString& statement : schemaStatements(SqlDialect::SQLite)) {
        if (!q.exec(statement)) {
            const QSqlError error = q.lastError();
            q.finish();
            db.rollback();
            fail(error);
        }
    }
    if (!db.commit()) {
        fail(db.lastError());
    }
}

void PlanningDatabase::Close() {
    prepared_.clear();
    if (QSqlDatabase::contains(connectionName_)) {
        QSqlDatabase db = QSqlDatabase::database(connectionName_, false);
        db.close();
    }
}

QSqlQuery& PlanningDatabase::prepared(const QString& sql) {
    open();
    auto it = prepared_.find(sql);
    if (it == prepared_.end()) {
        auto query = std::make_unique<QSqlQuery>(QSqlDatabase::database(connectionName_, false));
        query->setForwardOnly(true);
        query->setNumericalPrecisionPolicy(QSql::HighPrecision);
        if (!query->prepare(sql)) {
            fail(query->lastError());
        }
        it = prepared_.emplace(sql, std::move(query)).first;
    }
    return *it->second;
}

QSqlQuery& PlanningDatabase::execute(const QString& sql, const QVariantList& values) {
    QSqlQuery& query = prepared(sql);
    for (int i = 0; i < values.size(); ++i) {
        query.bindValue(i, values[i]);
    }
    if (recordStatements) {
        statements << sql;
    }
    if (!query.exec()) {
        // a statement that failed is prepared anew next time
        const QSqlError error = query.lastError();
        prepared_.erase(sql);
        fail(error);
    }
    return query;
}

}  // namespace vk
