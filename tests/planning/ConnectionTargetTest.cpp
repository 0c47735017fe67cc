#include "planning/ConnectionTarget.h"
#include "platform/Errors.h"

#include <gtest/gtest.h>

namespace vk {
namespace {

TEST(OdbcQuoting, ValuesThatWouldEndOrChangeTheStringAreBraced) {
    EXPECT_EQ(quoteOdbcValue(QStringLiteral("geheim")), QStringLiteral("geheim"));
    EXPECT_EQ(quoteOdbcValue(QStringLiteral("a;b}c{d=")), QStringLiteral("{a;b}}c{d=}"));
    EXPECT_EQ(quoteOdbcValue(QStringLiteral("x=1")), QStringLiteral("{x=1}"));
    EXPECT_EQ(quoteOdbcValue(QStringLiteral(" spatie")), QStringLiteral("{ spatie}"));
    EXPECT_EQ(quoteOdbcValue(QString()), QString());
}

TEST(ConnectionTarget, SqliteFilesLieInTheProgramFolderUnlessAbsolute) {
    const ConnectionTarget relative = connectionTarget(
        {QStringLiteral("sqlite:data/planning.db"), {}, {}, {}}, QStringLiteral("/opt/link/"), {});
    EXPECT_EQ(relative.kind, ConnectionTarget::Kind::Sqlite);
    EXPECT_EQ(relative.qtDriver, QStringLiteral("QSQLITE"));
    EXPECT_EQ(relative.databaseName, QStringLiteral("/opt/link/data/planning.db"));
    EXPECT_EQ(relative.dialect, SqlDialect::SQLite);
    EXPECT_EQ(
        connectionTarget({QStringLiteral("SQLITE:/var/p.db"), {}, {}, {}}, QStringLiteral("/opt/link/"), {})
            .databaseName,
        QStringLiteral("/var/p.db"));
}

TEST(ConnectionTarget, OdbcStringsGetTheOtherThreeSettingsQuoted) {
    const ConnectionTarget t = connectionTarget(
        {QStringLiteral("odbc:Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=5432"),
         QStringLiteral("PLANNING"), QStringLiteral("planner"), QStringLiteral("pa;ss}word")},
        QStringLiteral("/opt/link/"), {});
    EXPECT_EQ(t.kind, ConnectionTarget::Kind::Odbc);
    EXPECT_EQ(t.databaseName, QStringLiteral("Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=5432;"
                                             "KeepaliveTime=30;KeepaliveInterval=10;"
                                             "Database=PLANNING;UID=planner;PWD={pa;ss}}word};"));
    EXPECT_FALSE(t.dialect.has_value());  // asked of the driver after the connect

    // keepalives that the administrator set are left as they are; other drivers get none
    EXPECT_TRUE(
        connectionTarget({QStringLiteral("odbc:Driver={PostgreSQL Unicode};KeepaliveTime=5"), {}, {}, {}},
                         QStringLiteral("/opt/link/"), {})
            .databaseName.startsWith(
                QStringLiteral("Driver={PostgreSQL Unicode};KeepaliveTime=5;Database=")));
    EXPECT_TRUE(
        connectionTarget({QStringLiteral("odbc:DSN=planning"), {}, {}, {}}, QStringLiteral("/opt/link/"), {})
            .databaseName.startsWith(QStringLiteral("DSN=planning;Database=")));
}

struct DriverCase {
    const char* name;
    QStringList installed;
    const char* server;
    const char* expected;  // the connection string, or the start of the error
};

class SqlServerTargets : public ::testing::TestWithParam<DriverCase> {};

TEST_P(SqlServerTargets, PickTheBestInstalledDriver) {
    const auto& c = GetParam();
    const LoginSettings login{QString::fromUtf8(c.server), QStringLiteral("PLANNING"), QStringLiteral("sa"),
                              QStringLiteral("x;y")};
    try {
        const ConnectionTarget t = connectionTarget(login, QStringLiteral("/opt/"), c.installed);
        EXPECT_EQ(t.kind, ConnectionTarget::Kind::SqlServer);
        EXPECT_EQ(t.dialect, SqlDialect::SqlServer);
        EXPECT_EQ(t.databaseName, QString::fromUtf8(c.expected));
    } catch (const DatabaseError& e) {
        EXPECT_TRUE(e.message().startsWith(QString::fromUtf8(c.expected))) << e.message().toStdString();
    }
}

void PrintTo(const DriverCase& c, std::ostream* os) {
    *os << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SqlServerTargets,
    ::testing::Values(
        DriverCase{
            "newest_microsoft_first",
            {QStringLiteral("FreeTDS"), QStringLiteral("ODBC Driver 17 for SQL Server"),
             QStringLiteral("ODBC Driver 18 for SQL Server"), QStringLiteral("PostgreSQL Unicode")},
            "SRV01\\SQLEXPRESS",
            "Driver={ODBC Driver 18 for SQL Server};Server=SRV01\\SQLEXPRESS;TrustServerCertificate=yes;"
            "Database=PLANNING;UID=sa;PWD={x;y};"},
        DriverCase{"freetds_splits_the_port",
                   {QStringLiteral("FreeTDS")},
                   "10.0.0.5,1433",
                   "Driver={FreeTDS};Server=10.0.0.5;Port=1433;ClientCharset=UTF-8;Database=PLANNING;UID=sa;"
                   "PWD={x;y};"},
        DriverCase{
            "freetds_local",
            {QStringLiteral("FreeTDS")},
            "(local)",
            "Driver={FreeTDS};Server=localhost;ClientCharset=UTF-8;Database=PLANNING;UID=sa;PWD={x;y};"},
        DriverCase{
            "none_installed",
            {QStringLiteral("PostgreSQL Unicode")},
            "(local)",
            "Geen ODBC-stuurprogramma voor SQL Server gevonden (gezocht: ODBC Driver NN for SQL Server, "
            "SQL Server Native Client NN.N, SQL Server, FreeTDS)"}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace vk
