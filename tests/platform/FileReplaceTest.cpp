#include "platform/Errors.h"
#include "platform/FileNames.h"
#include "platform/FileReplace.h"
#include "support/TempFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace vk {
namespace {

using test::TempFolder;

TEST(FileReplace, WritesAndReplacesWithoutLeavingATemporaryFile) {
    TempFolder dir;
    const QString path = dir.write(QStringLiteral("a.c2s"), "an older and much longer content");
    writeFileReplacing(path, "new", Durability::Flushed);
    EXPECT_EQ(test::readAll(path), "new");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("a.c2s")});
}

TEST(FileReplace, AMissingFolderGivesTheCreateFileMessage) {
    TempFolder dir;
    const QString path = dir.file(QStringLiteral("missing/a.c2s"));
    try {
        writeFileReplacing(path, "x", Durability::Atomic);
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(e.message(),
                  QStringLiteral("Cannot create file \"%1\". No such file or directory").arg(path));
    }
}

TEST(FileReplace, AFolderInThePlaceOfTheFileIsAnError) {
    TempFolder dir;
    const QString path = dir.mkdir(QStringLiteral("a.c2s"));
    EXPECT_THROW(writeFileReplacing(path, "x", Durability::Flushed), FileError);
    EXPECT_TRUE(QFileInfo(path).isDir());
    // the temporary file does not stay behind
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("a.c2s")});
}

TEST(FileReplace, ANameOfFullLengthFits) {
    TempFolder dir;
    const QString path = dir.file(QString(251, u'n') + QStringLiteral(".c2s"));
    writeFileReplacing(path, "x", Durability::Flushed);
    EXPECT_EQ(test::readAll(path), "x");
}

TEST(FileReplace, OwnerOnlyFilesAreNotReadableByOthers) {
    TempFolder dir;
    writeFileReplacing(dir.file(QStringLiteral("open.xml")), "x", Durability::Atomic);
    writeFileReplacing(dir.file(QStringLiteral("secret.xml")), "x", Durability::Flushed,
                       FileAccess::OwnerOnly);
    EXPECT_TRUE(QFile::permissions(dir.file(QStringLiteral("open.xml"))) & QFileDevice::ReadOwner);
    EXPECT_EQ(QFile::permissions(dir.file(QStringLiteral("secret.xml"))) &
                  (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteGroup |
                   QFileDevice::WriteOther),
              QFileDevice::Permissions());
}

// What a killed run left half written goes at the next start; what a write of this run is making
// now, and every other file, stays.
TEST(FileReplace, LeftoverTemporaryFilesOfEarlierRunsAreRemoved) {
    TempFolder dir;
    const QDateTime runStart = QDateTime::currentDateTime();
    const QString old = dir.write(QStringLiteral(".vk-tmp-AbC123"), "half");
    const QString fresh = dir.write(QStringLiteral(".vk-tmp-XyZ789"), "being written");
    const QString other = dir.write(QStringLiteral("4711.c2s"), "answer");
    QFile oldFile(old);
    ASSERT_TRUE(oldFile.open(QIODevice::ReadWrite));
    ASSERT_TRUE(oldFile.setFileTime(runStart.addSecs(-3600), QFileDevice::FileModificationTime));
    oldFile.close();
    QFile freshFile(fresh);
    ASSERT_TRUE(freshFile.open(QIODevice::ReadWrite));
    ASSERT_TRUE(freshFile.setFileTime(runStart.addSecs(1), QFileDevice::FileModificationTime));
    freshFile.close();
    EXPECT_EQ(removeLeftoverTemporaryFiles(dir.path(), runStart), 1);
    EXPECT_FALSE(QFileInfo::exists(old));
    EXPECT_TRUE(QFileInfo::exists(fresh));
    EXPECT_TRUE(QFileInfo::exists(other));
}

// A second name for a file, with the file still under its own: a hard link where possible.
TEST(FileReplace, KeepAlsoAsLeavesTheFileWhereItIs) {
    TempFolder dir;
    const QString path = dir.write(QStringLiteral("VeloraKarvex.xml"), "<kapot");
    const QString aside = dir.file(QStringLiteral("VeloraKarvex.onleesbaar.xml"));
    keepAlsoAs(path, aside);
    EXPECT_EQ(test::readAll(path), "<kapot");
    EXPECT_EQ(test::readAll(aside), "<kapot");
    writeFileReplacing(path, "<nieuw/>", Durability::Flushed);
    EXPECT_EQ(test::readAll(aside), "<kapot") << "replacing the file leaves its second name alone";
    EXPECT_THROW(keepAlsoAs(dir.file(QStringLiteral("bestaat-niet.xml")), dir.file(QStringLiteral("x.xml"))),
                 FileError);
}

// Names keep their bytes through the text form, whatever the bytes are.
TEST(FileNames, EveryNameComesBackAsItsBytes) {
    const QByteArray names[] = {
        "4711.s2c", "caf\xC3\xA9.s2c",           "caf\xE9.s2c", "\xFF\xFE", "\xED\xA0\x80.s2c",
        "\xC0\xAF", "\xF0\x9F\x9A\x95 taxi.s2c", "\xE2\x82"};
    for (const QByteArray& bytes : names) {
        const QString name = decodeFileName(bytes);
        EXPECT_EQ(encodeFileName(name), bytes) << bytes.toHex().toStdString();
        EXPECT_FALSE(readableFileName(name).contains(QChar(0xDCE9)));
    }
    EXPECT_EQ(decodeFileName("caf\xC3\xA9"), QStringLiteral("caf\u00e9"));
    EXPECT_EQ(readableFileName(decodeFileName("caf\xE9")), QStringLiteral("caf\uFFFD"));
    EXPECT_EQ(decodeFileName("\xF0\x9F\x9A\x95"), QStringLiteral("\U0001F695"));
}

}  // namespace
}  // namespace vk
