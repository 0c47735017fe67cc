#include "BenchDatabase.h"

#include "planning/SqlDialect.h"

namespace vk::bench {

bool postgresFromEnvironment(Settings& settings) {
    if (!qEnvironmentVariableIsSet("VK_PG_PORT")) {
        return false;
    }
    settings.setText(Setting::xLoginServer,
                     QStringLiteral("odbc:Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=%1")
                         .arg(qEnvironmentVariable("VK_PG_PORT")));
    settings.setText(Setting::xLoginDatabase, qEnvironmentVariable("VK_PG_DATABASE"));
    settings.setText(Setting::xLoginSQL, qEnvironmentVariable("VK_PG_USER"));
    settings.setText(Setting::xPaswoordSQL, qEnvironmentVariable("VK_PG_PASSWORD"));
    return true;
}

void recreateTables(PlanningDatabase& ado) {
    ado.open();
    for (const char* table : {"planning", "TRANSACTIES"}) {
        ado.execute(QStringLiteral("DROP TABLE IF EXISTS %1").arg(QLatin1String(table)), {}).finish();
    }
    for (const QString& statement : schemaStatements(ado.dialect())) {
        ado.execute(statement, {}).finish();
    }
}

void addExistingRows(PlanningDatabase& ado, int count, int firstOrderNumber) {
    const QString select =
        QStringLiteral("SELECT %1 + i, 'P' || i, 'W', 1, 'bestaande rit' FROM ").arg(firstOrderNumber - 1);
    const QString sql =
        QStringLiteral("%1INSERT INTO planning (pla_extern, pla_temp, pla_status, pla_mut, pla_tekst) ")
            .arg(ado.dialect() == SqlDialect::SQLite
                     ? QStringLiteral(
                           "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) ")
                           .arg(count)
                     : QString()) +
        select +
        (ado.dialect() == SqlDialect::SQLite ? QStringLiteral("n")
                                             : QStringLiteral("generate_series(1, %1) AS i").arg(count));
    ado.execute(sql, {}).finish();
    if (ado.dialect() == SqlDialect::PostgreSQL) {
        ado.execute(QStringLiteral("ANALYZE planning"), {}).finish();
    }
}

}  // namespace vk::bench
