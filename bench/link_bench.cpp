// The whole link at work: the headless program over new-order documents and amendments, into
// SQLite and into PostgreSQL over ODBC, against the same statements in a plain driver loop without
// files (the database's limit); then again with many rows already in planning.
//
//   bench_link [orders] [amendments] [existing rows]
// PostgreSQL is reached through VK_PG_PORT, VK_PG_USER, VK_PG_PASSWORD and VK_PG_DATABASE, as
// bench/run-with-postgres.sh bench_link sets them; without them only SQLite is measured.

#include "BenchDatabase.h"
#include "BenchDocuments.h"
#include "planning/PlanningRecord.h"
#include "planning/TransactionLog.h"
#include "settings/SettingsStorage.h"
#include "w2w/ImportEngine.h"
#include "w2w/OrderHandlers.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>

extern char** environ;

using namespace vk;
using bench::amendment;
using bench::newOrder;

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
}

struct ProcessRun {
    double seconds = 0;
    long maxRssKb = 0;
};

// Runs the link once over the folder, as its own process.
ProcessRun runLink(const QString& client, const QString& folder) {
    const QByteArray exe = client.toLocal8Bit();
    const QByteArray dir = folder.toLocal8Bit();
    char* argv[] = {const_cast<char*>(exe.constData()), const_cast<char*>("--headless"),
                    const_cast<char*>("--once"),        const_cast<char*>("--folder"),
                    const_cast<char*>(dir.constData()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, exe.constData(), &actions, nullptr, argv, environ) != 0) {
        std::perror("posix_spawn");
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    ProcessRun r;
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.maxRssKb = usage.ru_maxrss;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "the link ended with status %d\n", status);
        std::exit(1);
    }
    return r;
}

QString settingsFile(const Settings& s) {
    QString xml = QStringLiteral("<Configuration><Hoofdscherm>");
    for (Setting id :
         {Setting::xLoginServer, Setting::xLoginDatabase, Setting::xLoginSQL, Setting::xPaswoordSQL}) {
        xml += QStringLiteral("<%1>%2</%1>").arg(settingInfo(id).elementName(), s.text(id).toHtmlEscaped());
    }
    return xml + QStringLiteral("</Hoofdscherm></Configuration>");
}

struct Figures {
    double link = 0;
    double plain = 0;      // the statements alone: the database's limit
    double withFiles = 0;  // the statements and the same file work
    long maxRssKb = 0;
};

// The statements the link runs for one new order and one amendment, with their values.
struct Statements {
    QString insert, select, update;
    QVariantList insertValues, updateValues;
};

struct NullPorts final : LogView, PacketView, GeneralErrorHandler, MessagePump {
    void appendLine(const QString&) override {}
    void replaceText(const QString&) override {}
    void setText(const QString&) override {}
    void handleException(const std::exception& e) override { std::fprintf(stderr, "error: %s\n", e.what()); }
    void processPendingMessages() override {}
};

Statements learnStatements(MemorySettings& settings, PlanningDatabase& ado) {
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("S2C/Backups"));
    QDir(dir.path()).mkpath(QStringLiteral("C2S"));
    settings.setText(Setting::w2wInkomende, dir.path() + QStringLiteral("/S2C"));
    settings.setText(Setting::w2wUitgaande, dir.path() + QStringLiteral("/C2S"));
    SystemClock clock;
    TemporaryKeys keys(clock);
    NullPorts ports;
    PlanningRecord row(ado, settings, keys, clock);
    TransactionLog log(ado, settings, ports);
    w2w::OrderHandlers handlers(row, keys, log);
    w2w::ImportEngine engine({settings, ports, ports, ports, ports, clock}, handlers);
    Statements s;
    ado.recordStatements = true;
    writeFile(dir.path() + QStringLiteral("/S2C/a.s2c"), newOrder(999999));
    engine.CheckXMLfiles();
    for (const QString& sql : ado.statements) {
        if (sql.startsWith(u"INSERT INTO planning")) {
            s.insert = sql;
            s.insertValues = ado.prepared(sql).boundValues();
        }
    }
    ado.statements.clear();
    writeFile(dir.path() + QStringLiteral("/S2C/b.s2c"), amendment(999999));
    engine.CheckXMLfiles();
    for (const QString& sql : ado.statements) {
        if (sql.startsWith(u"SELECT") && sql.contains(u"pla_extern")) {
            s.select = sql;
        } else if (sql.startsWith(u"UPDATE planning")) {
            s.update = sql;
            s.updateValues = ado.prepared(sql).boundValues();
        }
    }
    ado.recordStatements = false;
    return s;
}

