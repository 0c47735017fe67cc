#include "platform/InboundFile.h"
#include "support/Databases.h"
#include "support/Ports.h"
#include "support/TempFolder.h"
#include "w2w/OrderImport.h"

#include <QDir>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>

#include <gtest/gtest.h>

#include <unistd.h>

#include <functional>
#include <tuple>

namespace vk::w2w {
namespace {

using test::Backend;

QByteArray document(const QByteArray& kind, const QByteArray& id, const QByteArray& elements = {}) {
    return "<?xml version=\"1.0\"?>\n<w2w version=\"1.0\">\n<s2c>\n<kind>" + kind + "</kind>\n<id>" + id +
           "</id>\n" + elements + "</s2c>\n</w2w>\n";
}

const QByteArray kNewOrder =
    document("ADD", "4711", "<ssec>201101071146</ssec><passenger>Dhr. Jansen</passenger>");
const QByteArray kCancellation = document("UPD", "4711", "<canceled>1</canceled>");

// The link as a run of the program has it: every part made anew for each run, as after a restart,
// over one program folder (with its journal) and one database.
class LinkRuns : public ::testing::Test {
protected:
    explicit LinkRuns(Backend backend) : db(backend, settings) {
        inbound = root.mkdir(QStringLiteral("W2W/S2C"));
        root.mkdir(QStringLiteral("W2W/S2C/Backups"));
        outbound = root.mkdir(QStringLiteral("W2W/C2S"));
        settings.setText(Setting::w2wInkomende, inbound);
        settings.setText(Setting::w2wUitgaande, outbound);
        settings.setText(Setting::Gebruiker, QStringLiteral("7"));
    }

    // One run with one cycle. `setUp` may reach into the run's parts; a fault point that throws
    // CycleInterrupted stops the run there, as a kill would.
    void run(const std::function<void(OrderImport&)>& setUp = {}, int cycles = 1) {
        OrderImport link({settings, packet, log, errors, pump, clock}, db.programFolder());
        link.ado.open();  // the tables exist before the test looks at them
        if (setUp) {
            setUp(link);
        }
        try {
            for (int i = 0; i < cycles; ++i) {
                link.engine.CheckXMLfiles();
            }
        } catch (const CycleInterrupted&) {
        }
    }
    static std::function<void(OrderImport&)> stopAt(CyclePoint point) {
        return [point](OrderImport& link) {
            link.engine.faultPoint = [point](CyclePoint reached) {
                if (reached == point) {
                    throw CycleInterrupted{};
                }
            };
        };
    }

