#include "platform/Clock.h"
#include "platform/FileNames.h"
#include "support/TempFolder.h"
#include "w2w/DocumentJournal.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace vk::w2w {
namespace {

class Journal : public ::testing::Test {
protected:
    QStringList open(const DocumentJournal& journal) const {
        QStringList names;
        for (const JournalRecord& r : journal.pending()) {
            names << r.entryName + (r.refused ? QStringLiteral("!") : QString());
        }
        return names;
    }
    test::TempFolder dir;
    QString path = dir.file(QStringLiteral(".vk-journaal"));
    SystemClock clock;
    TemporaryKeys keys{clock};
};

// What a run writes, the next run reads back: every field, the refusal, the order of taking, and
// numbers that go on where the file left them.
TEST_F(Journal, RecordsComeBackAsTheyWereWritten) {
    const QString oddName = decodeFileName("caf\xE9.s2c");
    {
        DocumentJournal journal(path, keys);
        JournalRecord a =
            journal.add(QStringLiteral("a.s2c"), QStringLiteral("<kind>ADD</kind>\r\nMevr. Ünal"),
                        QStringLiteral("ADD"), 4711);
        JournalRecord b = journal.add(oddName, QStringLiteral("<kind>UPD</kind>"), QStringLiteral("UPD"), -3);
        JournalRecord c = journal.add(QStringLiteral("c.s2c"), QString(), QStringLiteral("ADD"), 7);
        journal.markRefused(b);
        journal.remove(c);
        const std::vector<JournalRecord> left = journal.pending();
        ASSERT_EQ(left.size(), 2u);
        EXPECT_EQ(left[0].packetText, a.packetText);
        EXPECT_EQ(left[0].key, a.key);
        EXPECT_EQ(left[0].orderNumber, 4711);
        EXPECT_EQ(encodeFileName(left[1].entryName), QByteArray("caf\xE9.s2c"));
        EXPECT_EQ(left[1].orderNumber, -3);
        EXPECT_TRUE(left[1].refused);
    }
    DocumentJournal next(path, keys);
    EXPECT_EQ(open(next), (QStringList{QStringLiteral("a.s2c"), oddName + u'!'}));
    const JournalRecord d = next.add(QStringLiteral("d.s2c"), QString(), QStringLiteral("ADD"), 8);
    EXPECT_GT(d.id, next.pending()[1].id) << "numbers go on after those in the file";
}

// A write that a stop cut off leaves a line that is passed over; what comes after it counts.
TEST_F(Journal, AHalfWrittenLineIsPassedOver) {
    DocumentJournal journal(path, keys);
    journal.add(QStringLiteral("a.s2c"), QStringLiteral("x"), QStringLiteral("ADD"), 1);
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write("\n+ 2 YS5zMmM= QUR");  // no end
    }
    journal.add(QStringLiteral("b.s2c"), QStringLiteral("y"), QStringLiteral("ADD"), 2);
    EXPECT_EQ(open(journal), (QStringList{QStringLiteral("a.s2c"), QStringLiteral("b.s2c")}));
}

// With nothing in flight the file is empty; with a record that stays open it is written anew
// before it grows large, the open record kept.
TEST_F(Journal, TheFileStaysSmall) {
    DocumentJournal journal(path, keys);
    JournalRecord one = journal.add(QStringLiteral("a.s2c"), QStringLiteral("x"), QStringLiteral("ADD"), 1);
    journal.remove(one);
    EXPECT_EQ(QFileInfo(path).size(), 0);

    JournalRecord stuck =
        journal.add(QStringLiteral("vast.s2c"), QStringLiteral("x"), QStringLiteral("ADD"), 2);
    journal.markRefused(stuck);
    const QString big(64 * 1024, u'p');
    for (int i = 0; i < 200; ++i) {
        journal.remove(journal.add(QStringLiteral("%1.s2c").arg(i), big, QStringLiteral("ADD"), i));
    }
    EXPECT_LT(QFileInfo(path).size(), DocumentJournal::kCompactAbove + 200 * 1024);
    EXPECT_EQ(open(journal), QStringList{QStringLiteral("vast.s2c!")});
    journal.remove(stuck);
    EXPECT_TRUE(journal.pending().empty());
}

}  // namespace
}  // namespace vk::w2w
