// The cycle in short steps: the window's messages run between every two documents and every few
// settled answers or removed leftovers, however long the cycle; a stop asked for meanwhile ends the
// cycle in order. And inbound names as long as the folder takes them.

#include "platform/Clock.h"
#include "platform/InboundFile.h"
#include "settings/Settings.h"
#include "support/Ports.h"
#include "support/TempFolder.h"
#include "w2w/ClaimedNames.h"
#include "w2w/ImportEngine.h"
#include "w2w/ScriptedHandlers.h"

#include <QDir>
#include <QFile>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

namespace vk::w2w {
namespace {

using test::exists;
using test::readAll;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

QByteArray newOrder(int id) {
    return "<?xml version=\"1.0\"?>\n<w2w version=\"1.0\">\n<s2c>\n<kind>ADD</kind>\n<id>" +
           QByteArray::number(id) + "</id>\n</s2c>\n</w2w>\n";
}

QByteArray bob(int id) {
    return "<?xml version=\"1.0\"?>\r\n<w2w version=\"1.0\">\r\n<c2s>\r\n<kind>BOB</kind>\r\n<id>" +
           QByteArray::number(id) + "</id>\r\n</c2s>\r\n</w2w>\r\n";
}

// One program folder with its journal and exchange folders; each run() is a run of the program.
class CycleSteps : public ::testing::Test {
protected:
    CycleSteps() {
        inbound = root.mkdir(QStringLiteral("W2W/S2C"));
        root.mkdir(QStringLiteral("W2W/S2C/Backups"));
        outbound = root.mkdir(QStringLiteral("W2W/C2S"));
        settings.setText(Setting::w2wInkomende, inbound);
        settings.setText(Setting::w2wUitgaande, outbound);
    }

    QString journalPath() const { return root.path() + QStringLiteral("/.vk-journaal"); }

    // A run of one cycle; a fault point that throws CycleInterrupted stops it as a kill would.
    void run(const std::function<void(CyclePoint)>& fault = {}) {
        TemporaryKeys keys(clock);
        DocumentJournal journal(journalPath(), keys);
        ImportEngine engine({settings, packet, log, errors, pump, clock}, handlers, &journal);
        engine.faultPoint = fault;
        try {
            engine.CheckXMLfiles();
        } catch (const CycleInterrupted&) {
        }
    }

