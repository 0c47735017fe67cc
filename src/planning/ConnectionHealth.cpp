#include "planning/ConnectionHealth.h"

#include <QFile>
#include <QSqlDriver>
#include <QSqlResult>
#include <QVariant>

#include <sql.h>
#include <sqlext.h>
#include <sys/stat.h>

namespace vk {

namespace {

// The ODBC handle that Qt's driver hands out in a QVariant. Qt names its type after the typedef
// it was declared with, which differs between Qt versions ("SQLHANDLE", "void*").
std::optional<SQLHANDLE> odbcHandle(const QVariant& handle) {
    if (!handle.isValid() || handle.metaType().sizeOf() != static_cast<int>(sizeof(SQLHANDLE))) {
        return std::nullopt;
    }
    const QByteArrayView name(handle.typeName());
    if (name != "SQLHANDLE" && name != "void*" && name != "HSTMT" && name != "HDBC") {
        return std::nullopt;
    }
    SQLHANDLE h = *static_cast<const SQLHANDLE*>(handle.constData());
    return h == SQL_NULL_HANDLE ? std::nullopt : std::optional<SQLHANDLE>(h);
}

QStringList diagnosticStates(SQLSMALLINT type, SQLHANDLE handle) {
    QStringList states;
    for (SQLSMALLINT record = 1; record <= 32; ++record) {
        SQLCHAR state[SQL_SQLSTATE_SIZE + 1] = {};
        SQLINTEGER nativeError = 0;
        SQLSMALLINT length = 0;
        const SQLRETURN r = SQLGetDiagRecA(type, handle, record, state, &nativeError, nullptr, 0, &length);
        if (r == SQL_NO_DATA || !(SQL_SUCCEEDED(r) || r == SQL_SUCCESS_WITH_INFO)) {
            break;
        }
        states << QString::fromLatin1(reinterpret_cast<const char*>(state));
    }
    return states;
}

bool isOdbc(const QSqlDatabase& db) {
    return db.isValid() && db.driverName() == u"QODBC";
}

bool meansLost(QStringView state) {
    return state.startsWith(u"08") || state == u"57P01" || state == u"57P02" || state == u"57P03";
}

bool saysNothing(QStringView state) {
    return state.isEmpty() || state == u"HY000" || state == u"S1000" || state.startsWith(u"01");
}

}  // namespace

ConnectionVerdict verdictOfSqlStates(const QStringList& states) {
    bool definite = false;
    for (const QString& state : states) {
        if (meansLost(state)) {
            return ConnectionVerdict::Lost;
        }
        definite = definite || !saysNothing(state);
    }
    return definite ? ConnectionVerdict::Alive : ConnectionVerdict::Unknown;
}

QStringList odbcStatementStates(const QSqlQuery& query) {
    const QSqlResult* result = query.result();
    if (result == nullptr) {
        return {};
    }
    // only an ODBC statement handle has a type of one of the names looked for
    if (const std::optional<SQLHANDLE> statement = odbcHandle(result->handle())) {
        return diagnosticStates(SQL_HANDLE_STMT, *statement);
    }
    return {};
}

QStringList odbcConnectionStates(const QSqlDatabase& db) {
    if (!isOdbc(db)) {
        return {};
    }
    if (const std::optional<SQLHANDLE> connection = odbcHandle(db.driver()->handle())) {
        return diagnosticStates(SQL_HANDLE_DBC, *connection);
    }
    return {};
}

std::optional<bool> odbcConnectionDead(const QSqlDatabase& db) {
    if (!isOdbc(db)) {
        return std::nullopt;
    }
    const std::optional<SQLHANDLE> connection = odbcHandle(db.driver()->handle());
    if (!connection) {
        return std::nullopt;
    }
    SQLUINTEGER dead = SQL_CD_FALSE;
    if (!SQL_SUCCEEDED(SQLGetConnectAttr(*connection, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr))) {
        return std::nullopt;
    }
    return dead == SQL_CD_TRUE;
}

std::optional<FileIdentity> fileIdentity(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        return std::nullopt;
    }
    return FileIdentity{static_cast<unsigned long long>(st.st_dev),
                        static_cast<unsigned long long>(st.st_ino)};
}

}  // namespace vk