    void drop(const QString& name, const QByteArray& bytes) {
        QFile f(inbound + u'/' + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray answer(const QString& name) {
        QFile f(outbound + u'/' + name);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(geen)");
    }
    int count(const QString& sql) {
        QSqlQuery q(db.inspect());
        EXPECT_TRUE(q.exec(sql)) << q.lastError().text().toStdString();
        q.next();
        return q.value(0).toInt();
    }
    int rowsOf(int order) {
        return count(QStringLiteral("SELECT COUNT(*) FROM planning WHERE pla_extern = %1").arg(order));
    }
    int transactionsWith(int code) {
        return count(QStringLiteral("SELECT COUNT(*) FROM TRANSACTIES WHERE tra_code = %1").arg(code));
    }
    // The open records of the program folder's journal, by entry name.
    QStringList journal() {
        SystemClock anyClock;
        TemporaryKeys keys(anyClock);
        const DocumentJournal reader(db.programFolder() + DocumentJournal::kFileName.toString(), keys);
        QStringList names;
        for (const JournalRecord& r : reader.pending()) {
            names << r.entryName;
        }
        return names;
    }

    MemorySettings settings;
    test::TempFolder root;
    QString inbound, outbound;
    test::TestDatabase db;
    SystemClock clock;
    test::RecordingLog log;
    test::ReplacingErrorHandler errors{log};
    test::RecordingPacket packet;
    test::ScriptedPump pump;
};

struct StopCase {
    const char* name;
    bool cancellation;  // the document stopped on is a cancellation of a saved order, else a new order
    CyclePoint point;
};

void PrintTo(const StopCase& c, std::ostream* os) {
    *os << c.name;
}

class StoppedRuns : public LinkRuns, public ::testing::WithParamInterface<std::tuple<Backend, StopCase>> {
protected:
    StoppedRuns() : LinkRuns(std::get<0>(GetParam())) {}
};

// Wherever a run stops, the runs after it give the document exactly one outcome: one answer "BOB",
// one row, the change made once, one transaction row, and nothing left in the journal.
TEST_P(StoppedRuns, EveryDocumentEndsWithExactlyOneOutcome) {
    const StopCase& c = std::get<1>(GetParam());
    drop(QStringLiteral("4711.s2c"), kNewOrder);
    if (c.cancellation) {
        run();
        drop(QStringLiteral("4711-annulering.s2c"), kCancellation);
    }
    run(stopAt(c.point));
    run();
    run();
    const QString name = c.cancellation ? QStringLiteral("4711-annulering.c2s") : QStringLiteral("4711.c2s");
    EXPECT_TRUE(answer(name).contains("<kind>BOB</kind><id>4711</id>") ||
                answer(name).contains("<kind>BOB</kind>\r\n<id>4711</id>"))
        << answer(name).toStdString();
    EXPECT_EQ(rowsOf(4711), 1);
    EXPECT_EQ(transactionsWith(91), 1);
    EXPECT_EQ(transactionsWith(93), c.cancellation ? 1 : 0);
    if (c.cancellation) {
        EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM planning WHERE pla_status = 'S'")), 1);
    }
    EXPECT_TRUE(journal().isEmpty()) << journal().join(u',').toStdString();
    // nothing left in the inbound folder, also not the file under the name it was taken by
    EXPECT_TRUE(QDir(inbound).entryList(QDir::Files | QDir::Hidden).isEmpty())
        << QDir(inbound).entryList(QDir::Files | QDir::Hidden).join(u',').toStdString();
}

const StopCase kStops[] = {
    {"new_after_record", false, CyclePoint::AfterRecord},
    {"new_after_delete", false, CyclePoint::AfterDelete},
    {"new_after_save", false, CyclePoint::AfterSave},
    {"new_after_commit", false, CyclePoint::AfterCommit},
    {"new_after_answer", false, CyclePoint::AfterAcknowledgement},
    {"cancel_after_delete", true, CyclePoint::AfterDelete},
    {"cancel_after_save", true, CyclePoint::AfterSave},
    {"cancel_after_commit", true, CyclePoint::AfterCommit},
    {"cancel_after_answer", true, CyclePoint::AfterAcknowledgement},
};

INSTANTIATE_TEST_SUITE_P(Points, StoppedRuns,
                         ::testing::Combine(::testing::Values(Backend::SQLite, Backend::PostgreSQLOdbc),
                                            ::testing::ValuesIn(kStops)),
                         [](const auto& p) {
                             return test::backendName(std::get<0>(p.param)) + "_" + std::get<1>(p.param).name;
                         });

class Runs : public LinkRuns, public ::testing::WithParamInterface<Backend> {
protected:
    Runs() : LinkRuns(GetParam()) {}
};

// A stopped run answered a new order but had not settled its record; the partner, who has the answer,
// sends a cancellation, and that run is stopped too. The cancellation gives the row another key:
// the order's record must not be looked for by the key it had.
TEST_P(Runs, ACancellationAfterARecoveredOrderLeavesOneRow) {
    drop(QStringLiteral("4711.s2c"), kNewOrder);
    run(stopAt(CyclePoint::AfterAcknowledgement));
    drop(QStringLiteral("4711-annulering.s2c"), kCancellation);
    run([](OrderImport& link) {
        link.engine.faultPoint = [](CyclePoint point) {
            static int answers = 0;
            if (point == CyclePoint::AfterAcknowledgement && ++answers == 2) {
                answers = 0;
                throw CycleInterrupted{};  // after the cancellation's answer
            }
        };
    });
    run();
    EXPECT_EQ(rowsOf(4711), 1);
    EXPECT_EQ(transactionsWith(91), 1);
    EXPECT_EQ(transactionsWith(93), 1);
    EXPECT_TRUE(answer(QStringLiteral("4711-annulering.c2s")).contains("BOB"));
    EXPECT_TRUE(journal().isEmpty());
}

// An answer that cannot be written is not replaced by a refusal: the saved order keeps its record,
// and the first cycle that can write the answer writes it, once. Here the outbound folder goes
// while the order is handled.
TEST_P(Runs, AnAnswerThatCouldNotBeWrittenIsWrittenLater) {
    drop(QStringLiteral("4711.s2c"), kNewOrder);
    run([this](OrderImport& link) {
        link.engine.faultPoint = [this](CyclePoint point) {
            if (point == CyclePoint::AfterCommit) {
                QDir(outbound).removeRecursively();
            }
        };
    });
    EXPECT_EQ(rowsOf(4711), 1);
    EXPECT_EQ(journal().size(), 1);
    root.mkdir(QStringLiteral("W2W/C2S"));
    run();
    EXPECT_TRUE(answer(QStringLiteral("4711.c2s")).contains("BOB"));
    EXPECT_EQ(rowsOf(4711), 1);
    EXPECT_TRUE(journal().isEmpty());
}

// A document that cannot be recorded is not taken: it stays, unanswered, with one line however
// many cycles pass, and is taken once the journal can be written.
TEST_P(Runs, ADocumentThatCannotBeRecordedStays) {
    // a folder where the journal's file should be
    const QString journalPath = db.programFolder() + DocumentJournal::kFileName.toString();
    ASSERT_TRUE(QDir().mkpath(journalPath));
    drop(QStringLiteral("4711.s2c"), kNewOrder);
    run({}, 3);
    EXPECT_TRUE(QFile::exists(inbound + QStringLiteral("/4711.s2c")));
    EXPECT_EQ(answer(QStringLiteral("4711.c2s")), "(geen)");
    EXPECT_EQ(rowsOf(4711), 0);
    EXPECT_EQ(log.lines.size(), 1) << log.lines.join(u'\n').toStdString();
    EXPECT_TRUE(log.lines.first().endsWith(
        QStringLiteral("; het bestand blijft staan en wordt verwerkt zodra dat kan")));
    ASSERT_TRUE(QDir(journalPath).removeRecursively());
    run();
    EXPECT_TRUE(answer(QStringLiteral("4711.c2s")).contains("<kind>BOB</kind>"));
    EXPECT_EQ(rowsOf(4711), 1);
}

// Two links on one inbound folder: this one recorded a document and stopped before it took the
// file; the other link took it and answered it. This one's next run neither handles nor answers it.
TEST_P(Runs, AFileThatAnotherLinkTookWhileThisOneWasStoppedIsNotHandledTwice) {
    drop(QStringLiteral("4711.s2c"), kNewOrder);
    run(stopAt(CyclePoint::AfterRecord));
    ASSERT_EQ(journal().size(), 1);
    ASSERT_TRUE(QFile::remove(inbound + QStringLiteral("/4711.s2c")));  // the other link takes it
    run();
    EXPECT_EQ(answer(QStringLiteral("4711.c2s")), "(geen)");
    EXPECT_EQ(rowsOf(4711), 0);
    EXPECT_TRUE(journal().isEmpty());
    EXPECT_EQ(log.lines.filter(QStringLiteral("door een ander programma opgehaald")).size(), 1)
        << log.lines.join(u'\n').toStdString();
}

// A record that waits (here for the database) keeps the file it took, also when the inbound folder
// is spelled otherwise at the next start: the start's clean-up of taken files leaves it alone.
TEST_P(Runs, AWaitingRecordKeepsItsFileWhateverTheSpellingOfTheFolder) {
    drop(QStringLiteral("4711.s2c"), kNewOrder);
    run(stopAt(CyclePoint::AfterDelete));
    const QString server = settings.text(Setting::xLoginServer);
    settings.setText(Setting::w2wInkomende, inbound + QStringLiteral("/"));
    run(
        [&](OrderImport& link) {
            link.ado.Close();
            settings.setText(Setting::xLoginServer, QStringLiteral("sqlite:/bestaat-niet/planning.db"));
        },
        2);
    EXPECT_EQ(journal().size(), 1);
    settings.setText(Setting::xLoginServer, server);
    run();
    EXPECT_TRUE(answer(QStringLiteral("4711.c2s")).contains("<kind>BOB</kind>"))
        << log.lines.join(u'\n').toStdString();
    EXPECT_EQ(rowsOf(4711), 1);
    EXPECT_TRUE(journal().isEmpty());
}

// A refusal is final: a later cycle that finds the record of a refused document answers it the
// same way, even when the database would now take it.
TEST_P(Runs, ARefusalStaysARefusal) {
    drop(QStringLiteral("4711.s2c"), document("ADD", "4711", "<ssec>201113071146</ssec>"));  // month 13
    run(stopAt(CyclePoint::AfterAcknowledgement));
    EXPECT_TRUE(answer(QStringLiteral("4711.c2s")).contains("WOB"));
    EXPECT_EQ(journal().size(), 1);
    QFile::remove(outbound + QStringLiteral("/4711.c2s"));  // the partner takes it
    // the same boot: the answer was in place, and is not written again
    run();
    EXPECT_EQ(answer(QStringLiteral("4711.c2s")), "(geen)");
    EXPECT_EQ(rowsOf(4711), 0);
    EXPECT_TRUE(journal().isEmpty());

    // after a restart of the machine the answer may have been lost with the page cache: it is
    // written again, and it is the refusal again
    drop(QStringLiteral("4712.s2c"), document("ADD", "4712", "<ssec>201113071146</ssec>"));
    run(stopAt(CyclePoint::AfterAcknowledgement));
    QFile::remove(outbound + QStringLiteral("/4712.c2s"));
    run([](OrderImport& link) { link.engine.bootId = "another-boot"; });
    EXPECT_TRUE(answer(QStringLiteral("4712.c2s")).contains("WOB"));
    EXPECT_EQ(rowsOf(4712), 0);
    EXPECT_TRUE(journal().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Backends, Runs, ::testing::Values(Backend::SQLite, Backend::PostgreSQLOdbc),
                         [](const auto& p) { return test::backendName(p.param); });

// A saved order whose answer cannot be written waits for its "BOB": it is never refused, and it
// says so once. Two causes: a folder stands where the answer should go (the rename fails), and
// the disk is full (the answer's file cannot be written at all).
TEST_P(Runs, ASavedOrderWaitsForItsBobAndIsNeverRefused) {
    for (const bool diskFull : {false, true}) {
        SCOPED_TRACE(diskFull ? "disk full" : "a folder in the way");
        const int order = diskFull ? 4712 : 4711;
        const QString name = QString::number(order);
        drop(name + QStringLiteral(".s2c"), document("ADD", name.toLatin1(), "<ssec>201101071146</ssec>"));
        log.lines.clear();
        bool full = true;
        if (!diskFull) {
            ASSERT_TRUE(QDir(outbound).mkdir(name + QStringLiteral(".c2s")));
        }
        const auto blocked = [&](OrderImport& link) {
            link.engine.faultPoint = [&](CyclePoint point) {
                if (diskFull && full && point == CyclePoint::AnswerWritten) {
                    throw FileError(QStringLiteral("No space left on device"));
                }
            };
        };
        run(blocked, 3);
        EXPECT_EQ(rowsOf(order), 1);
        EXPECT_EQ(journal().size(), 1);
        EXPECT_EQ(log.lines.filter(QStringLiteral("kan nog niet geschreven worden")).size(), 1)
            << log.lines.join(u'\n').toStdString();
        full = false;
        if (!diskFull) {
            ASSERT_TRUE(QDir(outbound).rmdir(name + QStringLiteral(".c2s")));
        }
        run(blocked);
        EXPECT_TRUE(answer(name + QStringLiteral(".c2s")).contains("<kind>BOB</kind>"))
            << answer(name + QStringLiteral(".c2s")).toStdString();
        EXPECT_EQ(rowsOf(order), 1);
        EXPECT_TRUE(journal().isEmpty());
    }
    EXPECT_EQ(transactionsWith(91), 2);
}

// Where a stop falls around the putting in place of an answer, and on which boot the next run
// comes: how many answers the partner, who takes each answer as it arrives, gets in all.
struct AnswerStopCase {
    const char* name;
    CyclePoint point;
    bool nextBoot;               // the machine was restarted before the next run
    int answers;                 // as the partner sees them
    bool refusedUnread = false;  // the document is a file refused for good (too large), not an order
};

void PrintTo(const AnswerStopCase& c, std::ostream* os) {
    *os << c.name;
}

class AnswerStops : public LinkRuns, public ::testing::WithParamInterface<AnswerStopCase> {
protected:
    AnswerStops() : LinkRuns(Backend::SQLite) {}
    // The partner takes every answer there is.
    void partnerTakes() {
        for (const QString& name : QDir(outbound).entryList({QStringLiteral("*.c2s")}, QDir::Files)) {
            taken << QString::fromLatin1(answer(name));
            QFile::remove(outbound + u'/' + name);
        }
    }
    QStringList taken;
    QString keptAs;  // the temporary answer file that the stop left
};

// A stop is a kill: the answer's temporary file stays where it was (the run's own clean-up of it
// does not happen), and so does whatever was noted.
TEST_P(AnswerStops, ThePartnerGetsOneAnswerAndNeverNone) {
    const AnswerStopCase& c = GetParam();
    drop(QStringLiteral("4711.s2c"),
         c.refusedUnread ? QByteArray(kMaxDeliveredFileSize + 1, 'x') : kNewOrder);
    const QString kept = root.file(QStringLiteral("kept-temporary"));
    run([&](OrderImport& link) {
        link.engine.faultPoint = [&](CyclePoint reached) {
            if (reached != c.point) {
                return;
            }
            if (reached == CyclePoint::AnswerWritten || reached == CyclePoint::AnswerNoted) {
                const QStringList temporaries =
                    QDir(outbound).entryList({QStringLiteral(".vk-tmp-*")}, QDir::Files | QDir::Hidden);
                ASSERT_EQ(temporaries.size(), 1);
                // a second name, so that the file outlives the run's own clean-up as it outlives a kill
                ASSERT_EQ(::link(QFile::encodeName(outbound + u'/' + temporaries[0]).constData(),
                                 QFile::encodeName(kept).constData()),
                          0);
                keptAs = outbound + u'/' + temporaries[0];
            }
            throw CycleInterrupted{};
        };
    });
    if (!keptAs.isEmpty()) {
        ASSERT_TRUE(QFile::rename(kept, keptAs));
    }
    partnerTakes();
    run([&](OrderImport& link) {
        if (c.nextBoot) {
            link.engine.bootId = "another-boot";
        }
        // the partner takes each answer as soon as it is there
        link.engine.faultPoint = [&](CyclePoint reached) {
            if (reached == CyclePoint::AfterAcknowledgement) {
                partnerTakes();
            }
        };
    });
    partnerTakes();
    EXPECT_EQ(taken.size(), c.answers) << taken.join(u',').toStdString();
    for (const QString& a : taken) {
        EXPECT_TRUE(a.contains(c.refusedUnread ? QStringLiteral("<kind>WOB</kind>")
                                               : QStringLiteral("<kind>BOB</kind>")))
            << a.toStdString();
    }
    EXPECT_EQ(rowsOf(4711), c.refusedUnread ? 0 : 1);
    if (c.refusedUnread) {
        EXPECT_TRUE(QFileInfo::exists(inbound + QStringLiteral("/Geweigerd/4711.s2c")));
        EXPECT_FALSE(QFileInfo::exists(inbound + QStringLiteral("/4711.s2c")));
    }
    EXPECT_TRUE(journal().isEmpty());
    if (!c.nextBoot && c.point == CyclePoint::AnswerNoted) {
        EXPECT_FALSE(QFileInfo::exists(keptAs)) << "the rename was finished";
    }
}

const AnswerStopCase kAnswerStops[] = {
    {"before_the_note", CyclePoint::AnswerWritten, false, 1},
    {"between_the_note_and_the_rename", CyclePoint::AnswerNoted, false, 1},
    {"after_the_rename", CyclePoint::AfterAcknowledgement, false, 1},
    // after a restart of the machine the answer is written again: a repeat, never a loss
    {"between_the_note_and_the_rename_then_a_restart", CyclePoint::AnswerNoted, true, 1},
    {"after_the_rename_then_a_restart", CyclePoint::AfterAcknowledgement, true, 2},
    // a file refused for good: recorded as refused, moved out of the folder, then answered
    {"refused_unread_after_the_record", CyclePoint::AfterRecord, false, 1, true},
    {"refused_unread_after_the_move", CyclePoint::AfterDelete, false, 1, true},
    {"refused_unread_before_the_note", CyclePoint::AnswerWritten, false, 1, true},
    {"refused_unread_between_the_note_and_the_rename", CyclePoint::AnswerNoted, false, 1, true},
    {"refused_unread_after_the_rename", CyclePoint::AfterAcknowledgement, false, 1, true},
};

INSTANTIATE_TEST_SUITE_P(Points, AnswerStops, ::testing::ValuesIn(kAnswerStops),
                         [](const auto& p) { return std::string(p.param.name); });

class ServerRuns : public LinkRuns {
protected:
    ServerRuns() : LinkRuns(Backend::PostgreSQLOdbc) {}
    void endTheLinksSession() {
        db.exec(
            QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                           "WHERE datname = current_database() AND pid <> pg_backend_pid()"));
    }
};

// The connection goes inside the unit, after the row's statement: nothing was committed, and the
// document is refused as a save that failed.
TEST_F(ServerRuns, AConnectionLostInsideTheUnitCommitsNothingAndRefuses) {
    drop(QStringLiteral("4711.s2c"), kNewOrder);
    run([this](OrderImport& link) {
        link.engine.faultPoint = [this](CyclePoint point) {
            if (point == CyclePoint::AfterSave) {
                endTheLinksSession();
            }
        };
    });
    EXPECT_TRUE(answer(QStringLiteral("4711.c2s")).contains("<kind>WOB</kind>"));
    EXPECT_EQ(rowsOf(4711), 0);
    EXPECT_EQ(transactionsWith(91), 0);
    EXPECT_TRUE(journal().isEmpty());
}

// The connection goes during the commit: the outcome is unknown, so no answer is written and the
// record stays; the next cycle finds no row and handles the document again.
TEST_F(ServerRuns, AConnectionLostDuringTheCommitIsDecidedByTheNextCycle) {
    drop(QStringLiteral("4711.s2c"), kNewOrder);
    run([this](OrderImport& link) { link.ado.beforeCommit = [this] { endTheLinksSession(); }; });
    EXPECT_EQ(answer(QStringLiteral("4711.c2s")), "(geen)");
    EXPECT_EQ(journal().size(), 1);
    EXPECT_EQ(rowsOf(4711), 0);
    run();
    EXPECT_TRUE(answer(QStringLiteral("4711.c2s")).contains("BOB"));
    EXPECT_EQ(rowsOf(4711), 1);
    EXPECT_EQ(transactionsWith(91), 1);
    EXPECT_TRUE(journal().isEmpty());
}

// While the database cannot be asked, a record waits, with one line a run, and is decided once it
// can.
TEST_F(ServerRuns, ARecordWaitsForTheDatabase) {
    drop(QStringLiteral("4711.s2c"), kNewOrder);
    run(stopAt(CyclePoint::AfterDelete));
    const QString database = settings.text(Setting::xLoginDatabase);
    run(
        [&](OrderImport& link) {
            link.ado.Close();
            settings.setText(Setting::xLoginDatabase, QStringLiteral("bestaat_niet"));
        },
        3);
    EXPECT_EQ(journal().size(), 1);
    EXPECT_EQ(log.lines.filter(QStringLiteral("wacht op de database")).size(), 1);
    EXPECT_EQ(answer(QStringLiteral("4711.c2s")), "(geen)");
    settings.setText(Setting::xLoginDatabase, database);
    run();
    EXPECT_TRUE(answer(QStringLiteral("4711.c2s")).contains("BOB"));
    EXPECT_EQ(rowsOf(4711), 1);
}

}  // namespace
}  // namespace vk::w2w