    void drop(const QString& name, const QByteArray& bytes) const {
        QFile f(inbound + u'/' + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << name.toStdString();
        f.write(bytes);
    }
    int countIn(const QString& folder, const QString& pattern) const {
        return static_cast<int>(
            QDir(folder).entryList({pattern}, QDir::Files | QDir::Hidden | QDir::System).size());
    }
    int answers() const { return countIn(outbound, QStringLiteral("*.c2s")); }
    int claimedFiles() const { return countIn(inbound, QStringLiteral(".*.vk-*")); }
    QStringList openRecords() const {
        TemporaryKeys keys(clock);
        const DocumentJournal journal(journalPath(), keys);
        QStringList names;
        for (const JournalRecord& r : journal.pending()) {
            names << r.entryName;
        }
        return names;
    }

    test::TempFolder root;
    QString inbound, outbound;
    MemorySettings settings;
    test::RecordingLog log;
    test::RecordingPacket packet;
    test::ReplacingErrorHandler errors{log};
    test::ScriptedPump pump;
    ManualClock clock{QDateTime(QDate(2011, 1, 7), QTime(11, 46, 42))};
    test::ScriptedHandlers handlers;
};

// Between two pumps the cycle handles at most one document and settles or removes at most a slice
// of answers; it settles as it goes, not all at the end.
TEST_F(CycleSteps, ALongCycleLetsTheWindowInBetweenEveryDocumentAndEverySliceOfSettledAnswers) {
    constexpr int kDocuments = 300;
    constexpr int kMostPerStep = 32;
    for (int i = 1; i <= kDocuments; ++i) {
        drop(QStringLiteral("%1.s2c").arg(i), newOrder(i));
    }
    struct Seen {
        int answers;
        int settled;  // taken files gone again
    };
    std::vector<Seen> seen;
    int taken = 0;
    pump.onPump = [&] {
        const int left = countIn(inbound, QStringLiteral("*.s2c"));
        const int claimed = claimedFiles();
        taken = kDocuments - left;
        seen.push_back({answers(), taken - claimed});
    };
    run();

    EXPECT_EQ(answers(), kDocuments);
    EXPECT_EQ(claimedFiles(), 0);
    EXPECT_THAT(openRecords(), IsEmpty());
    EXPECT_THAT(errors.messages, IsEmpty());
    seen.push_back({answers(), kDocuments});
    ASSERT_GE(seen.size(), static_cast<std::size_t>(kDocuments));
    for (std::size_t i = 1; i < seen.size(); ++i) {
        EXPECT_LE(seen[i].answers - seen[i - 1].answers, 1) << "between pumps " << i - 1 << " and " << i;
        EXPECT_LE(seen[i].settled - seen[i - 1].settled, kMostPerStep)
            << "between pumps " << i - 1 << " and " << i;
    }
    // settled as the cycle goes: by the last answer, nearly all earlier ones are settled
    const auto lastAnswer =
        std::find_if(seen.begin(), seen.end(), [](const Seen& s) { return s.answers == kDocuments; });
    ASSERT_NE(lastAnswer, seen.end());
    EXPECT_GE(lastAnswer->settled, kDocuments - 2 * kMostPerStep);
}

// Files taken by an earlier run whose records were done go at the first cycle, a slice at a time.
TEST_F(CycleSteps, LeftoversOfAnEarlierRunGoInSlices) {
    constexpr int kLeftovers = 3000;
    constexpr int kMostPerStep = 64;
    const ClaimedNames names(journalPath());
    for (int i = 0; i < kLeftovers; ++i) {
        QFile f(names.pathFor(inbound, QStringLiteral("old-%1.s2c").arg(i)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    for (int i = 1; i <= 5; ++i) {
        drop(QStringLiteral("%1.s2c").arg(i), newOrder(i));
    }
    ASSERT_EQ(claimedFiles(), kLeftovers);

    std::vector<int> left{kLeftovers};
    pump.onPump = [&] { left.push_back(claimedFiles()); };
    run();
    left.push_back(claimedFiles());
    EXPECT_EQ(claimedFiles(), 0);
    EXPECT_EQ(answers(), 5);
    for (std::size_t i = 1; i < left.size(); ++i) {
        EXPECT_LE(left[i - 1] - left[i], kMostPerStep) << "between pumps " << i - 1 << " and " << i;
    }
}

// A stop asked for during that clean-up ends the cycle in order within a slice, and the next run goes
// on where this one stopped; a stop asked for while documents are taken ends the cycle after the
// document in hand.
TEST_F(CycleSteps, AStopEndsTheCycleInOrderAtItsNextStep) {
    constexpr int kLeftovers = 3000;
    const ClaimedNames names(journalPath());
    for (int i = 0; i < kLeftovers; ++i) {
        QFile f(names.pathFor(inbound, QStringLiteral("old-%1.s2c").arg(i)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    pump.onPump = [&] { pump.stop = true; };  // asked at the first pump
    run();
    EXPECT_GE(claimedFiles(), kLeftovers - 64);
    EXPECT_THAT(errors.messages, IsEmpty());

    for (int i = 1; i <= 5; ++i) {
        drop(QStringLiteral("%1.s2c").arg(i), newOrder(i));
    }
    pump.onPump = nullptr;
    pump.stop = false;
    run();
    EXPECT_EQ(claimedFiles(), 0);
    EXPECT_EQ(answers(), 5);

    for (int i = 6; i <= 10; ++i) {
        drop(QStringLiteral("%1.s2c").arg(i), newOrder(i));
    }
    pump.onPump = [&] { pump.stop = true; };
    run();
    EXPECT_EQ(answers(), 6);  // the one in hand when the stop came
    EXPECT_EQ(countIn(inbound, QStringLiteral("*.s2c")), 4);
    EXPECT_EQ(claimedFiles(), 0);
    EXPECT_THAT(openRecords(), IsEmpty());
    EXPECT_THAT(errors.messages, IsEmpty());
}

// A name as long as the folder takes is taken under a name of the link's own that fits, handled and
// answered once, also when the run stops after the take and the next run recovers it.
TEST_F(CycleSteps, TheLongestNamesAreTakenAndAnsweredOnce) {
    const QString ascii = QString(251, u'L') + QStringLiteral(".s2c");
    const QString multiByte = QString(125, QChar(0xE9)) + QStringLiteral("x.s2c");
    ASSERT_EQ(ascii.toUtf8().size(), 255);
    ASSERT_EQ(multiByte.toUtf8().size(), 255);
    for (const bool stopAfterTheTake : {false, true}) {
        SCOPED_TRACE(stopAfterTheTake ? "stopped after the take" : "in one run");
        handlers.newOrders.clear();
        drop(ascii, newOrder(1));
        drop(multiByte, newOrder(2));
        if (stopAfterTheTake) {
            run([](CyclePoint point) {
                if (point == CyclePoint::AfterDelete) {
                    throw CycleInterrupted{};
                }
            });
            EXPECT_EQ(claimedFiles(), 1);
            EXPECT_THAT(openRecords(), ElementsAre(::testing::AnyOf(ascii, multiByte)));
        }
        run();
        EXPECT_THAT(handlers.newOrders, ::testing::UnorderedElementsAre(ascii, multiByte));
        const QString asciiAnswer =
            outbound + u'/' + QString(ascii).replace(QStringLiteral(".s2c"), QStringLiteral(".c2s"));
        const QString multiAnswer =
            outbound + u'/' + QString(multiByte).replace(QStringLiteral(".s2c"), QStringLiteral(".c2s"));
        EXPECT_EQ(readAll(asciiAnswer), bob(1));
        EXPECT_EQ(readAll(multiAnswer), bob(2));
        EXPECT_EQ(answers(), 2);
        EXPECT_EQ(claimedFiles(), 0);
        EXPECT_FALSE(exists(inbound + u'/' + ascii));
        EXPECT_FALSE(exists(inbound + u'/' + multiByte));
        EXPECT_THAT(openRecords(), IsEmpty());
        EXPECT_THAT(errors.messages, IsEmpty());
        QFile::remove(asciiAnswer);
        QFile::remove(multiAnswer);
    }
}

// A move under the link's own name that the folder can never make is a refusal for good: answered
// "WOB" once, moved out of the folder, said once; the cycles after it do not see it again.
TEST_F(CycleSteps, ANameTheFolderCannotTakeIsRefusedOnceAndMoved) {
    drop(QStringLiteral("4711.s2c"), newOrder(4711));
    const auto tooLong = [](const QString& path, const QString& claimedPath) {
        return claimDeliveredFile(path, claimedPath + QString(300, u'x'));  // the kernel says no
    };
    for (int cycle = 0; cycle < 3; ++cycle) {
        TemporaryKeys keys(clock);
        DocumentJournal journal(journalPath(), keys);
        ImportEngine engine({settings, packet, log, errors, pump, clock}, handlers, &journal);
        engine.claimInboundFile = tooLong;
        engine.CheckXMLfiles();
    }
    EXPECT_THAT(handlers.newOrders, IsEmpty());
    EXPECT_EQ(
        readAll(outbound + QStringLiteral("/4711.c2s")),
        QByteArray(
            "<?xml version=\"1.0\"?>\r\n<w2w version=\"1.0\">\r\n<c2s>\r\n<kind>WOB</kind>\r\n<id>4711</id>"
            "\r\n</c2s>\r\n</w2w>\r\n"));
    EXPECT_TRUE(exists(inbound + QStringLiteral("/Geweigerd/4711.s2c")));
    EXPECT_FALSE(exists(inbound + QStringLiteral("/4711.s2c")));
    ASSERT_EQ(log.lines.size(), 2) << log.lines.join(u'\n').toStdString();
    EXPECT_TRUE(log.lines[0].contains(QStringLiteral("File name too long"))) << log.lines[0].toStdString();
    EXPECT_EQ(log.lines[1],
              QStringLiteral("07-01-2011 11:46:42 - W2W XML: Het geweigerde bestand \"%1/4711.s2c\" is "
                             "verplaatst naar \"%1/Geweigerd/4711.s2c\"")
                  .arg(inbound));
    EXPECT_THAT(openRecords(), IsEmpty());
    EXPECT_THAT(errors.messages, IsEmpty());
}

}  // namespace
}  // namespace vk::w2w
