#include "planning/ConnectionTest.h"
#include "planning/PlanningRecord.h"
#include "planning/TemporaryKey.h"
#include "planning/TransactionLog.h"
#include "platform/Errors.h"
#include "support/Databases.h"
#include "support/Ports.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <thread>

namespace vk {
namespace {

using test::Backend;

// One database of a backend, with the link's connection, row and transaction log on it.
class PlanningDb : public ::testing::TestWithParam<Backend> {
protected:
    PlanningDb() : db(GetParam(), settings), ado(settings, db.programFolder()) {
        ado.recordStatements = true;
    }

    // The row as the database holds it, read through the test's own connection.
    QSqlRecord row(int plaId) {
        QSqlQuery q(db.inspect());
        q.setNumericalPrecisionPolicy(QSql::HighPrecision);
        q.prepare(QStringLiteral("SELECT * FROM planning WHERE pla_id = ?"));
        q.addBindValue(plaId);
        EXPECT_TRUE(q.exec()) << q.lastError().text().toStdString();
        EXPECT_TRUE(q.next()) << "no row " << plaId;
        return q.record();
    }
    int count(const QString& table) {
        QSqlQuery q(db.inspect());
        EXPECT_TRUE(q.exec(QStringLiteral("SELECT COUNT(*) FROM ") + table))
            << q.lastError().text().toStdString();
        q.next();
        return q.value(0).toInt();
    }
    QStringList transactions() {
        QSqlQuery q(db.inspect());
        EXPECT_TRUE(
            q.exec(QStringLiteral("SELECT tra_gebruiker, tra_ritstaat, tra_rit, tra_wagen, tra_chauffeur, "
                                  "tra_code, tra_opmerking FROM TRANSACTIES ORDER BY tra_id")));
        QStringList rows;
        while (q.next()) {
            QStringList values;
            for (int i = 0; i < 7; ++i) {
                values << (q.isNull(i) ? QStringLiteral("NULL") : q.value(i).toString());
            }
            rows << values.join(u',');
        }
        return rows;
    }
    int saveNewRow(const std::function<void(PlanningRecord&)>& fill = {}) {
        record.appendNew();
        if (fill) {
            fill(record);
        }
        record.save();
        return *record.rowId();
    }