// The file work of one document without the link: read it, copy it to the backups (flushed),
// delete it, and write the acknowledgement (atomically), with plain system calls.
void fileWork(const std::string& inbound, const std::string& outbound, const std::string& name) {
    const std::string path = inbound + "/" + name;
    std::string bytes;
    {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        char buffer[65536];
        ssize_t got;
        while ((got = ::read(fd, buffer, sizeof buffer)) > 0) {
            bytes.append(buffer, static_cast<size_t>(got));
        }
        ::close(fd);
    }
    const auto replace = [](const std::string& target, const std::string& data, bool flush) {
        const std::string temp = target + ".tmp";
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, data.data(), data.size()) != static_cast<ssize_t>(data.size()) ||
            (flush && ::fdatasync(fd) != 0)) {
            std::perror(temp.c_str());
            std::exit(1);
        }
        ::close(fd);
        ::rename(temp.c_str(), target.c_str());
    };
    replace(inbound + "/Backups/" + name, bytes, true);
    ::unlink(path.c_str());
    replace(outbound + "/" + name.substr(0, name.size() - 4) + ".c2s",
            "<?xml version=\"1.0\"?>\r\n<w2w version=\"1.0\">\r\n<c2s>\r\n<kind>BOB</kind>\r\n<id>1</id>\r\n"
            "</c2s>\r\n</w2w>\r\n",
            false);
}

// The same statements in a plain driver loop; with a folder, each document's file work too.
double plainLoop(PlanningDatabase& ado, const Statements& s, int orders, int amendments,
                 const QString& folder = {}) {
    const std::string inbound = (folder + QStringLiteral("/W2W/S2C")).toStdString();
    const std::string outbound = (folder + QStringLiteral("/W2W/C2S")).toStdString();
    if (!folder.isEmpty()) {
        QDir().mkpath(folder + QStringLiteral("/W2W/S2C/Backups"));
        QDir().mkpath(folder + QStringLiteral("/W2W/C2S"));
        for (int i = 0; i < orders + amendments; ++i) {
            writeFile(folder + QStringLiteral("/W2W/S2C/%1.s2c").arg(i),
                      i < orders ? newOrder(i) : amendment(i));
        }
        ::sync();
    }
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < orders; ++i) {
        if (!folder.isEmpty()) {
            fileWork(inbound, outbound, std::to_string(i) + ".s2c");
        }
        QSqlQuery& q = ado.execute(s.insert, s.insertValues);
        q.next();
        const int id = q.value(0).toInt();
        q.finish();
        ado.execute(TransactionLog::insertStatement(), {0, 0, id, 0, 0, kCodeNewOrder, QStringLiteral("")})
            .finish();
    }
    for (int i = 0; i < amendments; ++i) {
        if (!folder.isEmpty()) {
            fileWork(inbound, outbound, std::to_string(orders + i) + ".s2c");
        }
        QSqlQuery& q = ado.execute(s.select, {999999});
        q.next();
        const QSqlRecord r = q.record();
        const int id = r.value(0).toInt();
        q.finish();
        QVariantList values = s.updateValues;
        values.last() = id;
        ado.execute(s.update, values).finish();
        ado.execute(TransactionLog::insertStatement(), {0, 0, id, 0, 0, kCodeAmended, QStringLiteral("")})
            .finish();
    }
    return (orders + amendments) /
           std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The link as a process over a folder of its own, in two cycles: first the new orders, then
