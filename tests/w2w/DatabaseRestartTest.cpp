#include "support/Ports.h"
#include "support/PrivatePostgres.h"
#include "support/TempFolder.h"
#include "w2w/OrderImport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <set>

namespace vk::w2w {
namespace {

QByteArray document(int id, const QByteArray& kind, const QByteArray& elements) {
    return "<?xml version=\"1.0\"?>\n<w2w version=\"1.0\">\n<s2c>\n<kind>" + kind + "</kind>\n<id>" +
           QByteArray::number(id) + "</id>\n" + elements + "</s2c>\n</w2w>\n";
}
QByteArray newOrder(int id) {
    return document(id, "ADD",
                    "<ssec>201101071146</ssec><npassenger>1</npassenger><passenger>Dhr. Jansen</passenger>");
}
QByteArray amendment(int id) {
    return document(id, "UPD", "<canceled>0</canceled><npassenger>3</npassenger>");
}
QByteArray cancellation(int id) {
    return document(id, "UPD", "<canceled>1</canceled>");
}

// What happens to the database server, or to the link's session on it, while one link runs on.
enum class Disturbance {
    FastStopWhileIdle,             // pg_ctl stop -m fast and start again between two cycles
    ImmediateStopWhileIdle,        // pg_ctl stop -m immediate (as a crash) and start again
    StopDuringCycle,               // stopped while a cycle handles its documents, started after it
    SessionEndedWhileIdle,         // pg_terminate_backend between two cycles
    SessionEndedInAUnit,           // pg_terminate_backend between a row's save and its transaction row
    SessionEndedBetweenDocuments,  // pg_terminate_backend between two documents of one cycle
};

const char* nameOf(Disturbance d) {
    switch (d) {
        case Disturbance::FastStopWhileIdle:
            return "FastStopWhileIdle";
        case Disturbance::ImmediateStopWhileIdle:
            return "ImmediateStopWhileIdle";
        case Disturbance::StopDuringCycle:
            return "StopDuringCycle";
        case Disturbance::SessionEndedWhileIdle:
            return "SessionEndedWhileIdle";
        case Disturbance::SessionEndedInAUnit:
            return "SessionEndedInAUnit";
        case Disturbance::SessionEndedBetweenDocuments:
            return "SessionEndedBetweenDocuments";
    }
    return "?";
}

void PrintTo(Disturbance d, std::ostream* os) {
    *os << nameOf(d);
}

// One link, made once and never restarted, on a PostgreSQL server of the test's own that is
// stopped and started for real.
class OneRunningLink : public ::testing::Test {
protected:
    OneRunningLink() {
        server.fillLoginSettings(settings);
        inbound = root.mkdir(QStringLiteral("W2W/S2C"));
        root.mkdir(QStringLiteral("W2W/S2C/Backups"));
        outbound = root.mkdir(QStringLiteral("W2W/C2S"));
        settings.setText(Setting::w2wInkomende, inbound);
        settings.setText(Setting::w2wUitgaande, outbound);
        settings.setText(Setting::Gebruiker, QStringLiteral("7"));
    }

