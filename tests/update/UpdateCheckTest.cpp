#include "support/LoopbackHttp.h"
#include "support/Ports.h"
#include "support/TempFolder.h"
#include "update/QormAppUpdate.h"
#include "update/QormAppUpdateDownload.h"
#include "update/QormAppUpdateNotify.h"
#include "update/UpdateNote.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

namespace vk {
namespace {

// The update check against a manifest server on loopback, with the real windows on the offscreen
// platform; message boxes are answered, the shell recorded.
class UpdateCheck : public ::testing::Test {
protected:
    UpdateCheck() {
        update.UpdateFileURL = server.url("/Updates.txt");
        update.UpdatePageURL = QStringLiteral("http://www.vindovelora.example/");
        update.Version = QStringLiteral("1.0.0.25");
        update.showModal = [this](TQormAppUpdateNotifyBox& box) {
            shown = true;
            readme = box.ReadmeMemo->toPlainText();
            downloadEnabled = box.DownloadButton->isEnabled();
            if (onShow) {
                onShow(box);
            }
        };
        QDir(dir.path()).mkpath(QStringLiteral("TempDownloads"));
        updater = installUpdater();
        server.replies["/leesmij.txt"] = {"HTTP/1.0 200 OK", "Nieuw: sneller bewaren"};
        server.replies["/VeloraKarvexClient"] = {"HTTP/1.0 200 OK", kProgram, 4};
    }
    void manifest(const QByteArray& entries) {
        server.replies["/Updates.txt"] = {"HTTP/1.0 200 OK",
                                          "[" + TQormAppUpdate::AppSectionName.toUtf8() + "]\r\n" + entries};
    }
    QStringList leftoverTemporaryFiles() const {
        return QDir(QDir::tempPath()).entryList({QStringLiteral("AU*.tmp")}, QDir::Files);
    }
    // An updater beside the program file (the hand-over only starts it); its path.
    QString installUpdater() const {
        const QString path = dir.write(QStringLiteral("VeloraUpdater"), "#!/bin/sh\n");
        QFile(path).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return QDir::toNativeSeparators(path);
    }
    QString target() const {
        return QDir::toNativeSeparators(dir.path() + QStringLiteral("/TempDownloads/VeloraKarvexClient"));
    }
    static QString sha1(const QByteArray& bytes) {
        return QString::fromLatin1(
            QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex().toUpper());
    }

    inline static const QByteArray kProgram = QByteArray(4000, 'p');
    test::LoopbackServer server;
    test::TempFolder dir;
    QString updater;
    test::ScriptedMessageBoxes boxes;
    test::RecordingLog log;
    test::ReplacingErrorHandler errors{log};
    QStringList opened;
    QStringList started;
    int terminations = 0;
    UpdateEnvironment env{
        dir.path() + u'/',
        dir.path() + QStringLiteral("/VeloraKarvexClient"),
        boxes,
        errors,
        [this](const QString& url) { opened << url; },
        [this](const QString& program, const QString& parameters) { started << program + u' ' + parameters; },
        [this] { ++terminations; },
        [] { return false; },
        {QStringLiteral("--folder"), QStringLiteral("/data met spatie")}};
    TQormAppUpdate update{env};
    bool shown = false;
    QString readme;
    bool downloadEnabled = false;
    std::function<void(TQormAppUpdateNotifyBox&)> onShow;
};

TEST_F(UpdateCheck, ANewerVersionOpensTheWindowWithItsReadme) {
    const QStringList before = leftoverTemporaryFiles();
    manifest("Version=1.0.0.26\r\nReadmeFileURL=" + server.url("/leesmij.txt").toUtf8() +
             "\r\nDownloadFileURL=" + server.url("/VeloraKarvexClient").toUtf8() + "\r\n");
    EXPECT_TRUE(update.CheckForUpdate(false));
    EXPECT_TRUE(shown);
    EXPECT_EQ(readme, QStringLiteral("Nieuw: sneller bewaren"));
    EXPECT_TRUE(downloadEnabled);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(leftoverTemporaryFiles(), before) << "the AU files are gone";
}

struct VersionCase {
    const char* running;
    const char* offered;
    bool newer;
};

// Dotted numbers compare part by part as numbers; anything else as text.
TEST_F(UpdateCheck, VersionsAreComparedAsNumbers) {
    for (const VersionCase& c :
         {VersionCase{"1.0.0.9", "1.0.0.10", true}, VersionCase{"1.0.0.25", "1.0.0.25", false},
          VersionCase{"", "1.0.0.1", true}, VersionCase{"1.0.0.25", "1.0.0.3", false},
          VersionCase{"1.0", "1.0.0.0", false}, VersionCase{"1.0.0.25", "nieuw", true}}) {
        shown = false;
        boxes.shown.clear();
        update.Version = QString::fromLatin1(c.running);
        manifest("version=" + QByteArray(c.offered) + "\r\n");
        EXPECT_EQ(update.CheckForUpdate(false), c.newer) << c.running << " " << c.offered;
        EXPECT_EQ(shown, c.newer);
        if (!c.newer) {
            ASSERT_EQ(boxes.shown.size(), 1u);
            EXPECT_EQ(boxes.shown[0].title, QStringLiteral("Vindo Velora\u00ae informatie"));
            EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Er is geen nieuwe versie beschikbaar."));
        }
    }
}

// Without a version (the manifest unreachable, or without this program's section) the user may go
// to the web site; no error box.
TEST_F(UpdateCheck, WithoutAVersionTheWebSiteIsOffered) {
    const QStringList before = leftoverTemporaryFiles();
    update.UpdateFileURL = QStringLiteral("http://127.0.0.1:1/Updates.txt");
    boxes.setNextAnswer(MessageBoxAnswer::Yes);
    EXPECT_FALSE(update.CheckForUpdate(false));
    EXPECT_EQ(leftoverTemporaryFiles(), before) << "also after a failed request";
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral("Vindo Velora\u00ae bevestiging"));
    EXPECT_EQ(boxes.shown[0].text,
              QStringLiteral("Er is geen nieuwe versie beschikbaar.\rWenst u de website te openen?"));
    EXPECT_EQ(opened, QStringList{QStringLiteral("http://www.vindovelora.example/")});

