#include "planning/ConnectionTarget.h"

#include "platform/Errors.h"

#include <QDir>
#include <QRegularExpression>

#include <algorithm>

#include <sql.h>
#include <sqlext.h>

namespace vk {

QString quoteOdbcValue(const QString& value) {
    // Braces only where the value needs them: some drivers (PostgreSQL's) take the braces
    // around a plain value literally, except around the password.
    static const QRegularExpression special(QStringLiteral("[;{}=]|^\\s|\\s$"));
    if (!value.contains(special)) {
        return value;
    }
    QString quoted = value;
    quoted.replace(u'}', QStringLiteral("}}"));
    return u'{' + quoted + u'}';
}

QStringList sqlServerDriverNamesLookedFor() {
    return {QStringLiteral("ODBC Driver NN for SQL Server"), QStringLiteral("SQL Server Native Client NN.N"),
            QStringLiteral("SQL Server"), QStringLiteral("FreeTDS")};
}

QStringList preferredSqlServerDrivers(const QStringList& installed) {
    static const QRegularExpression microsoft(QStringLiteral("^ODBC Driver (\\d+) for SQL Server$"),
                                              QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression nativeClient(QStringLiteral("^SQL Server Native Client ([\\d.]+)$"),
                                                 QRegularExpression::CaseInsensitiveOption);
    struct Ranked {
        int group;
        double version;
        QString name;
    };
    std::vector<Ranked> ranked;
    for (const QString& name : installed) {
        if (const auto m = microsoft.match(name); m.hasMatch()) {
            ranked.push_back({0, m.captured(1).toDouble(), name});
        } else if (const auto n = nativeClient.match(name); n.hasMatch()) {
            ranked.push_back({1, n.captured(1).toDouble(), name});
        } else if (name.compare(u"SQL Server", Qt::CaseInsensitive) == 0) {
            ranked.push_back({2, 0, name});
        } else if (name.compare(u"FreeTDS", Qt::CaseInsensitive) == 0) {
            ranked.push_back({3, 0, name});
        }
    }
    std::stable_sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) {
        return a.group != b.group ? a.group < b.group : a.version > b.version;
    });
    QStringList names;
    for (const Ranked& r : ranked) {
        names << r.name;
    }
    return names;
}

QStringList installedOdbcDrivers() {
    QStringList drivers;
    SQLHENV env = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) {
        return drivers;
    }
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLCHAR description[512];
    SQLCHAR attributes[2048];
    SQLSMALLINT descriptionLength = 0;
    SQLSMALLINT attributesLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (SQL_SUCCEEDED(SQLDrivers(env, direction, description, sizeof description, &descriptionLength,
                                    attributes, sizeof attributes, &attributesLength))) {
        drivers << QString::fromUtf8(reinterpret_cast<const char*>(description));
        direction = SQL_FETCH_NEXT;
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return drivers;
}

namespace {

QString credentials(const LoginSettings& login) {
    return QStringLiteral("Database=%1;UID=%2;PWD=%3;")
        .arg(quoteOdbcValue(login.database), quoteOdbcValue(login.login), quoteOdbcValue(login.password));
}

QString sqlServerConnectionString(const LoginSettings& login, const QString& driver) {
    QString server = login.server;
    if (driver.compare(u"FreeTDS", Qt::CaseInsensitive) == 0) {
        // FreeTDS knows neither "(local)" nor "host,port"
        QString port;
        if (const qsizetype comma = server.lastIndexOf(u','); comma >= 0) {
            port = server.mid(comma + 1).trimmed();
            server = server.left(comma);
        }
        if (server.compare(u"(local)", Qt::CaseInsensitive) == 0 || server == u".") {
            server = QStringLiteral("localhost");
        }
        return QStringLiteral("Driver={%1};Server=%2;%3ClientCharset=UTF-8;")
                   .arg(driver, quoteOdbcValue(server),
                        port.isEmpty() ? QString() : QStringLiteral("Port=%1;").arg(quoteOdbcValue(port))) +
               credentials(login);
    }
    // Like the original provider, the link does not insist on an encrypted channel.
    // The driver manager takes a driver name in braces, whatever it holds.
    return QStringLiteral("Driver={%1};Server=%2;TrustServerCertificate=yes;")
               .arg(driver, quoteOdbcValue(server)) +
           credentials(login);
}

}  // namespace

ConnectionTarget connectionTarget(const LoginSettings& login, const QString& programFolder,
                                  const QStringList& installedDrivers) {
    ConnectionTarget target;
    if (login.server.startsWith(u"sqlite:", Qt::CaseInsensitive)) {
        target.kind = ConnectionTarget::Kind::Sqlite;
        target.qtDriver = QStringLiteral("QSQLITE");
        const QString file = login.server.mid(7);
        target.databaseName = QDir::isAbsolutePath(file) ? file : QDir(programFolder).filePath(file);
        target.dialect = SqlDialect::SQLite;
        return target;
    }
    target.qtDriver = QStringLiteral("QODBC");
    if (login.server.startsWith(u"odbc:", Qt::CaseInsensitive)) {
        target.kind = ConnectionTarget::Kind::Odbc;
        QString start = login.server.mid(5);
        if (!start.isEmpty() && !start.endsWith(u';')) {
            start += u';';
        }
        // TCP keepalives, so that a network that goes away is noticed within a minute instead of
        // two hours (Microsoft's SQL Server driver has them on by itself).
        if (start.contains(u"postgresql", Qt::CaseInsensitive) &&
            !start.contains(u"keepalive", Qt::CaseInsensitive)) {
            start += QStringLiteral("KeepaliveTime=30;KeepaliveInterval=10;");
        }
        target.databaseName = start + credentials(login);
        return target;
    }
    const QStringList drivers = preferredSqlServerDrivers(installedDrivers);
    if (drivers.isEmpty()) {
        throw DatabaseError(QStringLiteral("Geen ODBC-stuurprogramma voor SQL Server gevonden (gezocht: %1)")
                                .arg(sqlServerDriverNamesLookedFor().join(QStringLiteral(", "))));
    }
    target.kind = ConnectionTarget::Kind::SqlServer;
    target.databaseName = sqlServerConnectionString(login, drivers.first());
    target.dialect = SqlDialect::SqlServer;
    return target;
}

}  // namespace vk