    MemorySettings settings;
    test::TempFolder scratch;
    test::TestDatabase db;
    PlanningDatabase ado;
    ManualClock clock{QDateTime(QDate(2011, 11, 7), QTime(9, 5, 3, 250))};
    int drawn = 7;
    TemporaryKeys keys{clock, [this](int) { return drawn; }};
    PlanningRecord record{ado, settings, keys, clock};
    test::RecordingLog log;
    test::ReplacingErrorHandler errors{log};
    TransactionLog transactions_{ado, settings, errors};
};

std::string backendName(const ::testing::TestParamInfo<Backend>& p) {
    return test::backendName(p.param);
}

TEST_P(PlanningDb, TheConnectionOpensOnDemandAndStaysOpenUntilClosed) {
    EXPECT_FALSE(ado.isOpen());
    saveNewRow();
    EXPECT_TRUE(ado.isOpen());
    saveNewRow();
    ado.Close();
    EXPECT_FALSE(ado.isOpen());
    ado.Close();
    saveNewRow();  // a new connect with the settings as they are now
    EXPECT_EQ(ado.connectionNumber(), 2);
    EXPECT_EQ(count(QStringLiteral("planning")), 3);
}

TEST_P(PlanningDb, ANewRowGetsItsInsertDefaults) {
    settings.setText(Setting::Tariefcode, QStringLiteral("12a"));
    const int id = saveNewRow();
    const QSqlRecord r = row(id);
    for (const ColumnInfo& c : planningColumns()) {
        const QVariant v = r.value(c.name.toString());
        switch (c.insertDefault) {
            case InsertDefault::Value:
                if (c.type == ColumnType::Amount) {
                    EXPECT_EQ(Amount::parse(v.toString()), Amount::parse(c.defaultValue))
                        << c.name.toString().toStdString();
                } else {
                    EXPECT_FALSE(v.isNull()) << c.name.toString().toStdString();
                    EXPECT_EQ(v.toString(), c.defaultValue.toString()) << c.name.toString().toStdString();
                }
                break;
            case InsertDefault::None:
                if (c.type != ColumnType::Identity) {
                    EXPECT_TRUE(v.isNull()) << c.name.toString().toStdString() << " was written";
                }
                break;
            default:
                break;
        }
    }
    EXPECT_EQ(r.value(QStringLiteral("pla_tarief_bedrijf")).toInt(), 12);
    EXPECT_EQ(r.value(QStringLiteral("pla_temp")).toString(), QStringLiteral("P201111070905031137"));
    EXPECT_EQ(readDateTime(r.value(QStringLiteral("pla_txtext_vanaf"))),
              QDateTime(QDate(2011, 11, 7), QTime(9, 5, 3, 250), Qt::UTC));
    // the tariff is read at each append
    settings.setText(Setting::Tariefcode, QStringLiteral("x"));
    EXPECT_EQ(row(saveNewRow()).value(QStringLiteral("pla_tarief_bedrijf")).toInt(), 0);
}

TEST_P(PlanningDb, TextsAreStoredInTheirAnsiFormCutToSizeAndTheMemoKeepsUnicode) {
    const QString hostile =
        QStringLiteral("O'Brien -- ; DROP TABLE planning; \"x\" Łódź ") + QString(10000, u'z');
    const int id = saveNewRow([&](PlanningRecord& r) {
        for (const ColumnInfo& c : planningColumns()) {
            if (c.type == ColumnType::Text) {
                r.setText(c.id, hostile);
            }
        }
        r.setMemo(Column::pla_tekst, hostile + QStringLiteral("€ ✓"));
    });
    const QSqlRecord stored = row(id);
    for (const ColumnInfo& c : planningColumns()) {
        if (c.type == ColumnType::Text) {
            const QString ansi =
                QStringLiteral("O'Brien -- ; DROP TABLE planning; \"x\" L\u00F3dz ") + QString(10000, u'z');
            EXPECT_EQ(stored.value(c.name.toString()).toString(), ansi.left(c.size))
                << c.name.toString().toStdString();
        }
    }
    EXPECT_EQ(stored.value(QStringLiteral("pla_tekst")).toString(), hostile + QStringLiteral("€ ✓"));
    EXPECT_EQ(count(QStringLiteral("planning")), 1);
    for (const QString& sql : ado.statements) {
        EXPECT_FALSE(sql.contains(QStringLiteral("O'Brien"))) << "data text in a statement";
    }
}

TEST_P(PlanningDb, AnEmptyTextIsStoredAsAnEmptyTextNotNull) {
    const int id = saveNewRow([](PlanningRecord& r) { r.setText(Column::pla_telefoon, QString()); });
    const QSqlRecord stored = row(id);
    EXPECT_FALSE(stored.isNull(QStringLiteral("pla_filter")));
    EXPECT_EQ(stored.value(QStringLiteral("pla_filter")).toString(), QString());
    EXPECT_FALSE(stored.isNull(QStringLiteral("pla_telefoon")));
}

TEST_P(PlanningDb, AmountsAndTimesAreStoredExactly) {
    const QDateTime pickup(QDate(2011, 3, 27), QTime(2, 30), Qt::UTC);  // an hour some zones skip
    const int id = saveNewRow([&](PlanningRecord& r) {
        r.setAmount(Column::pla_bedrag, Amount::fromCents(1250));
        r.setAmount(Column::pla_bedrag_5, Amount::fromCents(9999999999999999LL));
        r.setAmount(Column::pla_km_sqr, Amount::fromCents(-1));
        r.setDateTime(Column::pla_datum, pickup);
        r.setInteger(Column::pla_extern, 77);
    });
    const QSqlRecord stored = row(id);
    EXPECT_EQ(Amount::parse(stored.value(QStringLiteral("pla_bedrag")).toString())->toString(),
              QStringLiteral("12.50"));
    EXPECT_EQ(Amount::parse(stored.value(QStringLiteral("pla_bedrag_5")).toString())->toString(),
              QStringLiteral("99999999999999.99"));
    EXPECT_EQ(Amount::parse(stored.value(QStringLiteral("pla_km_sqr")).toString())->toString(),
              QStringLiteral("-0.01"));
    EXPECT_EQ(readDateTime(stored.value(QStringLiteral("pla_datum"))), pickup);

    // and as the link reads them back when it edits the row
    ASSERT_TRUE(record.editByOrderNumber(77));
    EXPECT_EQ(record.value(Column::pla_bedrag_5).toLongLong(), 9999999999999999LL);
    EXPECT_EQ(record.value(Column::pla_km_sqr).toLongLong(), -1);
    EXPECT_EQ(record.value(Column::pla_datum).toDateTime(), pickup);
}

TEST_P(PlanningDb, AnExistingRowIsEditedByItsOrderNumberLowestIdFirst) {
    const int first = saveNewRow([](PlanningRecord& r) {
        r.setInteger(Column::pla_extern, 4711);
        r.setText(Column::pla_opmerking, QStringLiteral("eerste"));
        r.setAmount(Column::pla_bedrag, Amount::fromCents(1999));
    });
    const int second = saveNewRow([](PlanningRecord& r) {
        r.setInteger(Column::pla_extern, 4711);
        r.setText(Column::pla_opmerking, QStringLiteral("tweede"));
    });
    ASSERT_TRUE(record.editByOrderNumber(4711));
    EXPECT_EQ(record.rowId(), first);
    EXPECT_EQ(record.text(Column::pla_opmerking), QStringLiteral("eerste"));
    EXPECT_EQ(record.value(Column::pla_bedrag).toLongLong(), 1999);
    EXPECT_EQ(record.value(Column::pla_mut).toInt(), 1);
    record.setText(Column::pla_status, QStringLiteral("S"));
    ado.statements.clear();
    record.save();
    ASSERT_EQ(ado.statements.size(), 1);
    EXPECT_EQ(ado.statements.first(), QStringLiteral("UPDATE planning SET pla_status = ? WHERE pla_id = ?"));
    EXPECT_EQ(row(first).value(QStringLiteral("pla_status")).toString(), QStringLiteral("S"));
    EXPECT_EQ(row(second).value(QStringLiteral("pla_status")).toString(), QStringLiteral("W"));
    EXPECT_EQ(Amount::parse(row(first).value(QStringLiteral("pla_bedrag")).toString()),
              Amount::fromCents(1999));

    EXPECT_FALSE(record.editByOrderNumber(999));
    EXPECT_FALSE(record.isOpen());
}

TEST_P(PlanningDb, RowsSavedInTheSameSecondGetDifferentKeysAndTheirOwnIds) {
    std::vector<int> ids;
    QStringList keysSeen;
    for (int i = 0; i < 5; ++i) {
        ids.push_back(saveNewRow([&](PlanningRecord& r) {
            r.setText(Column::pla_temp, keys.next());
            keysSeen << r.text(Column::pla_temp);
        }));
    }
    EXPECT_EQ(QSet<QString>(keysSeen.begin(), keysSeen.end()).size(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(row(ids[i]).value(QStringLiteral("pla_temp")).toString(), keysSeen[i]);
    }
}

TEST_P(PlanningDb, LogTransactieWritesTheRowWithTheUserNumber) {
    ado.open();
    for (const char* user : {"0", "7abc", "-3", "x"}) {
        settings.setText(Setting::Gebruiker, QString::fromLatin1(user));
        transactions_.LogTransactie(0, 4711, 0, 0, 91, QString());
    }
    transactions_.LogTransactie(1, 2, 3, 4, 93, QStringLiteral("it's"));
    EXPECT_EQ(transactions(),
              (QStringList{QStringLiteral("0,0,4711,0,0,91,"), QStringLiteral("7,0,4711,0,0,91,"),
                           QStringLiteral("-3,0,4711,0,0,91,"), QStringLiteral("0,0,4711,0,0,91,"),
                           QStringLiteral("0,1,2,3,4,93,it's")}));
    EXPECT_TRUE(errors.messages.isEmpty());
}

// In the embedded database the moment of a transaction row is the link's local time, as every
// other time of the link (a server keeps its own clock and zone).
TEST(PlanningDbEmbedded, TheTransactionsMomentIsLocalTime) {
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Europe/Amsterdam");
    tzset();
    MemorySettings settings;
    test::TestDatabase db(Backend::SQLite, settings);
    PlanningDatabase ado(settings, db.programFolder());
    test::RecordingLog log;
    test::ReplacingErrorHandler errors{log};
    TransactionLog transactions(ado, settings, errors);
    ado.open();
    transactions.LogTransactie(0, 4711, 0, 0, 91, QString());
    QSqlQuery q(db.inspect());
    ASSERT_TRUE(q.exec(QStringLiteral("SELECT tra_tijdstip FROM TRANSACTIES")));
    ASSERT_TRUE(q.next());
    const QDateTime stored =
        QDateTime::fromString(q.value(0).toString().left(19), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const QDateTime local = QDateTime::currentDateTime();
    EXPECT_LT(std::abs(stored.secsTo(QDateTime(local.date(), local.time()))), 120)
        << q.value(0).toString().toStdString();
    if (zone.isNull()) {
        qunsetenv("TZ");
    } else {
        qputenv("TZ", zone);
    }
    tzset();
}

TEST_P(PlanningDb, AFailingLogTransactieGoesToTheGeneralErrorHandlerOnly) {
    ado.open();
    db.exec(QStringLiteral("DROP TABLE TRANSACTIES"));
    log.appendLine(QStringLiteral("regel van deze cyclus"));
    EXPECT_NO_THROW(transactions_.LogTransactie(0, 1, 0, 0, 91, QString()));
    ASSERT_EQ(errors.messages.size(), 1);
    EXPECT_TRUE(errors.messages.first().contains(QStringLiteral("TRANSACTIES"), Qt::CaseInsensitive) ||
                errors.messages.first().contains(QStringLiteral("transacties")))
        << errors.messages.first().toStdString();
    EXPECT_EQ(log.lines, QStringList{errors.messages.first()});
}

TEST_P(PlanningDb, AMissingColumnOrTableIsReportedWithItsName) {
    ado.open();
    db.exec(QStringLiteral("ALTER TABLE planning DROP COLUMN pla_mut"));
    ado.Close();
    try {
        record.appendNew();
        FAIL() << "no error";
    } catch (const DatabaseError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Kolom pla_mut ontbreekt in de tabel planning"));
    }
    db.exec(QStringLiteral("DROP TABLE planning"));
    ado.Close();
    try {
        record.appendNew();
        FAIL() << "no error";
    } catch (const DatabaseError& e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("planning"))) << e.message().toStdString();
    }
}

// A column of another kind than the link writes is reported as a missing one is.
TEST_P(PlanningDb, AColumnOfAnotherTypeIsReported) {
    ado.open();
    const bool sqlite = GetParam() == Backend::SQLite;
    // SQLite tells only whole numbers apart; a server also dates and decimals
    const QStringList columns =
        sqlite ? QStringList{QStringLiteral("pla_lopers")}
               : QStringList{QStringLiteral("pla_lopers"), QStringLiteral("pla_datum"),
                             QStringLiteral("pla_bedrag"), QStringLiteral("pla_opmerking")};
    for (const QString& column : columns) {
        SCOPED_TRACE(column.toStdString());
        const QString other =
            column == u"pla_opmerking" ? QStringLiteral("decimal(18,2)") : QStringLiteral("varchar(40)");
        if (sqlite) {
            db.exec(QStringLiteral("ALTER TABLE planning RENAME COLUMN %1 TO oud_%1").arg(column));
            db.exec(QStringLiteral("ALTER TABLE planning ADD COLUMN %1 TEXT").arg(column));
        } else {
            db.exec(
                QStringLiteral("ALTER TABLE planning ALTER COLUMN %1 TYPE %2 USING NULL").arg(column, other));
        }
        ado.Close();
        try {
            record.appendNew();
            ADD_FAILURE() << "no error";
        } catch (const DatabaseError& e) {
            EXPECT_TRUE(e.message().startsWith(
                QStringLiteral("Kolom %1 van de tabel planning heeft een ander type").arg(column)))
                << e.message().toStdString();
        }
        if (!sqlite) {
            db.exec(QStringLiteral("DROP TABLE planning"));
            db.exec(QStringLiteral("DROP TABLE TRANSACTIES"));
            db.createSchema();
        }
    }
}

TEST_P(PlanningDb, TheTestButtonReportsSuccessAndClosesTheConnection) {
    test::ScriptedMessageBoxes boxes;
    bool openWhileShown = false;
    boxes.onShow = [&](const MessageBoxRequest&) { openWhileShown = ado.isOpen(); };
    Button3Click(ado, boxes, log, errors);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral("Database koppeling"));
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Vindo Velora SQL werd database met succes geopend"));
    EXPECT_EQ(boxes.shown[0].icon, MessageBoxRequest::Icon::Information);
    EXPECT_TRUE(openWhileShown);
    EXPECT_FALSE(ado.isOpen());
    EXPECT_TRUE(log.lines.isEmpty());

