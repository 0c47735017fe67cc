#include "platform/Errors.h"
#include "platform/FileMove.h"
#include "platform/InboundFile.h"
#include "support/ParamName.h"
#include "support/TempFolder.h"

#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <functional>

namespace vk {
namespace {

using vk::test::PrintTo;

using test::TempFolder;

struct DecodeCase {
    const char* name;
    QByteArray bytes;
    QString expected;
};

class TextFileDecoding : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(TextFileDecoding, FollowsTheByteOrderMark) {
    TempFolder dir;
    const auto& c = GetParam();
    const QString path = dir.write(QStringLiteral("doc.s2c"), c.bytes);
    EXPECT_EQ(loadTextFile(path), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Marks, TextFileDecoding,
    ::testing::Values(
        DecodeCase{"utf16le", QByteArray("\xFF\xFE<\0i\0d\0>\0\xAC\x20", 12), QStringLiteral("<id>€")},
        DecodeCase{"utf16be", QByteArray("\xFE\xFF\0<\0i\0d\0>\x20\xAC", 12), QStringLiteral("<id>€")},
        DecodeCase{"utf8", QByteArray("\xEF\xBB\xBF<id>\xE2\x82\xAC</id>"), QStringLiteral("<id>€</id>")},
        DecodeCase{"utf8_second_mark_is_text",
                   QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF"
                              "a"),
                   QStringLiteral("\uFEFFa")},
        DecodeCase{"ansi", QByteArray("<id>\x80 caf\xE9</id>"), QStringLiteral("<id>€ café</id>")},
        DecodeCase{"ansi_undefined_byte", QByteArray("\x81"), QStringLiteral("\u0081")},
        DecodeCase{"empty", QByteArray(), QString()},
        DecodeCase{"only_mark", QByteArray("\xEF\xBB\xBF"), QString()},
        DecodeCase{"nul_bytes_kept", QByteArray("a\0b", 3), QString::fromUtf16(u"a\0b", 3)}),
    test::ParamName());

struct BreakCase {
    const char* name;
    QString in;
    QString out;
};

class LineBreaks : public ::testing::TestWithParam<BreakCase> {};

TEST_P(LineBreaks, BecomeCrLf) {
    EXPECT_EQ(adjustLineBreaks(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LineBreaks,
    ::testing::Values(BreakCase{"crlf", QStringLiteral("a\r\nb"), QStringLiteral("a\r\nb")},
                      BreakCase{"lf", QStringLiteral("a\nb\n"), QStringLiteral("a\r\nb\r\n")},
                      BreakCase{"cr", QStringLiteral("a\rb"), QStringLiteral("a\r\nb")},
                      BreakCase{"lfcr", QStringLiteral("a\n\rb"), QStringLiteral("a\r\nb")},
                      BreakCase{"crcr", QStringLiteral("a\r\rb"), QStringLiteral("a\r\n\r\nb")},
                      BreakCase{"lflf", QStringLiteral("a\n\nb"), QStringLiteral("a\r\n\r\nb")},
                      BreakCase{"crlfcr", QStringLiteral("\r\n\r"), QStringLiteral("\r\n\r\n")},
                      BreakCase{"lfcrlf", QStringLiteral("\n\r\n"), QStringLiteral("\r\n\r\n")},
                      BreakCase{"none", QStringLiteral("abc"), QStringLiteral("abc")}),
    test::ParamName());

QString loadError(const QString& path) {
    try {
        loadTextFile(path);
    } catch (const FileError& e) {
        return e.message();
    }
    return QStringLiteral("<no error>");
}

TEST(InboundFileLoading, UnreadableFilesFailWithTheirReason) {
    TempFolder dir;
    const QString missing = dir.file(QStringLiteral("gone.s2c"));
    EXPECT_EQ(
        loadError(missing),
        QStringLiteral("Het bestand \"%1\" kan niet geopend worden. No such file or directory").arg(missing));

    const QString folder = dir.mkdir(QStringLiteral("x.s2c"));
    EXPECT_EQ(loadError(folder),
              QStringLiteral("Het bestand \"%1\" kan niet geopend worden. Is a directory").arg(folder));

    const QString fifo = dir.file(QStringLiteral("pipe.s2c"));
    ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    EXPECT_EQ(
        loadError(fifo),
        QStringLiteral("Het bestand \"%1\" kan niet geopend worden. Het is geen gewoon bestand").arg(fifo));

    const QString badUtf8 = dir.write(QStringLiteral("bad.s2c"), "\xEF\xBB\xBF<id>\xC3\x28</id>");
    EXPECT_EQ(
        loadError(badUtf8),
        QStringLiteral("Het bestand \"%1\" kan niet gelezen worden. De inhoud is geen geldige UTF-8-tekst")
            .arg(badUtf8));

    const QString oddUtf16 = dir.write(QStringLiteral("odd.s2c"), QByteArray("\xFF\xFE<\0i", 5));
    EXPECT_EQ(
        loadError(oddUtf16),
        QStringLiteral("Het bestand \"%1\" kan niet gelezen worden. De inhoud is geen geldige UTF-16-tekst")
            .arg(oddUtf16));

    // half a surrogate pair in UTF-16, either way round, is refused like any other invalid UTF-16
    for (const QByteArray& lone : {QByteArray("\xFF\xFE"
                                              "a\0\x00\xD8"
                                              "b\0",
                                              8),
                                   QByteArray("\xFE\xFF"
                                              "\0a\xDC\x00\0b",
                                              8),
                                   QByteArray("\xFF\xFE"
                                              "a\0\x00\xD8",
                                              6)}) {
        const QString path = dir.write(QStringLiteral("lone.s2c"), lone);
        EXPECT_EQ(loadError(path),
                  QStringLiteral("Het bestand \"%1\" kan niet gelezen worden. De inhoud is geen geldige "
                                 "UTF-16-tekst")
                      .arg(path))
            << lone.toHex().toStdString();
    }
    // a real pair is a character
    const QString pair = dir.write(QStringLiteral("pair.s2c"), QByteArray("\xFF\xFE\x3D\xD8\x95\xDE", 6));
    EXPECT_EQ(loadTextFile(pair), QStringLiteral("\U0001F695"));
}

// Taking a file, putting it aside and making a folder for it fail with the paths and the system's
// reason, in the link's own words.
TEST(InboundFileLoading, TakingAndMovingFailuresNameThePaths) {
    TempFolder dir;
    const auto messageOf = [](const std::function<void()>& action) {
        try {
            action();
        } catch (const FileError& e) {
            return e.message();
        }
        return QStringLiteral("<no error>");
    };
    const QString folder = dir.mkdir(QStringLiteral("map.s2c"));
    EXPECT_EQ(messageOf([&] { removeDeliveredFile(folder); }),
              QStringLiteral("Het bestand \"%1\" kan niet verwijderd worden. Is a directory").arg(folder));

    const QString file = dir.write(QStringLiteral("4711.s2c"), "<id>4711</id>");
    const QString underAFile = file + QStringLiteral("/.4711.s2c.vk-x");
    EXPECT_EQ(messageOf([&] { claimDeliveredFile(file, underAFile); }),
              QStringLiteral("Het bestand \"%1\" kan niet verplaatst worden naar \"%2\". Not a directory")
                  .arg(file, underAFile));

    const QString deeper = dir.file(QStringLiteral("weg/Geweigerd"));
    EXPECT_EQ(messageOf([&] { makeFolderIfMissing(deeper); }),
              QStringLiteral("De map \"%1\" kan niet gemaakt worden. No such file or directory").arg(deeper));

    // a folder cannot go into a folder of its own
    const QString inside = folder + QStringLiteral("/Geweigerd");
    EXPECT_EQ(messageOf([&] { moveIntoFolder(folder, inside); }),
              QStringLiteral("\"%1\" kan niet verplaatst worden naar \"%2/map.s2c\". Invalid argument")
                  .arg(folder, inside));
}

// A second program that still has the file open for writing: the partner in the middle of a
// delivery.
class SecondWriter {
public:
    // asUser: the writer runs as that user (through setpriv) instead of the tests' own
    explicit SecondWriter(const QString& path, const QString& asUser = QString()) {
        QStringList command{QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                            QStringLiteral("exec 3>>\"$1\"; echo open; exec sleep 30"), QStringLiteral("sh"),
                            path};
        if (!asUser.isEmpty()) {
            command = QStringList{QStringLiteral("--reuid=") + asUser, QStringLiteral("--regid=") + asUser,
                                  QStringLiteral("--clear-groups")} +
                      command;
            command.prepend(QStringLiteral("setpriv"));
        }
        process_.start(command.takeFirst(), command);
        EXPECT_TRUE(process_.waitForReadyRead(10000)) << process_.readAllStandardError().toStdString();
    }
    ~SecondWriter() { stop(); }
    void stop() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(10000);
        }
    }

private:
    QProcess process_;
};

TEST(InboundFileLoading, AFileStillOpenForWritingFailsUntilTheWriterClosesIt) {
    TempFolder dir;
    const QString path = dir.write(QStringLiteral("4711.s2c"), "<id>4711</id>");
    {
        SecondWriter writer(path);
        EXPECT_EQ(loadError(path),
                  QStringLiteral(
                      "Het bestand \"%1\" kan niet geopend worden. Een ander programma schrijft nog in het "
                      "bestand")
                      .arg(path));
    }
    EXPECT_EQ(loadTextFile(path), QStringLiteral("<id>4711</id>"));

    // readers do not count
    const int reader = ::open(path.toLocal8Bit().constData(), O_RDONLY);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(loadTextFile(path), QStringLiteral("<id>4711</id>"));
    ::close(reader);
}

// The partner usually writes as another account: its writer is seen all the same.
TEST(InboundFileLoading, AWriterOfAnotherUserIsSeenToo) {
    TempFolder dir;
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                      QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                      QFileDevice::WriteOther | QFileDevice::ExeOther));
    const QString path = dir.write(QStringLiteral("4711.s2c"), "<id>4711</id>");
    ASSERT_EQ(::chown(path.toLocal8Bit().constData(), 65534, 65534), 0);  // nobody
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    {
        SecondWriter writer(path, QStringLiteral("65534"));
        EXPECT_EQ(loadError(path),
                  QStringLiteral(
                      "Het bestand \"%1\" kan niet geopend worden. Een ander programma schrijft nog in het "
                      "bestand")
                      .arg(path));
    }
    EXPECT_EQ(loadTextFile(path), QStringLiteral("<id>4711</id>"));
}