    server.replies["/Updates.txt"] = {"HTTP/1.0 200 OK", "[IemandAnders]\r\nVersion=9.0.0.0\r\n"};
    update.UpdateFileURL = server.url("/Updates.txt");
    boxes.setNextAnswer(MessageBoxAnswer::No);
    EXPECT_FALSE(update.CheckForUpdate(false));
    EXPECT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(opened.size(), 1);

    // Quiet: nothing at all
    EXPECT_FALSE(update.CheckForUpdate(true));
    EXPECT_EQ(boxes.shown.size(), 2u);
}

TEST_F(UpdateCheck, WithoutADownloadTheButtonIsOff) {
    manifest("Version=2.0.0.0\r\n");
    EXPECT_TRUE(update.CheckForUpdate(false));
    EXPECT_FALSE(downloadEnabled);
}

// Download, verification and hand-over: the file in TempDownloads, then the program ends and the
// updater gets the file's path in apostrophes.
TEST_F(UpdateCheck, AVerifiedDownloadIsHandedToTheUpdater) {
    update.hashType = HashType::SHA1;
    manifest("Version=1.0.0.26\r\nDownloadFileURL=" + server.url("/VeloraKarvexClient").toUtf8() +
             "\r\nSHA1Hash=" + sha1(kProgram).toLatin1() + "\r\n");
    QString transfer;
    onShow = [&](TQormAppUpdateNotifyBox& box) {
        box.DownloadButton->click();
        EXPECT_EQ(box.FormatFileSize(4000), FormatFileSize(4000, FileSizeUnit::Auto));
    };
    EXPECT_TRUE(update.CheckForUpdate(false));
    ASSERT_EQ(boxes.shown.size(), 1u) << errors.messages.join(u'\n').toStdString();
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Vindo Velora\u00ae LiveUpdate gaat nu starten"));
    EXPECT_EQ(terminations, 1);
    EXPECT_EQ(started, QStringList{updater + QStringLiteral(" '") + target() + u'\''});
    EXPECT_EQ(test::readAll(target()), kProgram);
    // beside the download, what the updater needs to start the link again as it ran
    const std::optional<UpdateNote> note =
        readUpdateNote(dir.path() + QStringLiteral("/TempDownloads/.VeloraUpdater.note"));
    ASSERT_TRUE(note);
    EXPECT_EQ(note->programFile, env.programFile);
    EXPECT_EQ(note->arguments, (QStringList{QStringLiteral("--folder"), QStringLiteral("/data met spatie")}));
    EXPECT_EQ(note->workingFolder, QDir::currentPath());
}

// Without an updater beside the program file nothing would start the link again: the link stays,
// the download goes, and the general error handler says why.
TEST_F(UpdateCheck, WithoutAnUpdaterTheLinkStays) {
    manifest("Version=1.0.0.26\r\nDownloadFileURL=" + server.url("/VeloraKarvexClient").toUtf8() + "\r\n");
    QFile::remove(updater);
    dir.write(QStringLiteral("VeloraUpdater"), "geen programma");  // there, but it cannot run
    onShow = [](TQormAppUpdateNotifyBox& box) { box.DownloadButton->click(); };
    update.CheckForUpdate(false);
    EXPECT_EQ(terminations, 0);
    EXPECT_TRUE(started.isEmpty());
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_FALSE(QFileInfo::exists(target()));
    EXPECT_EQ(errors.messages,
              QStringList{QStringLiteral(
                              "Het updateprogramma %1 ontbreekt; de update is niet ge\u00efnstalleerd en de "
                              "koppeling blijft draaien")
                              .arg(QDir::toNativeSeparators(dir.path() + QStringLiteral("/VeloraUpdater")))});
}

// Only a 2xx answer is the new program: an error page answered with 401 is refused and deleted.
TEST_F(UpdateCheck, AnErrorPageIsNoProgram) {
    server.replies["/geheim"] = {"HTTP/1.0 401 Unauthorized", "log eerst in"};
    manifest("Version=1.0.0.26\r\nDownloadFileURL=" + server.url("/geheim").toUtf8() + "\r\n");
    onShow = [](TQormAppUpdateNotifyBox& box) { box.DownloadButton->click(); };
    update.CheckForUpdate(false);
    EXPECT_FALSE(QFileInfo::exists(dir.path() + QStringLiteral("/TempDownloads/geheim")));
    EXPECT_EQ(terminations, 0);
    EXPECT_TRUE(boxes.shown.empty());
}

// Each digest, matching and not.
TEST_F(UpdateCheck, EveryDigestIsChecked) {
    const QString path = dir.write(QStringLiteral("inhoud"), kProgram);
    for (const HashType type : {HashType::CRC32, HashType::MD5, HashType::SHA1}) {
        for (const bool matching : {true, false}) {
            boxes.shown.clear();
            terminations = 0;
            update.hashType = type;
            const QString digest = matching ? fileDigest(path, type) : QStringLiteral("0BAD");
            const char* key = type == HashType::CRC32 ? "CRC32Hash"
                              : type == HashType::MD5 ? "MD5Hash"
                                                      : "SHA1Hash";
            manifest("Version=1.0.0.26\r\nDownloadFileURL=" + server.url("/VeloraKarvexClient").toUtf8() +
                     "\r\n" + key + "=" + digest.toLatin1() + "\r\n");
            onShow = [](TQormAppUpdateNotifyBox& box) { box.DownloadButton->click(); };
            update.CheckForUpdate(false);
            ASSERT_EQ(boxes.shown.size(), 1u);
            EXPECT_EQ(boxes.shown[0].text,
                      matching ? QStringLiteral("Vindo Velora\u00ae LiveUpdate gaat nu starten")
                               : QStringLiteral("De download is beschadigd."))
                << key;
            EXPECT_EQ(terminations, matching ? 1 : 0);
            EXPECT_EQ(QFileInfo::exists(target()), matching);
        }
    }
}

TEST_F(UpdateCheck, ADamagedDownloadIsDeleted) {
    update.hashType = HashType::SHA1;
    manifest("Version=1.0.0.26\r\nDownloadFileURL=" + server.url("/VeloraKarvexClient").toUtf8() +
             "\r\nSHA1Hash=" + sha1(kProgram).toLower().toLatin1() + "\r\n");
    onShow = [](TQormAppUpdateNotifyBox& box) { box.DownloadButton->click(); };
    update.CheckForUpdate(false);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("De download is beschadigd."));
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral("Vindo Velora\u00ae fout"));
    EXPECT_FALSE(QFileInfo::exists(target()));
    EXPECT_EQ(terminations, 0);
    EXPECT_TRUE(started.isEmpty());
}