    // an open connection is not tried again with changed settings
    ado.open();
    settings.setText(Setting::xLoginServer,
                     QStringLiteral("odbc:Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1"));
    Button3Click(ado, boxes, log, errors);
    EXPECT_EQ(boxes.shown.size(), 2u);
    EXPECT_FALSE(ado.isOpen());
    // the next use connects with the wrong server and fails with the driver's message
    EXPECT_THROW(record.appendNew(), DatabaseError);
}

TEST_P(PlanningDb, AConnectThatFailsCarriesTheDriversMessageAndTheLinkGoesOn) {
    const QString good = settings.text(Setting::xLoginServer);
    if (GetParam() == Backend::SQLite) {
        settings.setText(Setting::xLoginServer,
                         QStringLiteral("sqlite:") + scratch.mkdir(QStringLiteral("a-folder")));
    } else {
        settings.setText(Setting::xPaswoordSQL, QStringLiteral("wrong"));
    }
    try {
        ado.open();
        FAIL() << "no error";
    } catch (const DatabaseError& e) {
        EXPECT_FALSE(e.message().isEmpty());
        if (GetParam() == Backend::PostgreSQLOdbc) {
            EXPECT_TRUE(e.message().contains(QStringLiteral("password authentication failed")))
                << e.message().toStdString();
        }
    }
    EXPECT_FALSE(ado.isOpen());

    // the test button: the log holds just the message, replaced twice, and no box is shown
    test::ScriptedMessageBoxes boxes;
    log.appendLine(QStringLiteral("oude regel"));
    Button3Click(ado, boxes, log, errors);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(log.replacements, 2);
    ASSERT_EQ(log.lines.size(), 1);
    EXPECT_EQ(log.lines.first(), errors.messages.first());

    // the next use tries again with the settings as they are then
    settings.setText(Setting::xLoginServer, good);
    settings.setText(Setting::xPaswoordSQL, GetParam() == Backend::SQLite
                                                ? QString()
                                                : test::PostgresServer::fromEnvironment().password);
    EXPECT_NO_THROW(saveNewRow());
}

// A lock that another session holds on planning ends the link's wait after the limit with an error,
// instead of holding the link for as long as the lock lasts.
TEST_P(PlanningDb, ALockHeldByAnotherSessionEndsAfterTheWaitLimit) {
    saveNewRow();  // the tables exist
    PlanningDatabase limited(settings, db.programFolder(), std::chrono::milliseconds(300));
    TemporaryKeys otherKeys(clock);
    PlanningRecord other(limited, settings, otherKeys, clock);
    QSqlDatabase holder = db.inspect();
    ASSERT_TRUE(holder.transaction());
    QSqlQuery lock(holder);
    ASSERT_TRUE(lock.exec(GetParam() == Backend::SQLite
                              ? QStringLiteral("UPDATE planning SET pla_temp = pla_temp")
                              : QStringLiteral("LOCK TABLE planning IN ACCESS EXCLUSIVE MODE")))
        << lock.lastError().text().toStdString();
    QElapsedTimer waited;
    waited.start();
    EXPECT_THROW(
        {
            other.appendNew();
            other.save();
        },
        DatabaseError);
    EXPECT_LT(waited.elapsed(), 10000);
    lock.finish();
    ASSERT_TRUE(holder.rollback());
    other.appendNew();
    other.save();
    EXPECT_EQ(count(QStringLiteral("planning")), 2);
}

// The server ends the link's session, as a restart of the server does: the statement that meets the
// dead connection fails, the connection is closed, and the next use opens a new one and works.
TEST(PlanningDbServer, ALostConnectionIsDroppedAndTheNextUseOpensANewOne) {
    MemorySettings settings;
    test::TestDatabase db(Backend::PostgreSQLOdbc, settings);
    PlanningDatabase ado(settings, db.programFolder());
    ManualClock clock(QDateTime(QDate(2011, 11, 7), QTime(9, 5, 3)));
    TemporaryKeys keys(clock);
    PlanningRecord record(ado, settings, keys, clock);
    record.appendNew();
    record.save();
    ASSERT_TRUE(ado.isOpen());
    db.exec(
        QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                       "WHERE datname = current_database() AND pid <> pg_backend_pid()"));
    EXPECT_THROW(
        {
            record.appendNew();
            record.save();
        },
        DatabaseError);
    EXPECT_FALSE(ado.isOpen());
    record.appendNew();
    record.save();
    EXPECT_EQ(ado.connectionNumber(), 2);
    QSqlQuery q(db.inspect());
    ASSERT_TRUE(q.exec(QStringLiteral("SELECT COUNT(*) FROM planning")));
    q.next();
    EXPECT_EQ(q.value(0).toInt(), 2);
}

