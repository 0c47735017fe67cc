#include "platform/Errors.h"
#include "settings/Settings.h"
#include "support/ParamName.h"
#include "support/Ports.h"
#include "support/TempFolder.h"
#include "w2w/ImportEngine.h"
#include "w2w/ScriptedHandlers.h"

#include <QDir>
#include <QProcess>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <functional>

namespace vk::w2w {
namespace {

using vk::test::PrintTo;

using test::exists;
using test::readAll;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

using test::ScriptedHandlers;

QByteArray document(const QByteArray& kind, const QByteArray& id) {
    return "<?xml version=\"1.0\"?>\n<w2w version=\"1.0\">\n<s2c>\n<kind>" + kind + "</kind>\n<id>" + id +
           "</id>\n</s2c>\n</w2w>\n";
}

QByteArray acknowledgement(const QByteArray& kind, const QByteArray& id) {
    return "<?xml version=\"1.0\"?>\r\n<w2w version=\"1.0\">\r\n<c2s>\r\n<kind>" + kind + "</kind>\r\n<id>" +
           id + "</id>\r\n</c2s>\r\n</w2w>\r\n";
}

class ImportCycle : public ::testing::Test {
protected:
    ImportCycle() {
        inbound = root.mkdir(QStringLiteral("W2W/S2C"));
        backups = root.mkdir(QStringLiteral("W2W/S2C/Backups"));
        outbound = root.mkdir(QStringLiteral("W2W/C2S"));
        settings.setText(Setting::w2wInkomende, inbound);
        settings.setText(Setting::w2wUitgaande, outbound);
    }