    void drop(int id, const char* prefix, const QByteArray& bytes) {
        QFile f(inbound + QStringLiteral("/%1%2.s2c").arg(QLatin1String(prefix)).arg(id));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray answer(int id, const char* prefix) {
        QFile f(outbound + QStringLiteral("/%1%2.c2s").arg(QLatin1String(prefix)).arg(id));
        if (!f.open(QIODevice::ReadOnly)) {
            return "(geen)";
        }
        const QByteArray bytes = f.readAll();
        return bytes.contains("<kind>BOB</kind>")   ? "BOB"
               : bytes.contains("<kind>WOB</kind>") ? "WOB"
                                                    : bytes;
    }
    int number(const QString& sql) { return server.value(sql).toInt(); }
    int rowsOf(int order) {
        return number(QStringLiteral("SELECT COUNT(*) FROM planning WHERE pla_extern = %1").arg(order));
    }
    int transactions(int order, int code) {
        return number(QStringLiteral("SELECT COUNT(*) FROM TRANSACTIES JOIN planning ON tra_rit = pla_id "
                                     "WHERE pla_extern = %1 AND tra_code = %2")
                          .arg(order)
                          .arg(code));
    }
    // Acts once, at the given point of the n-th document the link takes from now on.
    void atPoint(CyclePoint point, int nth, std::function<void()> action) {
        auto seen = std::make_shared<int>(0);
        link.engine.faultPoint = [=](CyclePoint reached) {
            if (reached == CyclePoint::AfterDelete) {
                ++*seen;
            }
            if (reached == point && *seen == nth) {
                *seen = -1000;
                action();
            }
        };
    }
    void cycle() { link.engine.CheckXMLfiles(); }

    test::PrivatePostgres server;
    MemorySettings settings;
    test::TempFolder root;
    QString inbound, outbound;
    SystemClock clock;
    test::RecordingLog log;
    test::ReplacingErrorHandler errors{log};
    test::RecordingPacket packet;
    test::ScriptedPump pump;
    OrderImport link{{settings, packet, log, errors, pump, clock}, root.path() + u'/'};
};

class DatabaseRestart : public OneRunningLink, public ::testing::WithParamInterface<Disturbance> {};

// Under one running link, every document dropped after the server is back (or after its session
// was ended) is answered "BOB" with its change made once; "WOB" only for documents handled while
// the server was down, and those changed nothing.
TEST_P(DatabaseRestart, EveryDocumentAfterTheRestartIsHandled) {
    for (int id : {1001, 1002}) {
        drop(id, "o", newOrder(id));
    }
    cycle();
    ASSERT_EQ(answer(1001, "o"), "BOB") << log.lines.join(u'\n').toStdString();
    ASSERT_EQ(answer(1002, "o"), "BOB");

    std::set<int> handledWhileDown;
    switch (GetParam()) {
        case Disturbance::FastStopWhileIdle:
            server.stop("fast");
            server.start();
            break;
        case Disturbance::ImmediateStopWhileIdle:
            server.stop("immediate");
            server.start();
            break;
        case Disturbance::StopDuringCycle:
            handledWhileDown = {1003, 1004, 1005};
            for (int id : handledWhileDown) {
                drop(id, "o", newOrder(id));
            }
            atPoint(CyclePoint::AfterDelete, 1, [&] { server.stop("fast"); });
            cycle();
            server.start();
            break;
        case Disturbance::SessionEndedWhileIdle:
            server.terminateSessions();
            break;
        case Disturbance::SessionEndedInAUnit:
            drop(1003, "o", newOrder(1003));
            atPoint(CyclePoint::AfterSave, 1, [&] { server.terminateSessions(); });
            cycle();
            break;
        case Disturbance::SessionEndedBetweenDocuments:
            drop(1003, "o", newOrder(1003));
            drop(1004, "o", newOrder(1004));
            atPoint(CyclePoint::AfterDelete, 2, [&] { server.terminateSessions(); });
            cycle();
            break;
    }
    link.engine.faultPoint = nullptr;

    // after the server accepts connections again
    drop(1006, "o", newOrder(1006));
    drop(1001, "a", amendment(1001));
    drop(1002, "c", cancellation(1002));
    cycle();

    const QString lines = log.lines.join(u'\n');
    for (int id = 1001; id <= 1006; ++id) {
        const QByteArray got = answer(id, "o");
        if (got == "(geen)") {
            continue;  // not sent in this case
        }
        if (handledWhileDown.count(id)) {
            EXPECT_EQ(got, "WOB") << id;
            EXPECT_EQ(rowsOf(id), 0) << id;
        } else {
            EXPECT_EQ(got, "BOB") << id << "\n" << lines.toStdString();
            EXPECT_EQ(rowsOf(id), 1) << id;
            EXPECT_EQ(transactions(id, 91), 1) << id;
        }
    }
    EXPECT_EQ(answer(1001, "a"), "BOB") << lines.toStdString();
    EXPECT_EQ(answer(1002, "c"), "BOB") << lines.toStdString();
    EXPECT_EQ(number(QStringLiteral("SELECT pla_lopers FROM planning WHERE pla_extern = 1001")), 3);
    EXPECT_EQ(transactions(1001, 92), 1);
    EXPECT_EQ(transactions(1002, 93), 1);
    EXPECT_EQ(link.engine.counts().refused, static_cast<int>(handledWhileDown.size()));
    switch (GetParam()) {
        case Disturbance::SessionEndedInAUnit:
        case Disturbance::SessionEndedBetweenDocuments:
            // the statement met the dead connection: the document was done again on a new one
            EXPECT_TRUE(lines.contains(QStringLiteral("opnieuw verwerkt op een nieuwe verbinding")))
                << lines.toStdString();
            break;
        case Disturbance::StopDuringCycle:
            break;
        default:
            // the connection was checked before the cycle used it: no statement met the dead one
            EXPECT_FALSE(lines.contains(QStringLiteral(" - W2W XML: "))) << lines.toStdString();
    }
    EXPECT_TRUE(QDir(inbound).entryList({QStringLiteral("*.s2c")}, QDir::Files).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Disturbances, DatabaseRestart,
                         ::testing::Values(Disturbance::FastStopWhileIdle,
                                           Disturbance::ImmediateStopWhileIdle, Disturbance::StopDuringCycle,
                                           Disturbance::SessionEndedWhileIdle,
                                           Disturbance::SessionEndedInAUnit,
                                           Disturbance::SessionEndedBetweenDocuments),
                         [](const auto& p) { return std::string(nameOf(p.param)); });

// A server that does not come back: each document is refused once, with the driver's message, and
// the link goes on; once it is back, the next document is handled.
TEST_F(OneRunningLink, DocumentsAreRefusedWhileTheServerIsDownAndHandledOnceItIsBack) {
    server.stop("immediate");
    drop(1, "o", newOrder(1));
    cycle();
    EXPECT_EQ(answer(1, "o"), "WOB");
    server.start();
    drop(2, "o", newOrder(2));
    cycle();
    EXPECT_EQ(answer(2, "o"), "BOB") << log.lines.join(u'\n').toStdString();
    EXPECT_EQ(number(QStringLiteral("SELECT COUNT(*) FROM planning")), 1);
    EXPECT_EQ(link.engine.counts().refused, 1);
}

}  // namespace
}  // namespace vk::w2w