INSTANTIATE_TEST_SUITE_P(Backends, PlanningDb, ::testing::Values(Backend::SQLite, Backend::PostgreSQLOdbc),
                         backendName);

// A password with the characters that end or quote a value of a connection string.
TEST(PostgresLogin, AnyPasswordWorks) {
    MemorySettings settings;
    test::TestDatabase db(Backend::PostgreSQLOdbc, settings);
    const QString password = QStringLiteral("a;b}c{d=e'f\"g}");
    const QString role = QStringLiteral("vk_role_%1").arg(QCoreApplication::applicationPid());
    db.exec(QStringLiteral("DROP ROLE IF EXISTS %1").arg(role));
    db.exec(QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD 'a;b}c{d=e''f\"g}'").arg(role));
    db.exec(QStringLiteral("GRANT ALL ON ALL TABLES IN SCHEMA public TO %1").arg(role));
    settings.setText(Setting::xLoginSQL, role);
    settings.setText(Setting::xPaswoordSQL, password);
    {
        PlanningDatabase ado(settings, db.programFolder());
        EXPECT_NO_THROW(ado.open());
        EXPECT_EQ(ado.dialect(), SqlDialect::PostgreSQL);
        settings.setText(Setting::xPaswoordSQL, password + QStringLiteral("x"));
        ado.Close();
        EXPECT_THROW(ado.open(), DatabaseError);
    }
    db.exec(QStringLiteral("REASSIGN OWNED BY %1 TO CURRENT_USER").arg(role));
    db.exec(QStringLiteral("DROP OWNED BY %1").arg(role));
    db.exec(QStringLiteral("DROP ROLE %1").arg(role));
}

TEST(PostgresLogin, AnUnknownServerGivesTheDriversMessage) {
    MemorySettings settings;
    test::TestDatabase db(Backend::PostgreSQLOdbc, settings);
    settings.setText(Setting::xLoginServer,
                     QStringLiteral("odbc:Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1"));
    PlanningDatabase ado(settings, db.programFolder());
    try {
        ado.open();
        FAIL() << "no error";
    } catch (const DatabaseError& e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("127.0.0.1"))) << e.message().toStdString();
    }
}