TEST_F(UpdateCheck, WithoutAnAnnouncedSizeNothingIsDownloaded) {
    manifest("Version=1.0.0.26\r\nDownloadFileURL=" + server.url("/ontbreekt").toUtf8() + "\r\n");
    onShow = [](TQormAppUpdateNotifyBox& box) { box.DownloadButton->click(); };
    update.CheckForUpdate(false);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(QFileInfo::exists(dir.path() + QStringLiteral("/TempDownloads/ontbreekt")));
    EXPECT_EQ(QFileInfo(dir.path() + QStringLiteral("/TempDownloads/ontbreekt")).size(), 0);
    EXPECT_EQ(terminations, 0);
}

// "AFBREKEN" during the transfer: "&Nee" changes nothing, "&Ja" ends it, and nothing stays.
TEST_F(UpdateCheck, ACancelledDownloadLeavesNothing) {
    manifest("Version=1.0.0.26\r\nDownloadFileURL=" + server.url("/VeloraKarvexClient").toUtf8() + "\r\n");
    boxes.setNextAnswer(MessageBoxAnswer::No);
    boxes.setNextAnswer(MessageBoxAnswer::Yes);
    onShow = [](TQormAppUpdateNotifyBox& box) {
        QTimer::singleShot(120, &box, [&box] {
            ASSERT_NE(box.downloadBox(), nullptr);
            box.downloadBox()->CancelButton->click();  // "&Nee"
            EXPECT_TRUE(box.downloadBox()->CancelButton->isEnabled());
            box.downloadBox()->CancelButton->click();  // "&Ja"
        });
        box.DownloadButton->click();
    };
    update.CheckForUpdate(false);
    ASSERT_EQ(boxes.shown.size(), 3u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Deze software update afbreken?"));
    EXPECT_EQ(boxes.shown[2].text, QStringLiteral("De software update werd afgebroken."));
    EXPECT_FALSE(QFileInfo::exists(target()));
    EXPECT_EQ(terminations, 0);
}

// Through a proxy the status says which; the transfer goes by way of it.
TEST_F(UpdateCheck, ADownloadThroughAProxySaysSo) {
    const QString url = QStringLiteral("http://vindovelora.example/VeloraKarvexClient");
    server.replies[url.toUtf8()] = {"HTTP/1.0 200 OK", kProgram, 4};
    update.ProxyAddress = QStringLiteral("127.0.0.1");
    update.ProxyPort = server.url("").section(u':', -1);
    manifest("Version=1.0.0.26\r\nDownloadFileURL=" + url.toUtf8() + "\r\n");
    QString status;
    onShow = [&](TQormAppUpdateNotifyBox& box) {
        QTimer::singleShot(150, &box, [&box, &status] {
            if (box.downloadBox() != nullptr) {
                status = box.downloadBox()->StatusLabel->text();
            }
        });
        box.DownloadButton->click();
    };
    // the manifest itself comes through the proxy too
    server.replies[server.url("/Updates.txt").toUtf8()] = server.replies["/Updates.txt"];
    update.CheckForUpdate(false);
    EXPECT_EQ(status,
              QStringLiteral("Download bestand via proxy server (127.0.0.1:%1)").arg(update.ProxyPort));
    EXPECT_EQ(terminations, 1);
    EXPECT_TRUE(
        server.requests.last().startsWith("GET http://vindovelora.example/VeloraKarvexClient HTTP/1.0"));
}

TEST(DownloadWindow, TimesAndTransferFigures) {
    test::ScriptedMessageBoxes boxes;
    test::RecordingLog log;
    test::ReplacingErrorHandler errors{log};
    UpdateEnvironment env{QString(), QString(), boxes, errors, {}, {}, {}, {}, {}};
    struct NoPump final : MessagePump {
        void processPendingMessages() override {}
    } pump;
    TQormAppUpdateDownloadBox box(
        env, pump, [](qint64 n) { return FormatFileSize(n, FileSizeUnit::Bytes); }, nullptr);
    box.ProgressBar1->setMaximum(100);
    EXPECT_EQ(box.transferText(150), QStringLiteral("150 B of 100 B (150%)")) << "more than announced";
    // a transfer that runs past midnight: twenty seconds, not the difference of the times of day
    box.StartTime = QTime(23, 59, 50);
    box.now = [] { return QTime(0, 0, 10); };
    box.HttpCli1.RcvdCount = 40;
    box.Timer1Timer();
    EXPECT_EQ(box.ElapsedTimeLabel->text(), QStringLiteral("00:00:20"));
    EXPECT_EQ(box.SpeedLabel->text(), QStringLiteral("2 B/sec"));
    EXPECT_EQ(box.RemainingTimeLabel->text(), QStringLiteral("00:00:30")) << "(100 - 40) x 20 / 40";

    EXPECT_EQ(clockText(0), QStringLiteral("00:00:00"));
    EXPECT_EQ(clockText(3 * 3600 + 4 * 60 + 5), QStringLiteral("03:04:05"));
    EXPECT_EQ(clockText(25 * 3600 + 1), QStringLiteral("01:00:01")) << "hours wrap at 24";
}

}  // namespace
}  // namespace vk
