#include "platform/VersionResource.h"
#include "support/ElfHeader.h"
#include "support/TempFolder.h"
#include "update/TnoltVerInfo.h"
#include "update/VersionRecord.h"

#include <QFile>
#include <QtEndian>

#include <gtest/gtest.h>

#include <functional>

namespace vk {
namespace {

// A small 64-bit ELF file whose sections are the version record (when given) and the names.
QByteArray elfWith(const std::optional<QByteArray>& record, qint64 claimedSize = -1) {
    const QByteArray names = QByteArray("\0", 1) + kVersionSection + QByteArray("\0.shstrtab\0", 11);
    QByteArray file = test::elfHeader(0);
    const qint64 recordAt = file.size();
    if (record) {
        file += *record;
    }
    const qint64 namesAt = file.size();
    file += names;
    while (file.size() % 8 != 0) {
        file += '\0';
    }
    const qint64 tableAt = file.size();
    QList<std::array<quint64, 3>> sections{{0, 0, 0}};  // name offset, file offset, size
    if (record) {
        sections.append({1, static_cast<quint64>(recordAt),
                         static_cast<quint64>(claimedSize >= 0 ? claimedSize : record->size())});
    }
    sections.append({static_cast<quint64>(1 + qstrlen(kVersionSection) + 1), static_cast<quint64>(namesAt),
                     static_cast<quint64>(names.size())});
    for (const auto& s : sections) {
        QByteArray header(64, '\0');
        auto* h = reinterpret_cast<uchar*>(header.data());
        qToLittleEndian<quint32>(static_cast<quint32>(s[0]), h);
        qToLittleEndian<quint64>(s[1], h + 0x18);
        qToLittleEndian<quint64>(s[2], h + 0x20);
        file += header;
    }
    auto* h = reinterpret_cast<uchar*>(file.data());
    qToLittleEndian<quint64>(static_cast<quint64>(tableAt), h + 0x28);
    qToLittleEndian<quint16>(64, h + 0x3A);
    qToLittleEndian<quint16>(static_cast<quint16>(sections.size()), h + 0x3C);
    qToLittleEndian<quint16>(static_cast<quint16>(sections.size() - 1), h + 0x3E);
    return file;
}

VersionRecordContent dutchApplication() {
    VersionRecordContent c;
    c.fixed.fileVersionMS = 2 << 16 | 1;
    c.fixed.fileVersionLS = 0 << 16 | 7;
    c.fixed.productVersionMS = 2 << 16;
    c.fixed.productVersionLS = 0;
    c.fixed.fileFlagsMask = 0x3F;
    c.fixed.fileOS = 0x00040004;
    c.fixed.fileType = 1;
    c.translations = {{0x0413, 0x04E4}};
    c.translationKey = QStringLiteral("041304E4");
    c.strings = {{QStringLiteral("CompanyName"), QStringLiteral("Vindo Velora")},
                 {QStringLiteral("FileVersion"), QStringLiteral("2.1.0.7")},
                 {QStringLiteral("ProductName"), QStringLiteral("Karvex koppeling")},
                 {QStringLiteral("PrivateBuild"), QStringLiteral("alleen voor Jan")}};
    return c;
}

class VersionInfo : public ::testing::Test {
protected:
    TnoltVerInfo read(const QByteArray& file) {
        const QString path = dir.write(QStringLiteral("programma"), file);
        TnoltVerInfo info;
        info.FileName = path;
        info.ReadVersionInfo();
        return info;
    }
    TnoltVerInfo read(const VersionRecordContent& c) { return read(elfWith(buildVersionRecord(c))); }
    test::TempFolder dir;
};

TEST_F(VersionInfo, AllLinesInTheirOrder) {
    const TnoltVerInfo info = read(dutchApplication());
    EXPECT_EQ(info.LastError(), 0);
    EXPECT_EQ(info.Infos(), (QStringList{"InternalFileVersion=2.1.0.7", "InternalProductVersion=2.0.0.0",
                                         "OSVersion=Windows NT - Windows 32 bits", "FileType=Application",
                                         "FileSubType=", "FlagDebug=0", "FlagPatched=0", "FlagPreRelease=0",
                                         "FlagPrivateBuild=0", "FlagSpecialBuild=0", "Language=Dutch",
                                         "CharSet=Windows, Multilingual", "CompanyName=Vindo Velora",
                                         "FileVersion=2.1.0.7", "ProductName=Karvex koppeling"}));
    EXPECT_EQ(info.value(QStringLiteral("InternalFileVersion")), QStringLiteral("2.1.0.7"));
}

struct LineCase {
    const char* name;
    std::function<void(VersionRecordContent&)> change;
    const char* line;    // a line that must be there
    const char* absent;  // a line that must not be there (empty: none)
};

class VersionLines : public VersionInfo, public ::testing::WithParamInterface<LineCase> {};

TEST_P(VersionLines, AsTheRecordSays) {
    VersionRecordContent c = dutchApplication();
    GetParam().change(c);
    const TnoltVerInfo info = read(c);
    EXPECT_TRUE(info.Infos().contains(QString::fromUtf8(GetParam().line)))
        << info.Infos().join(u'|').toStdString();
    if (*GetParam().absent != '\0') {
        EXPECT_FALSE(info.Infos().contains(QString::fromUtf8(GetParam().absent)));
    }
}

void PrintTo(const LineCase& c, std::ostream* os) {
    *os << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VersionLines,
    ::testing::Values(LineCase{"words_of_ten_and_more",
                               [](auto& c) {
                                   c.fixed.fileVersionMS = 1 << 16 | 10;
                                   c.fixed.fileVersionLS = 300u << 16 | 4000;
                               },
                               "InternalFileVersion=1.10.300.4000", ""},
                      LineCase{"dll", [](auto& c) { c.fixed.fileType = 2; }, "FileType=DLL", ""},
                      LineCase{"driver",
                               [](auto& c) {
                                   c.fixed.fileType = 3;
                                   c.fixed.fileSubtype = 10;
                               },
                               "FileSubType=Communication", ""},
                      LineCase{"font",
                               [](auto& c) {
                                   c.fixed.fileType = 4;
                                   c.fixed.fileSubtype = 3;
                               },
                               "FileSubType=TrueType", ""},
                      LineCase{"plain_windows", [](auto& c) { c.fixed.fileOS = 4; },
                               "OSVersion=Unknown - Windows 32 bits", ""},
                      LineCase{"flag_outside_the_mask",
                               [](auto& c) {
                                   c.fixed.fileFlags = 0x01;
                                   c.fixed.fileFlagsMask = 0x3E;
                               },
                               "FlagDebug=0", ""},
                      LineCase{"pre_release", [](auto& c) { c.fixed.fileFlags = 0x02; }, "FlagPreRelease=1",
                               ""},
                      LineCase{"unknown_code_page",
                               [](auto& c) {
                                   c.translations = {{0x0413, 0x1234}};
                               },
                               "CharSet=", ""},
                      LineCase{"private_build", [](auto& c) { c.fixed.fileFlags = 0x08; },
                               "PrivateBuildInfos=alleen voor Jan", ""},
                      LineCase{"private_string_without_the_flag", [](auto&) {}, "FlagPrivateBuild=0",
                               "PrivateBuildInfos=alleen voor Jan"},
                      LineCase{"no_fixed_part", [](auto& c) { c.withFixedPart = false; }, "Language=Dutch",
                               "FileType=Application"},
                      LineCase{"no_translation", [](auto& c) { c.translations.clear(); },
                               "FileType=Application", "CompanyName=Vindo Velora"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(VersionInfo, WhatCannotBeReadSetsLastError) {
    EXPECT_EQ(read(QByteArray("geen programma")).LastError(), 1);
    EXPECT_EQ(read(elfWith(std::nullopt)).LastError(), 1);
    EXPECT_EQ(read(elfWith(QByteArray(65527, 'x'))).LastError(), 2);
    EXPECT_EQ(read(elfWith(QByteArray(100, 'x'), 4000)).LastError(), 3)
        << "the record runs past the file's end";
    const TnoltVerInfo missing = read(elfWith(std::nullopt));
    EXPECT_TRUE(missing.Infos().isEmpty());
    EXPECT_EQ(missing.value(QStringLiteral("InternalFileVersion")), QString());
    TnoltVerInfo noFile;
    noFile.FileName = dir.file(QStringLiteral("bestaat-niet"));
    noFile.ReadVersionInfo();
    EXPECT_EQ(noFile.LastError(), 1);
}

// The program file that the build made carries the project's version.
TEST_F(VersionInfo, TheBuiltProgramKnowsItsVersion) {
    TnoltVerInfo info;
    info.FileName = QStringLiteral(VK_CLIENT_PATH);
    info.ReadVersionInfo();
    EXPECT_EQ(info.LastError(), 0);
    EXPECT_EQ(info.value(QStringLiteral("InternalFileVersion")), QStringLiteral(VK_VERSION));
    EXPECT_EQ(info.value(QStringLiteral("Language")), QStringLiteral("Dutch"));
    EXPECT_EQ(info.value(QStringLiteral("ProductName")), QStringLiteral("Vindo Velora Karvex koppeling"));
}

}  // namespace
}  // namespace vk