// An empty file (left by a first run that stopped half way, or made by hand) gets the tables too.
TEST(SqliteDatabase, AnEmptyFileGetsTheTablesAFileWithTablesIsLeftAlone) {
    test::TempFolder dir;
    dir.write(QStringLiteral("planning.db"), QByteArray());
    MemorySettings settings;
    settings.setText(Setting::xLoginServer, QStringLiteral("sqlite:planning.db"));
    {
        PlanningDatabase ado(settings, dir.path() + u'/');
        ado.open();
        ado.execute(QStringLiteral("SELECT COUNT(*) FROM planning"), {}).finish();
        ado.execute(QStringLiteral("DROP TABLE planning"), {}).finish();
    }
    PlanningDatabase again(settings, dir.path() + u'/');
    again.open();
    EXPECT_THROW(again.execute(QStringLiteral("SELECT COUNT(*) FROM planning"), {}), DatabaseError);
}

// Two links that open the same new file at the same moment: both connect, and the file has one set
// of tables. Each link is a thread of its own here, with its own connection, as two processes have.
TEST(SqliteDatabase, TwoLinksOpeningANewFileAtOnceBothConnect) {
    test::TempFolder dir;
    for (int round = 0; round < 30; ++round) {
        const QString file = QStringLiteral("planning-%1.db").arg(round);
        std::atomic<int> waiting{2};
        std::atomic<int> failures{0};
        std::string failure;
        std::mutex failureLock;
        const auto link = [&] {
            MemorySettings settings;
            settings.setText(Setting::xLoginServer, QStringLiteral("sqlite:") + file);
            PlanningDatabase ado(settings, dir.path() + u'/');
            --waiting;
            while (waiting.load() > 0) {
            }
            try {
                ado.open();
                ado.execute(QStringLiteral("SELECT COUNT(*) FROM planning"), {}).finish();
            } catch (const std::exception& error) {
                ++failures;
                const std::lock_guard guard(failureLock);
                failure = error.what();
            }
            ado.Close();
        };
        std::thread first(link);
        std::thread second(link);
        first.join();
        second.join();
        ASSERT_EQ(failures.load(), 0) << "round " << round << ": " << failure;
    }
}