// Where no lease can be taken, a file is read only once it has stood still for a second between
// two looks; a change starts the wait again.
TEST(InboundFileLoading, WithoutALeaseAFileIsReadOnceItStandsStill) {
    setLeaseCall([](int) {
        errno = EACCES;
        return -1;
    });
    TempFolder dir;
    const QString path = dir.write(QStringLiteral("4711.s2c"), "<id>47");
    qint64 now = 0;
    StabilityLooks looks([&] { return now; });
    EXPECT_THROW(loadTextFile(path, &looks), FileNotYetStable);
    now += 999;
    EXPECT_THROW(loadTextFile(path, &looks), FileNotYetStable);
    dir.write(QStringLiteral("4711.s2c"), "<id>4711</id>");  // the writer goes on
    now += 5000;
    EXPECT_THROW(loadTextFile(path, &looks), FileNotYetStable);
    now += 1000;
    EXPECT_EQ(loadTextFile(path, &looks), QStringLiteral("<id>4711</id>"));
    // without looks (or with a lease) the file is read as it is
    EXPECT_EQ(loadTextFile(path), QStringLiteral("<id>4711</id>"));
    setLeaseCall(nullptr);
}

// Up to the limit a file loads whole; one byte more and it is refused before it is read.
TEST(InboundFileLoading, AFileUpToTheLimitLoadsWholeALargerOneIsRefused) {
    TempFolder dir;
    QByteArray big(kMaxDeliveredFileSize, 'a');
    big.replace(0, 4, "<id>");
    const QString path = dir.write(QStringLiteral("big.s2c"), big);
    const QString text = loadTextFile(path);
    EXPECT_EQ(text.size(), big.size());
    EXPECT_TRUE(text.startsWith(QStringLiteral("<id>aaa")));

    big.append('a');
    dir.write(QStringLiteral("big.s2c"), big);
    try {
        loadTextFile(path);
        FAIL() << "a file over the limit loaded";
    } catch (const FileError& error) {
        EXPECT_EQ(error.message(),
                  QStringLiteral("Het bestand \"%1\" kan niet geopend worden. Het bestand is 16777217 bytes "
                                 "groot; de grens is 16777216 bytes")
                      .arg(path));
    }
}

}  // namespace
}  // namespace vk
