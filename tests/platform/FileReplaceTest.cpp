#include "platform/Errors.h"
#include "platform/FileReplace.h"
#include "support/TempFolder.h"

#include <QDir>

#include <gtest/gtest.h>

namespace vk {
namespace {

using test::TempFolder;

TEST(FileReplace, WritesAndReplacesWithoutLeavingATemporaryFile) {
    TempFolder dir;
    const QString path = dir.write(QStringLiteral("a.c2s"), "an older and much longer content");
    writeFileReplacing(path, "new");
    EXPECT_EQ(test::readAll(path), "new");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("a.c2s")});
}

TEST(FileReplace, AMissingFolderGivesTheCreateFileMessage) {
    TempFolder dir;
    const QString path = dir.file(QStringLiteral("missing/a.c2s"));
    try {
        writeFileReplacing(path, "x");
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(e.message(),
                  QStringLiteral("Cannot create file \"%1\". No such file or directory").arg(path));
    }
}

TEST(FileReplace, AFolderInThePlaceOfTheFileIsAnError) {
    TempFolder dir;
    const QString path = dir.mkdir(QStringLiteral("a.c2s"));
    EXPECT_THROW(writeFileReplacing(path, "x"), FileError);
    EXPECT_TRUE(QFileInfo(path).isDir());
}

}  // namespace
}  // namespace vk