    QString drop(const QString& name, const QByteArray& bytes) {
        return writeFile(inbound + u'/' + name, bytes);
    }
    static QString writeFile(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    QString in(const QString& name) const { return inbound + u'/' + name; }
    QString out(const QString& name) const { return outbound + u'/' + name; }
    QString backup(const QString& name) const { return backups + u'/' + name; }
    QString handledLine(const QString& kind, const QString& name) const {
        return QStringLiteral("07-01-2011 11:46:42 Verbinding W2W %1 XML: %2/%3").arg(kind, inbound, name);
    }
    static QString errorLine(const QString& message) {
        return QStringLiteral("07-01-2011 11:46:42 - W2W XML: ") + message;
    }
    QStringList outboundFiles() const {
        return QDir(outbound).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    void runCycle() { EXPECT_TRUE(engine.CheckXMLfiles()); }

    test::TempFolder root;
    QString inbound, backups, outbound;
    MemorySettings settings;
    test::RecordingLog log;
    test::RecordingPacket packet;
    test::ReplacingErrorHandler errors{log};
    test::ScriptedPump pump;
    ManualClock clock{QDateTime(QDate(2011, 1, 7), QTime(11, 46, 42))};
    ScriptedHandlers handlers;
    ImportEngine engine{ImportPorts{settings, packet, log, errors, pump, clock}, handlers};
};

TEST_F(ImportCycle, ANewOrderIsLoadedBackedUpDeletedHandledAndLogged) {
    drop(QStringLiteral("4711.s2c"), document("ADD", "4711"));
    runCycle();

    EXPECT_THAT(handlers.newOrders, ElementsAre(QStringLiteral("4711.s2c")));
    EXPECT_THAT(handlers.amendments, IsEmpty());
    EXPECT_FALSE(exists(in(QStringLiteral("4711.s2c"))));
    // the copy is the packet text: CR LF line breaks, ANSI, no mark
    EXPECT_EQ(readAll(backup(QStringLiteral("4711.s2c"))),
              QByteArray(document("ADD", "4711")).replace("\n", "\r\n"));
    EXPECT_EQ(packet.text, QString::fromLatin1(QByteArray(document("ADD", "4711")).replace("\n", "\r\n")));
    EXPECT_EQ(readAll(out(QStringLiteral("4711.c2s"))), acknowledgement("BOB", "4711"));
    EXPECT_THAT(log.lines, ElementsAre(handledLine(QStringLiteral("ADD"), QStringLiteral("4711.s2c"))));
    EXPECT_EQ(pump.calls, 1);
    EXPECT_THAT(errors.messages, IsEmpty());
}

TEST_F(ImportCycle, AnEmptyOrMissingInboundFolderDoesNothing) {
    runCycle();
    settings.setText(Setting::w2wInkomende, root.file(QStringLiteral("nowhere")));
    runCycle();
    settings.setText(Setting::w2wInkomende, QString());
    runCycle();
    EXPECT_THAT(log.lines, IsEmpty());
    EXPECT_THAT(outboundFiles(), IsEmpty());
    EXPECT_EQ(pump.calls, 0);
}

struct KindCase {
    const char* name;
    QByteArray kindElement;  // the whole element, or nothing
    QString loggedKind;
    int newOrders;
    int amendments;
};

class DocumentKinds : public ImportCycle, public ::testing::WithParamInterface<KindCase> {};

TEST_P(DocumentKinds, OnlyAddAndUpdAreHandledEveryKindIsLogged) {
    const auto& c = GetParam();
    drop(QStringLiteral("d.s2c"), "<w2w>" + c.kindElement + "<id>5</id></w2w>");
    runCycle();
    EXPECT_EQ(handlers.newOrders.size(), c.newOrders);
    EXPECT_EQ(handlers.amendments.size(), c.amendments);
    EXPECT_FALSE(exists(in(QStringLiteral("d.s2c"))));
    EXPECT_TRUE(exists(backup(QStringLiteral("d.s2c"))));
    EXPECT_EQ(outboundFiles().size(), c.newOrders + c.amendments);
    EXPECT_THAT(log.lines, ElementsAre(handledLine(c.loggedKind, QStringLiteral("d.s2c"))));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, DocumentKinds,
    ::testing::Values(KindCase{"ADD", "<kind>ADD</kind>", QStringLiteral("ADD"), 1, 0},
                      KindCase{"UPD", "<kind>UPD</kind>", QStringLiteral("UPD"), 0, 1},
                      KindCase{"DEL", "<kind>DEL</kind>", QStringLiteral("DEL"), 0, 0},
                      KindCase{"lower_add", "<kind>add</kind>", QStringLiteral("add"), 0, 0},
                      KindCase{"spaced", "<kind> ADD</kind>", QStringLiteral(" ADD"), 0, 0},
                      KindCase{"absent", "", QString(), 0, 0}),
    test::ParamName());

TEST_F(ImportCycle, NamesMatchWithoutLetterCaseAndTheAnswerGetsALowerCaseExtension) {
    drop(QStringLiteral("ORDER.S2C"), document("ADD", "1"));
    drop(QStringLiteral("Mixed.S2c"), document("ADD", "2"));
    drop(QStringLiteral("other.xml"), document("ADD", "3"));
    drop(QStringLiteral("other.s2cx"), document("ADD", "4"));
    runCycle();
    EXPECT_EQ(outboundFiles(), (QStringList{QStringLiteral("Mixed.c2s"), QStringLiteral("ORDER.c2s")}));
    EXPECT_TRUE(exists(in(QStringLiteral("other.xml"))));
    EXPECT_TRUE(exists(in(QStringLiteral("other.s2cx"))));
    EXPECT_EQ(readAll(out(QStringLiteral("ORDER.c2s"))), acknowledgement("BOB", "1"));
}

TEST_F(ImportCycle, TheBackupFolderIsFoundWithoutRegardToLetterCase) {
    for (const QString& name : {QStringLiteral("backups"), QStringLiteral("BACKUPS")}) {
        QDir(backups).removeRecursively();
        backups = root.mkdir(QStringLiteral("W2W/S2C/") + name);
        drop(QStringLiteral("a.s2c"), document("DEL", "1"));
        runCycle();
        EXPECT_TRUE(exists(backup(QStringLiteral("a.s2c")))) << name.toStdString();
        EXPECT_FALSE(exists(in(QStringLiteral("a.s2c"))));
    }
}

// An inbound folder made anew without its "BACKUPS" folder gets one at the next cycle. Where it
// cannot be made, the files stay, unanswered, with one line each, until it can.
TEST_F(ImportCycle, AMissingBackupFolderIsMadeAtTheNextCycle) {
    QDir(backups).removeRecursively();
    drop(QStringLiteral("4711.s2c"), document("ADD", "4711"));
    runCycle();
    EXPECT_EQ(readAll(out(QStringLiteral("4711.c2s"))), acknowledgement("BOB", "4711"));
    EXPECT_EQ(readAll(in(QStringLiteral("Backups/4711.s2c"))), document("ADD", "4711").replace("\n", "\r\n"));
    EXPECT_THAT(
        log.lines,
        ElementsAre(
            errorLine(
                QStringLiteral("De map \"%1/Backups\" voor de kopieën ontbrak en is gemaakt").arg(inbound)),
            handledLine(QStringLiteral("ADD"), QStringLiteral("4711.s2c"))));
}

TEST_F(ImportCycle, WhileNoBackupFolderCanBeMadeEveryFileStaysUnansweredWithOneLine) {
    QDir(backups).removeRecursively();
    writeFile(backups, "a file in the way");
    drop(QStringLiteral("4711.s2c"), document("ADD", "4711"));
    for (int cycle = 1; cycle <= 3; ++cycle) {
        runCycle();
    }
    EXPECT_TRUE(exists(in(QStringLiteral("4711.s2c"))));
    EXPECT_THAT(outboundFiles(), IsEmpty());
    EXPECT_THAT(handlers.newOrders, IsEmpty());
    EXPECT_THAT(log.lines,
                ElementsAre(errorLine(
                    QStringLiteral("Cannot create file \"%1/Backups/4711.s2c\". Not a directory; het "
                                   "bestand blijft staan en wordt verwerkt zodra dat kan")
                        .arg(inbound))));

    QFile::remove(backups);
    runCycle();
    EXPECT_FALSE(exists(in(QStringLiteral("4711.s2c"))));
    EXPECT_TRUE(exists(backup(QStringLiteral("4711.s2c"))));
    EXPECT_EQ(readAll(out(QStringLiteral("4711.c2s"))), acknowledgement("BOB", "4711"));
}

// The cycle never makes the exchange folders themselves: a missing one may be a share that is not
// mounted. Without the outbound folder no document is taken (none could be answered), with one line
// until it is back; without the inbound folder nothing happens and nothing is said.
TEST_F(ImportCycle, AMissingExchangeFolderIsNotMade) {
    QDir(outbound).removeRecursively();
    drop(QStringLiteral("a.s2c"), document("ADD", "1"));
    for (int cycle = 0; cycle < 3; ++cycle) {
        runCycle();
    }
    EXPECT_FALSE(QFileInfo::exists(outbound));
    EXPECT_TRUE(exists(in(QStringLiteral("a.s2c"))));
    EXPECT_THAT(handlers.newOrders, IsEmpty());
    EXPECT_THAT(log.lines,
                ElementsAre(errorLine(QStringLiteral("De map voor uitgaande bestanden \"%1\" is er niet; de "
                                                     "koppeling neemt geen documenten aan tot die er weer is")
                                          .arg(outbound))));
    root.mkdir(QStringLiteral("W2W/C2S"));
    runCycle();
    EXPECT_EQ(readAll(out(QStringLiteral("a.c2s"))), acknowledgement("BOB", "1"));

    QDir(inbound).removeRecursively();
    runCycle();
    EXPECT_FALSE(QFileInfo::exists(inbound));
    EXPECT_EQ(log.lines.size(), 2);
}

TEST_F(ImportCycle, AFileRefusedAfterItsDeletionLeavesItsCopyAWobAndOneErrorLine) {
    handlers.onNewOrder = [](CurrentDocument&) {
        throw ConvertError(QStringLiteral("Invalid argument to date encode"));
    };
    drop(QStringLiteral("4711.s2c"), document("ADD", " 4711 "));
    runCycle();
    EXPECT_FALSE(exists(in(QStringLiteral("4711.s2c"))));
    EXPECT_TRUE(exists(backup(QStringLiteral("4711.s2c"))));
    EXPECT_EQ(readAll(out(QStringLiteral("4711.c2s"))), acknowledgement("WOB", " 4711 "));
    EXPECT_THAT(log.lines, ElementsAre(errorLine(QStringLiteral("Invalid argument to date encode"))));
}

TEST_F(ImportCycle, AHandlerThatCatchesItsOwnErrorIsFollowedByTheHandledLine) {
    handlers.onAmendment = [](CurrentDocument& e) { e.logError(QStringLiteral("schrijven mislukt")); };
    drop(QStringLiteral("9.s2c"), document("UPD", "9"));
    runCycle();
    EXPECT_THAT(log.lines, ElementsAre(errorLine(QStringLiteral("schrijven mislukt")),
                                       handledLine(QStringLiteral("UPD"), QStringLiteral("9.s2c"))));
    EXPECT_THAT(outboundFiles(), IsEmpty());
}

TEST_F(ImportCycle, AnErrorOfAnotherTypeIsRefusedLikeOurs) {
    handlers.onNewOrder = [](CurrentDocument&) { throw std::runtime_error("driver fault"); };
    handlers.onAmendment = [](CurrentDocument&) { throw 42; };
    drop(QStringLiteral("1.s2c"), document("ADD", "1"));
    drop(QStringLiteral("2.s2c"), document("UPD", "2"));
    runCycle();
    EXPECT_EQ(readAll(out(QStringLiteral("1.c2s"))), acknowledgement("WOB", "1"));
    EXPECT_EQ(readAll(out(QStringLiteral("2.c2s"))), acknowledgement("WOB", "2"));
    EXPECT_TRUE(log.lines.contains(errorLine(QStringLiteral("driver fault"))));
    EXPECT_EQ(log.lines.size(), 2);
}

TEST_F(ImportCycle, AWobThatCannotBeWrittenEndsTheCycleThroughTheGeneralErrorHandler) {
    handlers.onNewOrder = [](CurrentDocument&) {
        throw ConvertError(QStringLiteral("Invalid argument to time encode"));
    };
    drop(QStringLiteral("a.s2c"), document("ADD", "1"));
    drop(QStringLiteral("b.s2c"), document("ADD", "2"));
    // the outbound folder goes while the first document is handled
    pump.onPump = [&] { QDir(outbound).removeRecursively(); };
    runCycle();
    // one file was taken up; its refusal failed and the rest of the folder waits
    EXPECT_EQ(handlers.newOrders.size(), 1);
    const QString first = handlers.newOrders.first();
    const QString second = first == u"a.s2c" ? QStringLiteral("b.s2c") : QStringLiteral("a.s2c");
    EXPECT_TRUE(exists(in(second)));
    EXPECT_EQ(log.replacements, 1);
    ASSERT_EQ(errors.messages.size(), 1);
    EXPECT_EQ(errors.messages.first(),
              QStringLiteral("Cannot create file \"%1/%2\". No such file or directory")
                  .arg(outbound, QString(first).replace(QStringLiteral(".s2c"), QStringLiteral(".c2s"))));
    EXPECT_THAT(log.lines, ElementsAre(errors.messages.first()));
    EXPECT_FALSE(engine.cycleRunning());

    // the next cycle takes up the rest
    pump.onPump = nullptr;
    root.mkdir(QStringLiteral("W2W/C2S"));
    handlers.onNewOrder = nullptr;
    runCycle();
    EXPECT_EQ(readAll(out(QString(second).replace(QStringLiteral(".s2c"), QStringLiteral(".c2s")))),
              acknowledgement("BOB", second == u"a.s2c" ? "1" : "2"));
}

TEST_F(ImportCycle, ATimerTickWhileMessagesArePumpedDoesNotStartANestedCycle) {
    for (int i = 0; i < 5; ++i) {
        drop(QStringLiteral("%1.s2c").arg(i), document("ADD", QByteArray::number(i)));
    }
    int nested = 0;
    pump.onPump = [&] {
        EXPECT_TRUE(engine.cycleRunning());
        EXPECT_TRUE(engine.CheckXMLfiles());
        ++nested;
    };
    runCycle();
    EXPECT_EQ(nested, 5);
    EXPECT_EQ(handlers.newOrders.size(), 5);
    EXPECT_EQ(log.lines.size(), 5);
    EXPECT_EQ(outboundFiles().size(), 5);
}

TEST_F(ImportCycle, SettingsChangedDuringACycleTakeEffectAtTheNext) {
    const QString otherOut = root.mkdir(QStringLiteral("other"));
    drop(QStringLiteral("a.s2c"), document("ADD", "1"));
    drop(QStringLiteral("b.s2c"), document("ADD", "2"));
    pump.onPump = [&] { settings.setText(Setting::w2wUitgaande, otherOut); };
    runCycle();
    EXPECT_EQ(outboundFiles().size(), 2);
    EXPECT_THAT(QDir(otherOut).entryList(QDir::Files), IsEmpty());
}

// A second program that still writes the file: the file waits, unanswered, with one line however
// many cycles pass, and is handled once it is closed.
TEST_F(ImportCycle, AFileStillBeingWrittenStaysUntilItIsComplete) {
    const QString path = drop(QStringLiteral("4711.s2c"), document("ADD", "4711"));
    QProcess writer;
    writer.start(QStringLiteral("/bin/sh"),
                 {QStringLiteral("-c"), QStringLiteral("exec 3>>\"$1\"; echo open; exec sleep 30"),
                  QStringLiteral("sh"), path});
    ASSERT_TRUE(writer.waitForReadyRead(10000));
    runCycle();
    runCycle();
    EXPECT_TRUE(exists(path));
    EXPECT_THAT(outboundFiles(), IsEmpty());
    EXPECT_THAT(log.lines,
                ElementsAre(errorLine(
                    QStringLiteral("Het bestand \"%1\" kan niet geopend worden. Een ander programma "
                                   "schrijft nog in het bestand; het bestand blijft staan en wordt "
                                   "verwerkt zodra dat kan")
                        .arg(path))));

    writer.kill();
    writer.waitForFinished(10000);
    runCycle();
    EXPECT_FALSE(exists(path));
    EXPECT_EQ(readAll(out(QStringLiteral("4711.c2s"))), acknowledgement("BOB", "4711"));
}

TEST_F(ImportCycle, ARefusalOfAnUnreadableFileDoesNotCarryTheNumberOfTheLastPacket) {
    drop(QStringLiteral("1.s2c"), document("ADD", "1"));
    runCycle();
    root.mkdir(QStringLiteral("W2W/S2C/x.s2c"));
    runCycle();
    EXPECT_EQ(readAll(out(QStringLiteral("x.c2s"))), acknowledgement("WOB", ""));
    EXPECT_TRUE(QFileInfo(in(QStringLiteral("Geweigerd/x.s2c"))).isDir());
    EXPECT_EQ(packet.text, QString::fromLatin1(QByteArray(document("ADD", "1")).replace("\n", "\r\n")));
    EXPECT_TRUE(log.lines.contains(
        errorLine(QStringLiteral("Het bestand \"%1\" kan niet geopend worden. Is a directory")
                      .arg(in(QStringLiteral("x.s2c"))))));
}

// Another link on the same folder took the file between the listing and the load: it is that
// link's to answer.
TEST_F(ImportCycle, AFileGoneBeforeItsLoadIsNotAnswered) {
    drop(QStringLiteral("a.s2c"), document("ADD", "1"));
    drop(QStringLiteral("b.s2c"), document("ADD", "2"));
    pump.onPump = [&] {
        QFile::remove(in(QStringLiteral("a.s2c")));
        QFile::remove(in(QStringLiteral("b.s2c")));
    };
    runCycle();
    ASSERT_EQ(handlers.newOrders.size(), 1);
    const QString gone = handlers.newOrders.first() == u"a.s2c" ? QStringLiteral("b") : QStringLiteral("a");
    EXPECT_FALSE(exists(out(gone + QStringLiteral(".c2s"))));
    EXPECT_EQ(outboundFiles().size(), 1);
    EXPECT_TRUE(log.lines.contains(errorLine(
        QStringLiteral("Het bestand \"%1\" was al weg toen de koppeling het wilde lezen (een ander programma "
                       "heeft het opgehaald); het is niet verwerkt en krijgt geen antwoord")
            .arg(in(gone + QStringLiteral(".s2c"))))))
        << log.lines.join(u'\n').toStdString();
    EXPECT_EQ(log.lines.size(), 2);
}

struct BadInput {
    const char* name;
    QByteArray bytes;
    bool refused;        // refused for good, before it could be deleted
    const char* reason;  // what the error line says after the file's name, where it is refused
};

class BadInputFiles : public ImportCycle, public ::testing::WithParamInterface<BadInput> {};

// Nothing is lost and nothing crashes: either the file is refused once and moved out of the way,
// or it is consumed with its copy kept.
TEST_P(BadInputFiles, EndAsTheFailureTableSays) {
    const auto& c = GetParam();
    drop(QStringLiteral("bad.s2c"), c.bytes);
    drop(QStringLiteral("good.s2c"), document("ADD", "7"));
    runCycle();
    runCycle();
    EXPECT_EQ(readAll(out(QStringLiteral("good.c2s"))), acknowledgement("BOB", "7"));
    EXPECT_FALSE(exists(in(QStringLiteral("bad.s2c"))));
    if (c.refused) {
        EXPECT_EQ(readAll(out(QStringLiteral("bad.c2s"))), acknowledgement("WOB", ""));
        EXPECT_EQ(readAll(in(QStringLiteral("Geweigerd/bad.s2c"))), c.bytes);
        EXPECT_THAT(
            log.lines,
            ::testing::UnorderedElementsAre(
                handledLine(QStringLiteral("ADD"), QStringLiteral("good.s2c")),
                errorLine(QString::fromUtf8(c.reason).arg(in(QStringLiteral("bad.s2c")))),
                errorLine(QStringLiteral("Het geweigerde bestand \"%1\" is verplaatst naar \"%2\"")
                              .arg(in(QStringLiteral("bad.s2c")), in(QStringLiteral("Geweigerd/bad.s2c"))))));
    } else {
        EXPECT_TRUE(exists(backup(QStringLiteral("bad.s2c"))));
        EXPECT_FALSE(exists(out(QStringLiteral("bad.c2s"))));
        EXPECT_TRUE(log.lines.contains(handledLine(QString(), QStringLiteral("bad.s2c"))));
        EXPECT_EQ(log.lines.size(), 2);
    }
    EXPECT_EQ(engine.counts().refused, c.refused ? 1 : 0);
    EXPECT_THAT(errors.messages, IsEmpty());
}

QByteArray garbage(int size) {
    QByteArray bytes(size, '\0');
    quint32 x = 2463534242u;
    for (char& b : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<char>(x);
    }
    bytes[0] = 'G';  // not a byte-order mark
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadInputFiles,
    ::testing::Values(BadInput{"binary_garbage", garbage(64 * 1024), false, ""},
                      BadInput{"empty", QByteArray(), false, ""},
                      BadInput{"large", QByteArray(16 * 1024 * 1024, 'x'), false, ""},
                      BadInput{"too_large", QByteArray(16 * 1024 * 1024 + 1, 'x'), true,
                               "Het bestand \"%1\" kan niet geopend worden. Het bestand is 16777217 bytes "
                               "groot; de grens is 16777216 bytes"},
                      BadInput{"invalid_utf8_after_mark", "\xEF\xBB\xBF<kind>\xFF\xFE</kind>", true,
                               "Het bestand \"%1\" kan niet gelezen worden. De inhoud is "
                               "geen geldige UTF-8-tekst"},
                      BadInput{"unclosed_tags", "<kind>ADD<id>1", false, ""}),
    test::ParamName());

// A symbolic link is not followed: the file it points at is neither read nor copied. The link is
// refused once and moved out of the way, its name kept, a number added where that name is taken.
TEST_F(ImportCycle, ASymbolicLinkIsRefusedOnceAndMoved) {
    const QString secret = writeFile(root.file(QStringLiteral("geheim.txt")), "<kind>ADD</kind><id>9</id>");
    root.mkdir(QStringLiteral("W2W/S2C/Geweigerd"));
    writeFile(in(QStringLiteral("Geweigerd/x.s2c")), "refused before");
    ASSERT_TRUE(QFile::link(secret, in(QStringLiteral("x.s2c"))));
    runCycle();
    runCycle();
    EXPECT_FALSE(QFileInfo::exists(in(QStringLiteral("x.s2c"))));
    EXPECT_TRUE(QFileInfo(in(QStringLiteral("Geweigerd/x (2).s2c"))).isSymLink());
    EXPECT_EQ(readAll(in(QStringLiteral("Geweigerd/x.s2c"))), "refused before");
    EXPECT_FALSE(exists(backup(QStringLiteral("x.s2c"))));
    EXPECT_THAT(handlers.newOrders, IsEmpty());
    EXPECT_EQ(readAll(out(QStringLiteral("x.c2s"))), acknowledgement("WOB", ""));
    EXPECT_THAT(
        log.lines,
        ElementsAre(
            errorLine(
                QStringLiteral("Het bestand \"%1\" kan niet geopend worden. Het bestand is een symbolische "
                               "koppeling en wordt niet gevolgd")
                    .arg(in(QStringLiteral("x.s2c")))),
            errorLine(QStringLiteral("Het geweigerde bestand \"%1\" is verplaatst naar \"%2\"")
                          .arg(in(QStringLiteral("x.s2c")), in(QStringLiteral("Geweigerd/x (2).s2c"))))));
}

// Where a refused file cannot be moved, it is answered once and left alone until it changes; a
// changed file is looked at anew.
TEST_F(ImportCycle, ARefusedFileThatCannotBeMovedIsLeftAloneUntilItChanges) {
    writeFile(in(QStringLiteral("Geweigerd")), "a file in the way");
    const QString path = drop(QStringLiteral("bad.s2c"), "\xEF\xBB\xBF\xFF");
    for (int cycle = 1; cycle <= 3; ++cycle) {
        runCycle();
    }
    EXPECT_TRUE(exists(path));
    EXPECT_EQ(readAll(out(QStringLiteral("bad.c2s"))), acknowledgement("WOB", ""));
    EXPECT_EQ(engine.counts().refused, 1);
    ASSERT_EQ(log.lines.size(), 2);
    EXPECT_TRUE(log.lines.last().endsWith(QStringLiteral(
        "; het geweigerde bestand blijft staan en wordt niet opnieuw behandeld zolang het niet "
        "verandert")))
        << log.lines.last().toStdString();

    QFile::remove(out(QStringLiteral("bad.c2s")));
    writeFile(path, document("ADD", "4711"));  // the partner writes it anew
    runCycle();
    EXPECT_FALSE(exists(path));
    EXPECT_EQ(readAll(out(QStringLiteral("bad.c2s"))), acknowledgement("BOB", "4711"));
}

// A file that another reader took between the load and the delete belongs to that reader: no
// handling, no answer (the other reader answers), one line. A file that cannot be deleted is not
// handled either: it stays, unanswered, with one line however many cycles pass.
TEST_F(ImportCycle, ADocumentIsHandledOnlyOnceItsFileHasLeftTheFolder) {
    drop(QStringLiteral("weg.s2c"), document("ADD", "1"));
    drop(QStringLiteral("vast.s2c"), document("ADD", "2"));
    drop(QStringLiteral("goed.s2c"), document("ADD", "3"));
    bool stuck = true;
    engine.removeInboundFile = [&](const QString& path) {
        if (path.endsWith(u"weg.s2c")) {
            QFile::remove(path);
            return false;
        }
        if (stuck && path.endsWith(u"vast.s2c")) {
            throw FileError(
                QStringLiteral("Het bestand \"%1\" kan niet verwijderd worden. Operation not permitted")
                    .arg(path));
        }
        return removeDeliveredFile(path);
    };
    runCycle();
    runCycle();
    EXPECT_THAT(handlers.newOrders, ElementsAre(QStringLiteral("goed.s2c")));
    EXPECT_FALSE(exists(out(QStringLiteral("weg.c2s"))));
    EXPECT_TRUE(log.lines.contains(errorLine(
        QStringLiteral("Het bestand \"%1\" was al weg voordat de koppeling het kon verwijderen (een "
                       "ander programma heeft het opgehaald); het is niet verwerkt en krijgt geen antwoord")
            .arg(in(QStringLiteral("weg.s2c"))))));
    EXPECT_TRUE(exists(in(QStringLiteral("vast.s2c"))));
    EXPECT_FALSE(exists(out(QStringLiteral("vast.c2s"))));
    EXPECT_TRUE(log.lines.contains(errorLine(
        QStringLiteral(
            "Het bestand \"%1\" kan niet verwijderd worden. Operation not permitted; het bestand blijft "
            "staan en wordt verwerkt zodra dat kan")
            .arg(in(QStringLiteral("vast.s2c"))))));
    EXPECT_EQ(engine.counts().handled, 1);
    EXPECT_EQ(engine.counts().refused, 0);
    EXPECT_EQ(log.lines.size(), 3);

    stuck = false;
    runCycle();
    EXPECT_EQ(readAll(out(QStringLiteral("vast.c2s"))), acknowledgement("BOB", "2"));
}

// A name that is not valid UTF-8 is seen and handled like any other: its copy and its answer keep
// the name's bytes, and the log shows it readably.
TEST_F(ImportCycle, ANameThatIsNotValidUtf8IsHandledToo) {
    const QByteArray raw = QFile::encodeName(inbound) + "/caf\xE9-\xFF.s2c";
    {
        const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        ASSERT_GE(fd, 0);
        const QByteArray doc = document("ADD", "4711");
        ASSERT_EQ(::write(fd, doc.constData(), static_cast<size_t>(doc.size())), doc.size());
        ::close(fd);
    }
    runCycle();
    EXPECT_EQ(handlers.newOrders.size(), 1);
    EXPECT_NE(::access(raw.constData(), F_OK), 0) << "the inbound file is deleted";
    const QByteArray answer = QFile::encodeName(outbound) + "/caf\xE9-\xFF.c2s";
    EXPECT_EQ(::access(answer.constData(), F_OK), 0);
    EXPECT_EQ(::access((QFile::encodeName(backups) + "/caf\xE9-\xFF.s2c").constData(), F_OK), 0);
    EXPECT_THAT(log.lines,
                ElementsAre(handledLine(QStringLiteral("ADD"), QStringLiteral("caf\uFFFD-\uFFFD.s2c"))));
}

// A file of which the writer cannot be seen waits, silently, until it has stood still for a second.
TEST_F(ImportCycle, AFileThatCannotBeLeasedWaitsUntilItStandsStill) {
    setLeaseCall([](int) {
        errno = EINVAL;  // a file system without leases
        return -1;
    });
    drop(QStringLiteral("4711.s2c"), document("ADD", "4711"));
    runCycle();
    clock.advanceMs(500);
    runCycle();
    EXPECT_THAT(handlers.newOrders, IsEmpty());
    EXPECT_THAT(log.lines, IsEmpty());
    EXPECT_TRUE(outboundFiles().isEmpty());
    EXPECT_TRUE(exists(in(QStringLiteral("4711.s2c"))));
    clock.advanceMs(500);
    runCycle();
    setLeaseCall(nullptr);
    EXPECT_THAT(handlers.newOrders, ElementsAre(QStringLiteral("4711.s2c")));
    EXPECT_EQ(readAll(out(QStringLiteral("4711.c2s"))), acknowledgement("BOB", "4711"));
}

TEST_F(ImportCycle, AnEmptyOutboundSettingNamesNoFolder) {
    settings.setText(Setting::w2wUitgaande, QString());
    drop(QStringLiteral("4711.s2c"), document("ADD", "4711"));
    runCycle();
    EXPECT_THAT(errors.messages, ElementsAre(QStringLiteral(
                                     "Er is geen map voor uitgaande bestanden ingesteld; het antwoord op "
                                     "\"4711.s2c\" kan niet geschreven worden")));
    EXPECT_TRUE(QDir(QStringLiteral("/")).entryList({QStringLiteral("*.c2s")}, QDir::Files).isEmpty());
}

TEST_F(ImportCycle, TheBackupCopyOfBinaryGarbageIsByteForByteTheFile) {
    QByteArray bytes = garbage(4096);
    bytes.replace('\r', 'r').replace('\n', 'n');  // line breaks are the only change a copy makes
    drop(QStringLiteral("bin.s2c"), bytes);
    runCycle();
    EXPECT_EQ(readAll(backup(QStringLiteral("bin.s2c"))), bytes);
}

}  // namespace
}  // namespace vk::w2w
