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

// A stop can cut a write anywhere: a record cut at any length is passed over as never written
// (its inbound file is still there), and the records before and after it count.
TEST_F(Journal, ARecordCutAtAnyLengthIsNeverWritten) {
    QByteArray whole;
    qsizetype entryStart = 0;
    {
        DocumentJournal journal(path, keys);
        journal.add(QStringLiteral("a.s2c"), QStringLiteral("<kind>ADD</kind><id>1</id>"),
                    QStringLiteral("ADD"), 1);
        entryStart = QFileInfo(path).size();
        journal.add(QStringLiteral("b.s2c"), QStringLiteral("<kind>ADD</kind><id>2</id> Mevr. Ünal"),
                    QStringLiteral("ADD"), 2);
        whole = test::readAll(path);
    }
    // the record line ends before the entry's last byte (its line end)
    const qsizetype recordEnd = whole.size() - 1;
    for (qsizetype cut = entryStart; cut <= whole.size(); ++cut) {
        {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(whole.left(cut));
        }
        DocumentJournal journal(path, keys);
        const QStringList expected = cut >= recordEnd
                                         ? QStringList{QStringLiteral("a.s2c"), QStringLiteral("b.s2c")}
                                         : QStringList{QStringLiteral("a.s2c")};
        ASSERT_EQ(open(journal), expected) << "cut after " << cut - entryStart << " bytes of the entry";
        // and the journal goes on after the cut as before
        journal.add(QStringLiteral("c.s2c"), QStringLiteral("x"), QStringLiteral("ADD"), 3);
        ASSERT_EQ(open(journal).last(), QStringLiteral("c.s2c"));
    }
}

// A record whose bytes changed after it was written is not taken for the document.
TEST_F(Journal, ARecordWithAChangedByteIsPassedOver) {
    {
        DocumentJournal journal(path, keys);
        for (const char* name : {"a.s2c", "b.s2c", "c.s2c"}) {
            journal.add(QString::fromLatin1(name), QStringLiteral("<kind>ADD</kind><id>7</id>"),
                        QStringLiteral("ADD"), 7);
        }
    }
    QByteArray bytes = test::readAll(path);
    const qsizetype b = bytes.indexOf("\n+ 2 ");
    ASSERT_GT(b, 0);
    bytes[b + 12] = bytes[b + 12] == 'A' ? 'B' : 'A';
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
    f.close();
    const DocumentJournal journal(path, keys);
    EXPECT_EQ(open(journal), (QStringList{QStringLiteral("a.s2c"), QStringLiteral("c.s2c")}));
}

// A done-mark cut short ("- 12 ..." as "- 1") never ends another record: the record stays open,
// and a later run comes to its outcome again.
TEST_F(Journal, ACutMarkEndsNothing) {
    QByteArray before, whole;
    {
        DocumentJournal journal(path, keys);
        std::vector<JournalRecord> records;
        for (int i = 1; i <= 12; ++i) {
            records.push_back(
                journal.add(QStringLiteral("%1.s2c").arg(i), QStringLiteral("x"), QStringLiteral("ADD"), i));
        }
        for (int i = 1; i < 11; ++i) {
            journal.remove(records[static_cast<std::size_t>(i)]);
        }
        journal.markRefused(records[0]);
        before = test::readAll(path);
        journal.remove(records[11]);
        whole = test::readAll(path);
    }
    for (qsizetype cut = before.size(); cut < whole.size(); ++cut) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(whole.left(cut));
        f.close();
        const DocumentJournal journal(path, keys);
        const bool markWhole = cut >= whole.size() - 1;
        const QStringList expected = markWhole
                                         ? QStringList{QStringLiteral("1.s2c!")}
                                         : QStringList{QStringLiteral("1.s2c!"), QStringLiteral("12.s2c")};
        EXPECT_EQ(open(journal), expected) << "cut after " << cut - before.size() << " bytes of the mark";
    }
}

// A journal that the earlier version of the link wrote (no check lines, marks without CRC) is
// read as before, and this version goes on writing after it.
TEST_F(Journal, AJournalOfTheEarlierFormatIsReadAsBefore) {
    const auto fields = [](const char* name, int order) {
        return QByteArray(name).toBase64() + ' ' + QByteArray("ADD").toBase64() + ' ' +
               QByteArray::number(order) + ' ' + QByteArray("P2011110709050300017").toBase64() + ' ' +
               QByteArray("<kind>ADD</kind>").toBase64();
    };
    dir.write(QStringLiteral(".vk-journaal"), "\n+ 1 " + fields("a.s2c", 1) + "\n\n+ 2 " +
                                                  fields("b.s2c", 2) + "\n\nR 2\n\n+ 3 " +
                                                  fields("c.s2c", 3) + "\n\n- 1\n");
    DocumentJournal journal(path, keys);
    const std::vector<JournalRecord> left = journal.pending();
    ASSERT_EQ(open(journal), (QStringList{QStringLiteral("b.s2c!"), QStringLiteral("c.s2c")}));
    EXPECT_EQ(left[1].key, QStringLiteral("P2011110709050300017"));
    EXPECT_EQ(left[1].orderNumber, 3);
    const JournalRecord d =
        journal.add(QStringLiteral("d.s2c"), QStringLiteral("x"), QStringLiteral("ADD"), 4);
    EXPECT_EQ(d.id, 4);
    journal.remove(left[1]);
    EXPECT_EQ(open(journal), (QStringList{QStringLiteral("b.s2c!"), QStringLiteral("d.s2c")}));
}

// The note of an answer about to be put in place, and where the inbound file was moved to take it,
// come back with the record, also after the journal was written anew.
TEST_F(Journal, AnAnswerNoteComesBackWithItsRecord) {
    DocumentJournal journal(path, keys);
    JournalRecord a = journal.add(QStringLiteral("a.s2c"), QStringLiteral("x"), QStringLiteral("ADD"), 1,
                                  decodeFileName("/in/.a.s2c.vk-\xE9"));
    journal.noteAnswer(a, AnswerNote{dir.file(QStringLiteral(".vk-tmp-abc")),
                                     dir.file(QStringLiteral("a.c2s")), "boot-1", QStringLiteral("BOB")});
    const auto check = [&] {
        const std::vector<JournalRecord> left = journal.pending();
        ASSERT_EQ(left.size(), 1u);
        ASSERT_TRUE(left[0].answer.has_value());
        EXPECT_EQ(left[0].answer->temporaryPath, dir.file(QStringLiteral(".vk-tmp-abc")));
        EXPECT_EQ(left[0].answer->finalPath, dir.file(QStringLiteral("a.c2s")));
        EXPECT_EQ(left[0].answer->bootId, QByteArray("boot-1"));
        EXPECT_EQ(left[0].answer->kind, QStringLiteral("BOB"));
        EXPECT_EQ(encodeFileName(left[0].claimedPath), QByteArray("/in/.a.s2c.vk-\xE9"));
        EXPECT_EQ(journal.notedAnswerFiles(), QSet<QString>{dir.file(QStringLiteral(".vk-tmp-abc"))});
    };
    check();
    const QString big(64 * 1024, u'p');
    for (int i = 0; i < 100; ++i) {
        journal.remove(journal.add(QStringLiteral("%1.s2c").arg(i), big, QStringLiteral("ADD"), i));
    }
    EXPECT_LT(QFileInfo(path).size(), DocumentJournal::kCompactAbove) << "written anew";
    check();
}

}  // namespace
}  // namespace vk::w2w
