#include "planning/PlanningDatabase.h"

#include "platform/Errors.h"

#include <QDeadlineTimer>
#include <QSqlDriver>
#include <QSqlError>
#include <QThread>
#include <QVariant>

#include <algorithm>
#include <atomic>
#include <optional>

namespace vk {

namespace {

constexpr QStringView kLostInUnit =
    u"De verbinding met de planningdatabase ging verloren tijdens het bewaren; er is niets bewaard";

// The SQLite result codes that mean the file is gone or unusable.
constexpr int SQLITE_IOERR = 10;
constexpr int SQLITE_CANTOPEN = 14;
constexpr int SQLITE_NOTADB = 26;

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

PlanningDatabase::PlanningDatabase(const Settings& settings, QString programFolder,
                                   std::chrono::milliseconds waitLimit)
    : settings_(settings),
      programFolder_(std::move(programFolder)),
      waitLimit_(waitLimit),
      connectionName_(newConnectionName()) {}

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

void PlanningDatabase::fail(const QSqlError& error, const QStringList& states) {
    const bool lost = connectionLost(error, states);
    if (lost) {
        Close();
        if (inUnit_) {
            unitLost_ = true;
        }
    }
    if (inUnit_ && !isOpen() && unitFailure_.isEmpty()) {
        unitFailure_ = kLostInUnit.toString();
    }
    if (lost) {
        throw ConnectionLost(databaseErrorText(error));
    }
    throw DatabaseError(databaseErrorText(error));
}

bool PlanningDatabase::connectionLost(const QSqlError& error, const QStringList& states) {
    if (!isOpen()) {
        return false;
    }
    QSqlDatabase db = QSqlDatabase::database(connectionName_, false);
    if (db.driverName() == u"QSQLITE") {
        // the file can no longer be read or written, is no database any more, or is not the file
        // that was opened
        const int code = error.nativeErrorCode().toInt();
        return code == SQLITE_IOERR || code == SQLITE_CANTOPEN || code == SQLITE_NOTADB ||
               sqliteFileReplaced();
    }
    // The driver knows best whether its connection is dead. (Asking it clears the connection's
    // diagnostic records: the callers read them before.)
    if (odbcConnectionDead(db).value_or(false)) {
        return true;
    }
    switch (verdictOfSqlStates(states)) {
        case ConnectionVerdict::Lost:
            return true;
        case ConnectionVerdict::Alive:
            return false;
        case ConnectionVerdict::Unknown:
            break;
    }
    // The texts of drivers that give no state, as a last resort.
    const QString text = error.databaseText() + u' ' + error.driverText();
    for (const char* sign :
         {"server closed the connection", "no connection to the server", "could not send data to server",
          "could not receive data from server", "terminating connection", "Communication link failure",
          "connection is dead", "connection has been lost", "connection lost", "TCP Provider",
          "SSL SYSCALL error"}) {
        if (text.contains(QLatin1String(sign), Qt::CaseInsensitive)) {
            return true;
        }
    }
    if (inUnit_) {
        // A validation statement would be refused inside a unit that a failed statement aborted;
        // the unit goes on (a savepoint may undo the failure), and the next use outside it checks.
        checkDue_ = true;
        return false;
    }
    return !answersValidation();
}

bool PlanningDatabase::checkDue() const {
    return checkDue_ || std::chrono::steady_clock::now() - lastUse_ > kIdleBeforeCheck;
}

void PlanningDatabase::noteUse() {
    lastUse_ = std::chrono::steady_clock::now();
}

bool PlanningDatabase::sqliteFileReplaced() const {
    return !sqliteFile_.isEmpty() && fileIdentity(sqliteFile_) != sqliteIdentity_;
}

// A statement that any live connection answers; the server's statement time-out bounds it.
bool PlanningDatabase::answersValidation() {
    QSqlQuery q(QSqlDatabase::database(connectionName_, false));
    return q.exec(QStringLiteral("SELECT 1")) && q.next();
}

bool PlanningDatabase::checkConnection() {
    if (!isOpen() || inUnit_) {
        return isOpen();
    }
    checkDue_ = false;
    if (sqliteFileReplaced() || !answersValidation()) {
        Close();
        return false;
    }
    noteUse();
    return true;
}

void PlanningDatabase::open() {
    if (isOpen() && (inUnit_ || !checkDue() || checkConnection())) {
        return;
    }
    if (inUnit_) {
        // a new connection would commit what follows on its own, apart from what went before
        if (unitFailure_.isEmpty()) {
            unitFailure_ = kLostInUnit.toString();
        }
        throw ConnectionLost(unitFailure_);
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
    if (target.qtDriver == u"QODBC") {
        // a server that takes no logins fails the connect instead of hanging it
        const auto seconds = std::max<long long>(1, waitLimit_.count() / 1000);
        db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1").arg(seconds));
    }
    if (!db.open()) {
        const QSqlError error = db.lastError();
        db.close();
        fail(error);
    }
    ++connectionNumber_;
    checkDue_ = false;
    noteUse();
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
    try {
        limitWaits(db);
        if (target.kind == ConnectionTarget::Kind::Sqlite) {
            createSqliteSchemaIfEmpty();
            // known once the connection has made the file
            sqliteFile_ = target.databaseName;
            sqliteIdentity_ = fileIdentity(sqliteFile_);
        }
    } catch (...) {
        Close();
        throw;
    }
}

// Right after every connect: a lock held by another session, or a statement the server does not
// finish, fails after the wait limit instead of holding the link.
void PlanningDatabase::limitWaits(QSqlDatabase& db) {
    const QString ms = QString::number(waitLimit_.count());
    QStringList limits;
    switch (dialect_) {
        case SqlDialect::SQLite:
            // WAL with full synchronous commits: an acknowledged order survives a power cut. The wait
            // comes first: turning a new file to WAL needs a lock that another link may hold.
            limits = {QStringLiteral("PRAGMA busy_timeout=") + ms, QStringLiteral("PRAGMA journal_mode=WAL"),
                      QStringLiteral("PRAGMA synchronous=FULL")};
            break;
        case SqlDialect::PostgreSQL:
            limits = {QStringLiteral("SET statement_timeout = ") + ms,
                      QStringLiteral("SET lock_timeout = ") + ms};
            break;
        case SqlDialect::SqlServer:
            limits = {QStringLiteral("SET LOCK_TIMEOUT ") + ms};
            break;
    }
    QSqlQuery q(db);
    for (const QString& statement : limits) {
        // Turning a file to WAL takes a lock without SQLite's own wait: while another link holds it
        // (making the tables of the same new file), this link waits here, up to the wait limit.
        QDeadlineTimer patience(waitLimit_);
        while (!q.exec(statement)) {
            const bool busy = dialect_ == SqlDialect::SQLite && q.lastError().nativeErrorCode() == u"5";
            if (!busy || patience.hasExpired()) {
                fail(q.lastError(), odbcStatementStates(q));
            }
            QThread::msleep(10);
        }
    }
}

// A new file, or one without any table, gets the link's tables, all of them or none. A file that
// has tables of its own is left as it is: what is missing there is reported when it is used. Two
// links that open the same new file at once make the tables once: the write lock is taken before
// the file is looked at again, and the second finds the tables of the first.
void PlanningDatabase::createSqliteSchemaIfEmpty() {
    QSqlDatabase db = QSqlDatabase::database(connectionName_, false);
    if (!db.tables(QSql::Tables).isEmpty()) {
        return;
    }
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        fail(q.lastError());
    }
    const auto giveUp = [&](const QSqlError& error) {
        q.finish();
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        fail(error);
    };
    if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table'")) || !q.next()) {
        giveUp(q.lastError());
    }
    if (q.value(0).toInt() == 0) {
        for (const QString& statement : schemaStatements(SqlDialect::SQLite)) {
            if (!q.exec(statement)) {
                giveUp(q.lastError());
            }
        }
    }
    q.finish();
    if (!q.exec(QStringLiteral("COMMIT"))) {
        giveUp(q.lastError());
    }
}

void PlanningDatabase::Close() {
    if (inUnit_ && unitFailure_.isEmpty()) {
        unitFailure_ = kLostInUnit.toString();  // closing discards what the unit had not committed
    }
    prepared_.clear();
    sqliteFile_.clear();
    sqliteIdentity_.reset();
    if (QSqlDatabase::contains(connectionName_)) {
        QSqlDatabase db = QSqlDatabase::database(connectionName_, false);
        db.close();
    }
}

void PlanningDatabase::beginUnit() {
    open();
    QSqlDatabase db = QSqlDatabase::database(connectionName_, false);
    if (!db.transaction()) {
        fail(db.lastError(), odbcConnectionStates(db));
    }
    inUnit_ = true;
    unitLost_ = false;
    unitFailure_.clear();
}

void PlanningDatabase::commitUnit() {
    if (!inUnit_) {
        return;
    }
    if (!unitFailure_.isEmpty() || !isOpen()) {
        const QString why = unitFailure_.isEmpty() ? kLostInUnit.toString() : unitFailure_;
        const bool lost = unitLost_ || !isOpen();
        rollbackUnit();
        if (lost) {
            throw ConnectionLost(why);
        }
        throw DatabaseError(why);
    }
    if (beforeCommit) {
        beforeCommit();
    }
    QSqlDatabase db = QSqlDatabase::database(connectionName_, false);
    const bool committed = db.commit();
    inUnit_ = false;
    if (committed) {
        noteUse();
    } else {
        const QSqlError error = db.lastError();
        // whatever the database made of it, a connection in doubt is not used again
        Close();
        throw OutcomeUnknown(QStringLiteral("Het bewaren is niet bevestigd door de database (%1); of de rit "
                                            "bewaard is, blijkt bij de volgende cyclus")
                                 .arg(databaseErrorText(error)));
    }
}

void PlanningDatabase::rollbackUnit() noexcept {
    if (!inUnit_) {
        return;
    }
    inUnit_ = false;
    if (isOpen()) {
        QSqlDatabase db = QSqlDatabase::database(connectionName_, false);
        if (!db.rollback()) {
            Close();
        }
    }
}

void PlanningDatabase::savepoint(const QString& name) {
    QSqlQuery q(QSqlDatabase::database(connectionName_, false));
    if (!q.exec(savepointStatement(dialect_, name))) {
        fail(q.lastError(), odbcStatementStates(q));
    }
}

void PlanningDatabase::rollbackToSavepoint(const QString& name) {
    QSqlQuery q(QSqlDatabase::database(connectionName_, false));
    if (!q.exec(rollbackToSavepointStatement(dialect_, name))) {
        // what the unit still holds is no longer known: it commits nothing
        const QSqlError error = q.lastError();
        const QStringList states = odbcStatementStates(q);
        if (unitFailure_.isEmpty()) {
            unitFailure_ = QStringLiteral("Het bewaren is mislukt (%1); er is niets bewaard")
                               .arg(databaseErrorText(error));
        }
        fail(error, states);
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
            fail(query->lastError(), odbcStatementStates(*query));
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
        const QStringList states = odbcStatementStates(query);
        prepared_.erase(sql);
        fail(error, states);
    }
    noteUse();
    return query;
}

}  // namespace vk