TEST(TemporaryKey, HasTheFormatOfTheExamples) {
    EXPECT_EQ(TemporaryKeys::format(QDateTime(QDate(2011, 11, 7), QTime(9, 5, 3)), 7),
              QStringLiteral("P201111070905031137"));
    EXPECT_EQ(TemporaryKeys::format(QDateTime(QDate(2011, 12, 25), QTime(23, 59, 58)), 999),
              QStringLiteral("P201112252359581258999"));
}

TEST(TemporaryKey, IsNeverHandedOutTwiceInOneSecond) {
    ManualClock clock(QDateTime(QDate(2011, 1, 7), QTime(11, 46, 42)));
    QList<int> draws{5, 5, 5, 6, 5, 6, 9};
    TemporaryKeys keys(clock, [&](int n) {
        EXPECT_EQ(n, 1000);
        return draws.isEmpty() ? 5 : draws.takeFirst();
    });
    EXPECT_EQ(keys.next(), QStringLiteral("P201101071146421425"));
    EXPECT_EQ(keys.next(), QStringLiteral("P201101071146421426"));
    EXPECT_EQ(keys.next(), QStringLiteral("P201101071146421429"));
    clock.advanceMs(1000);
    EXPECT_EQ(keys.next(), QStringLiteral("P201101071146431435"));  // a new second may draw 5 again
    // all thousand numbers of one second in use: the key is still made
    TemporaryKeys always(clock, [](int) { return 3; });
    QSet<QString> seen;
    for (int i = 0; i < 1000; ++i) {
        seen.insert(always.next());
    }
    EXPECT_EQ(seen.size(), 1000);
    EXPECT_FALSE(always.next().isEmpty());
}

}  // namespace
}  // namespace vk
