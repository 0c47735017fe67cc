// Rows saved per second through the planning row (ADOINS) and the transaction log
// (LogTransactie), against the same two statements run in a plain loop through the driver (the
// database's limit), for SQLite and for PostgreSQL over ODBC; then the same with a large number of
// rows already in planning, to show that the cost of a row does not grow with the table.
//
//   bench_planning [rows] [existing rows]
// PostgreSQL is reached through VK_PG_PORT, VK_PG_USER, VK_PG_PASSWORD and VK_PG_DATABASE, as
// bench/run-with-postgres.sh bench_planning sets them; without them only SQLite is measured.

#include "BenchDatabase.h"
#include "planning/PlanningRecord.h"
#include "planning/TransactionLog.h"
#include "platform/WindowPorts.h"

#include <QCoreApplication>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>

using namespace vk;

namespace {

struct PrintingErrors final : GeneralErrorHandler {
    void handleException(const std::exception& e) override { std::fprintf(stderr, "error: %s\n", e.what()); }
};

void fill(PlanningRecord& r, int i) {
    r.setInteger(Column::pla_bdr_id, 1);
    r.setInteger(Column::pla_reiziger, 1024);
    const QDateTime pickup(QDate(2011, 1, 7), QTime(11, 46), Qt::UTC);
    r.setDateTime(Column::pla_datum, pickup);
    r.setDateTime(Column::pla_tijdstip, pickup);
    r.setInteger(Column::pla_extern, 100000 + i);
    r.setInteger(Column::pla_extern_ritnummer, 100000 + i);
    r.setInteger(Column::pla_lopers, 1);
    r.setMemo(Column::pla_tekst, QStringLiteral("Graag bellen bij aankomst\r\n"));
    r.setText(Column::pla_ophstraat, QStringLiteral("Stationsplein"));
    r.setText(Column::pla_ophnummer, QStringLiteral("1"));
    r.setText(Column::pla_ophstad, QStringLiteral("Stationsplein"));
    r.setText(Column::pla_ophpostcode, QStringLiteral("1012 AB"));
    r.setText(Column::pla_besstraat, QStringLiteral("Ziekenhuislaan"));
    r.setText(Column::pla_bestnummer, QStringLiteral("20"));
    r.setInteger(Column::pla_zone_aantal, 3);
    r.setText(Column::pla_beststad, QStringLiteral("Ziekenhuislaan"));
    r.setText(Column::pla_bestpostcode, QStringLiteral("1066 CX"));
    r.setAmount(Column::pla_bedrag, Amount::fromCents(1250));
    r.setText(Column::pla_opmerking, QStringLiteral("Mevr. de Vries"));
    r.setText(Column::pla_telefoon, QStringLiteral("020-1234567"));
    r.setInteger(Column::pla_combineren, 1);
    r.setInteger(Column::pla_rolstoel, 0);
    r.setInteger(Column::pla_rollers, 0);
    r.setInteger(Column::pla_rc, 1);
    r.setText(Column::pla_filter, QStringLiteral("W"));
    r.setInteger(Column::pla_spoed, 0);
    r.setInteger(Column::pla_bellen, 1);
}

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

struct Figures {
    double link = 0;
    double plain = 0;
};

Figures measure(PlanningDatabase& ado, MemorySettings& settings, int rows) {
    SystemClock clock;
    TemporaryKeys keys(clock);
    PrintingErrors errors;
    PlanningRecord record(ado, settings, keys, clock);
    TransactionLog log(ado, settings, errors);
    ado.recordStatements = true;

    // one row to learn the statements and their values
    record.appendNew();
    fill(record, 0);
    record.save();
    log.LogTransactie(0, *record.rowId(), 0, 0, kCodeNewOrder, QString());
    const QString insertSql = ado.statements.at(ado.statements.size() - 2);
    const QVariantList insertValues = ado.prepared(insertSql).boundValues();
    ado.recordStatements = false;

    // three rounds each, taking turns, the best of each counts
    Figures f;
    for (int round = 0; round < 3; ++round) {
        auto start = std::chrono::steady_clock::now();
        for (int i = 1; i <= rows; ++i) {
            record.appendNew();
            fill(record, i);
            record.save();
            log.LogTransactie(0, *record.rowId(), 0, 0, kCodeNewOrder, QString());
        }
        f.link = std::max(f.link, rows / seconds(start));

        start = std::chrono::steady_clock::now();
        for (int i = 1; i <= rows; ++i) {
            QSqlQuery& insert = ado.execute(insertSql, insertValues);
            insert.next();
            const int id = insert.value(0).toInt();
            insert.finish();
            ado.execute(TransactionLog::insertStatement(),
                        {0, 0, id, 0, 0, kCodeNewOrder, QStringLiteral("")})
                .finish();
        }
        f.plain = std::max(f.plain, rows / seconds(start));
    }
    return f;
}

void run(const char* name, MemorySettings& settings, const QString& folder, int rows, int existing) {
    PlanningDatabase ado(settings, folder);
    try {
        ado.open();
    } catch (const std::exception& e) {
        std::printf("%s: cannot connect: %s\n", name, e.what());
        return;
    }
    std::printf("%s\n", name);
    const Figures empty = measure(ado, settings, rows);
    std::printf(
        "  empty table : link %7.0f rows/s, plain driver loop %7.0f rows/s, ratio %.2f (target 0.80)\n",
        empty.link, empty.plain, empty.link / empty.plain);
    const auto start = std::chrono::steady_clock::now();
    bench::addExistingRows(ado, existing, 1);
    std::printf("  (%d rows added in %.1f s)\n", existing, seconds(start));
    const Figures full = measure(ado, settings, rows);
    std::printf("  %d rows: link %7.0f rows/s, plain driver loop %7.0f rows/s, ratio %.2f\n", existing,
                full.link, full.plain, full.link / full.plain);
    std::printf("  link rows/s with the full table against the empty one: %.2f\n", full.link / empty.link);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int existing = argc > 2 ? std::atoi(argv[2]) : 1000000;
    QTemporaryDir dir;

    {
        MemorySettings settings;
        settings.setText(Setting::xLoginServer, QStringLiteral("sqlite:planning.db"));
        run("SQLite (WAL, synchronous=FULL)", settings, dir.path() + u'/', rows, existing);
    }
    if (MemorySettings settings; bench::postgresFromEnvironment(settings)) {
        {
            PlanningDatabase setup(settings, dir.path());
            bench::recreateTables(setup);
        }
        run("PostgreSQL over ODBC", settings, dir.path(), rows, existing);
    } else {
        std::printf(
            "PostgreSQL: VK_PG_PORT not set; run bench/run-with-postgres.sh bench_planning to include it\n");
    }
    return 0;
}