// their amendments.
ProcessRun runLinkRound(const QString& client, const QString& folder, const QString& baseFolder,
                        MemorySettings& settings, PlanningDatabase& ado, int orders, int amendments,
                        int firstId) {
    QDir().mkpath(folder + QStringLiteral("/W2W/S2C/Backups"));
    QDir().mkpath(folder + QStringLiteral("/W2W/C2S"));
    if (ado.dialect() == SqlDialect::SQLite) {
        // every round starts from the base file; the copy must hold what is still in the log
        ado.execute(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"), {}).finish();
        QFile::copy(baseFolder + QStringLiteral("/planning.db"), folder + QStringLiteral("/planning.db"));
    }
    writeFile(folder + QStringLiteral("/VeloraKarvex.xml"), settingsFile(settings).toUtf8());
    for (int i = 0; i < orders; ++i) {
        writeFile(folder + QStringLiteral("/W2W/S2C/%1.s2c").arg(firstId + i), newOrder(firstId + i));
    }
    ::sync();
    const ProcessRun ordersRun = runLink(client, folder);
    for (int i = 0; i < amendments; ++i) {
        writeFile(folder + QStringLiteral("/W2W/S2C/%1-upd.s2c").arg(firstId + i), amendment(firstId + i));
    }
    ::sync();
    const ProcessRun amendmentsRun = runLink(client, folder);
    const int handled = static_cast<int>(
        QDir(folder + QStringLiteral("/W2W/C2S")).entryList({QStringLiteral("*.c2s")}).size());
    if (handled != orders + amendments) {
        std::fprintf(stderr, "only %d of %d documents were acknowledged\n", handled, orders + amendments);
    }
    return {ordersRun.seconds + amendmentsRun.seconds, std::max(ordersRun.maxRssKb, amendmentsRun.maxRssKb)};
}

// Three rounds of each, taking turns, so that the disk's moods fall on all three alike; the best
// of each counts.
Figures measure(const QString& client, const QString& programFolder, MemorySettings& settings,
                PlanningDatabase& ado, int orders, int amendments, int round) {
    Figures f;
    const Statements s = learnStatements(settings, ado);
    for (int repeat = 0; repeat < 3; ++repeat) {
        const QString folder = programFolder + QStringLiteral("/round%1-%2").arg(round).arg(repeat);
        const int firstId = (round * 10 + repeat) * 100000 + 1;
        const ProcessRun link =
            runLinkRound(client, folder, programFolder, settings, ado, orders, amendments, firstId);
        f.link = std::max(f.link, (orders + amendments) / link.seconds);
        f.maxRssKb = std::max(f.maxRssKb, link.maxRssKb);
        f.plain = std::max(f.plain, plainLoop(ado, s, orders, amendments));
        f.withFiles =
            std::max(f.withFiles, plainLoop(ado, s, orders, amendments, folder + QStringLiteral("/plain")));
    }
    return f;
}

void report(const char* what, const Figures& f) {
    std::printf("  %s\n", what);
    std::printf("    the link (a process, two cycles)       : %6.0f documents/s, peak memory %ld KiB\n",
                f.link, f.maxRssKb);
    std::printf("    plain driver loop, statements only      : %6.0f documents/s, ratio %.2f (target 0.70)\n",
                f.plain, f.link / f.plain);
    std::printf("    plain loop, statements and file work    : %6.0f documents/s, ratio %.2f\n", f.withFiles,
                f.link / f.withFiles);
}

void run(const char* name, const QString& client, MemorySettings& settings, bool sqlite, int orders,
         int amendments, int existing) {
    QTemporaryDir dir;
    // SQLite: every round of the link starts from a copy of this file, which the plain loop uses
    const QString folder = dir.path();
    PlanningDatabase ado(settings, folder + u'/');
    ado.open();
    if (!sqlite) {
        bench::recreateTables(ado);
    }
    std::printf("%s: %d new orders and %d amendments\n", name, orders, amendments);
    const Figures empty = measure(client, folder, settings, ado, orders, amendments, 1);
    report("empty table:", empty);
    bench::addExistingRows(ado, existing, 5000001);
    const Figures full = measure(client, folder, settings, ado, orders, amendments, 2);
    report(qPrintable(QStringLiteral("%1 rows in planning:").arg(existing)), full);
    std::printf("  link documents/s with the full table against the empty one: %.2f (within 0.80-1.20)\n",
                full.link / empty.link);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int orders = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int amendments = argc > 2 ? std::atoi(argv[2]) : 500;
    const int existing = argc > 3 ? std::atoi(argv[3]) : 1000000;
    const QString client =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../src/shell/VeloraKarvexClient");

    {
        MemorySettings settings;
        settings.setText(Setting::xLoginServer, QStringLiteral("sqlite:planning.db"));
        run("SQLite", client, settings, true, orders, amendments, existing);
    }
    if (MemorySettings settings; bench::postgresFromEnvironment(settings)) {
        run("PostgreSQL over ODBC", client, settings, false, orders, amendments, existing);
    } else {
        std::printf(
            "PostgreSQL: VK_PG_PORT not set; run bench/run-with-postgres.sh bench_link to include it\n");
    }
    return 0;
}
