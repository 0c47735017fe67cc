#include "platform/Errors.h"
#include "support/TempFolder.h"
#include "update/UpdateFormats.h"

#include <QLocale>

#include <gtest/gtest.h>

namespace vk {
namespace {

const QByteArray kManifest =
    "; het manifest van de server\r\n"
    "[AndereKoppeling]\r\nVersion=9.9.9.9\r\n"
    "[veloraKARVEXclient]\r\n"
    "  version  =   1.0.0.26  \r\n"
    "DownloadFileURL=\"http://update.example/VeloraKarvexClient.exe\"\r\n"
    "ReadmeFileURL='http://update.example/leesmij.txt'\r\n"
    "SHA1Hash=\r\n"
    "Opmerking=caf\xE9\r\n";

TEST(Manifest, ReadAsThePlatformReadsIniFiles) {
    const QString section = QStringLiteral("VeloraKarvexClient");
    EXPECT_EQ(readIniValue(kManifest, section, QStringLiteral("Version")), QStringLiteral("1.0.0.26"));
    EXPECT_EQ(readIniValue(kManifest, section, QStringLiteral("DOWNLOADFILEURL")),
              QStringLiteral("http://update.example/VeloraKarvexClient.exe"));
    EXPECT_EQ(readIniValue(kManifest, section, QStringLiteral("ReadmeFileURL")),
              QStringLiteral("http://update.example/leesmij.txt"));
    EXPECT_EQ(readIniValue(kManifest, section, QStringLiteral("SHA1Hash")), QString());
    EXPECT_EQ(readIniValue(kManifest, section, QStringLiteral("MD5Hash")), QString());
    EXPECT_EQ(readIniValue(kManifest, section, QStringLiteral("Opmerking")), QStringLiteral("caf\u00e9"));
    EXPECT_EQ(readIniValue(kManifest, QStringLiteral("Ontbreekt"), QStringLiteral("Version")), QString());
    EXPECT_EQ(readIniValue(QByteArray("<html>401</html>"), section, QStringLiteral("Version")), QString());
    EXPECT_EQ(
        readIniValue("[S]\nK=" + QByteArray(3000, 'x'), QStringLiteral("S"), QStringLiteral("K")).size(),
        2047);
    // UTF-16 with its mark
    const QString text = QStringLiteral("[S]\r\nVersion=2.0.0.1\r\n");
    QByteArray utf16("\xFF\xFE");
    utf16.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    EXPECT_EQ(readIniValue(utf16, QStringLiteral("s"), QStringLiteral("version")), QStringLiteral("2.0.0.1"));
}

// Dotted decimal versions compare part by part as numbers (a missing part is 0); anything else
// compares as text, code unit by code unit.
TEST(Manifest, VersionsCompareAsNumbersWhenTheyAreNumbers) {
    const struct {
        const char* running;
        const char* offered;
        bool newer;
    } cases[] = {
        {"1.0.0.25", "1.0.0.26", true},
        {"1.0.0.9", "1.0.0.10", true},
        {"1.0.0.25", "1.0.0.3", false},
        {"1.0.0.0", "1.0.0.0", false},
        {"1.0", "1.0.0.0", false},
        {"1.0.0.0", "1.0", false},
        {"1.0", "1.0.0.1", true},
        {"", "0", true},
        {"1.0.0.25", "1.0.0.26b", true},
        {"abc", "abd", true},
        {"2", "10", true},
        {"1.0.0.9", "1.0.0.9 ", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isOlderVersion(QString::fromLatin1(c.running), QString::fromLatin1(c.offered)), c.newer)
            << c.running << " / " << c.offered;
    }
}

TEST(DownloadFigures, TheDownloadsNameComesFromThePathAlone) {
    EXPECT_EQ(downloadFileName(QStringLiteral("http://u.example/a/VeloraKarvexClient.exe?x=1#y")),
              QStringLiteral("VeloraKarvexClient.exe"));
    EXPECT_EQ(downloadFileName(QStringLiteral("http://u.example/nieuwe%20versie.exe")),
              QStringLiteral("nieuwe versie.exe"));
    for (const char* bad : {"http://u.example/", "http://u.example/a/..", "http://u.example/a/.",
                            "http://u.example/a/..%2F..%2Fetc%2Fpasswd", "http://u.example/a%5Cb.exe",
                            "http://u.example/c%3A.exe"}) {
        EXPECT_FALSE(downloadFileName(QString::fromLatin1(bad)).has_value()) << bad;
    }
}

TEST(Manifest, TheSectionIsTheProgramsName) {
    EXPECT_EQ(appSectionName(QStringLiteral("/opt/link/VeloraKarvexClient"), {}),
              QStringLiteral("VeloraKarvexClient"));
    EXPECT_EQ(appSectionName(QStringLiteral("C:/Vindo/Velora.Karvex.Client.exe"), {}),
              QStringLiteral("Velora"));
    EXPECT_EQ(appSectionName(QStringLiteral("C:/Windows/rundll32.exe"),
                             {QStringLiteral("rundll32.exe"), QStringLiteral("C:/x/Koppel.dll,Start")}),
              QStringLiteral("Koppel"));
    EXPECT_EQ(appSectionName(QStringLiteral("C:/Windows/rundll32.exe"),
                             {QStringLiteral("rundll32.exe"), QStringLiteral("Koppel.dll")}),
              QString());
}

struct SizeCase {
    qint64 bytes;
    FileSizeUnit unit;
    const char* dutch;
};

TEST(DownloadFigures, FileSizesInEveryUnit) {
    const QLocale dutch(QLocale::Dutch, QLocale::Netherlands);
    const SizeCase cases[] = {
        {0, FileSizeUnit::Auto, "0 B"},
        {1, FileSizeUnit::Auto, "1 B"},
        {1024, FileSizeUnit::Auto, "1.024 B"},
        {1025, FileSizeUnit::Auto, "1 KB"},
        {1048576, FileSizeUnit::Auto, "1.024 KB"},
        {1048577, FileSizeUnit::Auto, "1 MB"},
        {1073741825, FileSizeUnit::Auto, "1 GB"},
        {0, FileSizeUnit::Bytes, "0 B"},
        {123456, FileSizeUnit::Bytes, "123.456 B"},
        {0, FileSizeUnit::KiloBytes, "0 KB"},
        {1, FileSizeUnit::KiloBytes, "1 KB"},
        {2048, FileSizeUnit::KiloBytes, "2 KB"},
        {1048575, FileSizeUnit::MegaBytes, "1 MB"},
        {0, FileSizeUnit::GigaBytes, "0 GB"},
        {1, FileSizeUnit::GigaBytes, "1 GB"},
        {3 * 1073741824LL, FileSizeUnit::GigaBytes, "3 GB"},
    };
    for (const SizeCase& c : cases) {
        EXPECT_EQ(FormatFileSize(c.bytes, c.unit, dutch), QString::fromUtf8(c.dutch)) << c.bytes;
    }
    EXPECT_EQ(FormatFileSize(1048576, FileSizeUnit::Auto, QLocale(QLocale::English)),
              QStringLiteral("1,024 KB"));
}

TEST(DownloadFigures, FileNameAndAnnouncedSize) {
    EXPECT_EQ(FileNameFromURL(QStringLiteral("http://u.example/a/b/VeloraKarvexClient.exe")),
              QStringLiteral("VeloraKarvexClient.exe"));
    EXPECT_EQ(FileNameFromURL(QStringLiteral("zonder-schuine-streep")),
              QStringLiteral("zonder-schuine-streep"));
    EXPECT_EQ(announcedSize({QStringLiteral("Server: x"), QStringLiteral("Content-Length: 5000"),
                             QStringLiteral("content-length: 7")}),
              5000);
    EXPECT_EQ(announcedSize({QStringLiteral("content-length:5000")}), 0) << "a blank must follow the colon";
    EXPECT_EQ(announcedSize({QStringLiteral("content-length:   12")}), 12);
    EXPECT_EQ(announcedSize({QStringLiteral("content-length: 99999999999")}), 0);
    EXPECT_EQ(announcedSize({QStringLiteral("content-length: veel")}), 0);
    EXPECT_EQ(announcedSize({}), 0);
}

TEST(DownloadFigures, DigestsOfAFile) {
    test::TempFolder dir;
    const QString path = dir.write(QStringLiteral("f"), "The quick brown fox jumps over the lazy dog");
    EXPECT_EQ(fileDigest(path, HashType::CRC32), QStringLiteral("414FA339"));
    EXPECT_EQ(fileDigest(path, HashType::MD5), QStringLiteral("9E107D9D372BB6826BD81D3542A419D6"));
    EXPECT_EQ(fileDigest(path, HashType::SHA1), QStringLiteral("2FD4E1C67A2D28FCED849EE1BB76E7391B93EB12"));
    const QString gone = dir.file(QStringLiteral("weg"));
    try {
        fileDigest(gone, HashType::MD5);
        ADD_FAILURE() << "a missing file has a digest";
    } catch (const FileError& error) {
        EXPECT_EQ(error.message(),
                  QStringLiteral("Het bestand \"%1\" kan niet geopend worden. No such file or directory")
                      .arg(gone));
    }
}

}  // namespace
}  // namespace vk
