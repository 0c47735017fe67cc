#include "support/LoopbackHttp.h"
#include "support/Ports.h"
#include "support/TempFolder.h"
#include "update/QormAppUpdate.h"
#include "update/QormAppUpdateDownload.h"
#include "update/QormAppUpdateNotify.h"
#include "update/UpdateNote.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

namespace vk {
namespace {

// Environment variables set (or, with nullptr, removed) for one test and put back afterwards.
class EnvironmentFor {
public:
    EnvironmentFor(std::initializer_list<std::pair<const char*, const char*>> values) {
        for (const auto& [name, value] : values) {
            saved_.push_back({name, qEnvironmentVariableIsSet(name), qgetenv(name)});
            if (value != nullptr) {
                qputenv(name, value);
            } else {
                qunsetenv(name);
            }
        }
    }
    ~EnvironmentFor() {
        for (const Saved& s : saved_) {
            if (s.set) {
                qputenv(s.name, s.value);
            } else {
                qunsetenv(s.name);
            }
        }
    }
    EnvironmentFor(const EnvironmentFor&) = delete;
    EnvironmentFor& operator=(const EnvironmentFor&) = delete;

private:
    struct Saved {
        const char* name;
        bool set;
        QByteArray value;
    };
    std::vector<Saved> saved_;
};

// The download window's status as the window closes: the last the user reads of a failed download.
class StatusAtClose final : public QObject {
public:
    StatusAtClose() { qApp->installEventFilter(this); }
    ~StatusAtClose() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::Hide && object->objectName() == u"StatusLabel") {
            if (const auto* label = qobject_cast<QLabel*>(object)) {
                texts << label->text();
            }
        }
        return false;
    }
    QStringList texts;
};

// The update check against a manifest server on loopback, with the real windows on the offscreen
// platform; message boxes are answered, the shell recorded.
// Points the descriptor of a file at a device once the code under test has opened that file, as a
// failing disk would leave it: the next writes go to the device. `opened` picks the file from the
// descriptors that were not open when the swap was made, by where they point. Watches from the
// event loop, which the check runs while it transfers.
class DescriptorSwap {
public:
    DescriptorSwap(std::function<bool(const QString& target)> opened, const char* device, int flags)
        : opened_(std::move(opened)), device_(device), flags_(flags) {
        for (const QFileInfo& fd : openFiles()) {
            before_ << fd.fileName() + u' ' + fd.symLinkTarget();
        }
        QObject::connect(&watch_, &QTimer::timeout, [this] { swapWhenOpen(); });
    }
    void start() { watch_.start(0); }
    bool swapped() const { return swapped_; }

private:
    static QFileInfoList openFiles() {
        return QDir(QStringLiteral("/proc/self/fd"))
            .entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    }
    void swapWhenOpen() {
        for (const QFileInfo& fd : openFiles()) {
            if (before_.contains(fd.fileName() + u' ' + fd.symLinkTarget()) || !opened_(fd.symLinkTarget())) {
                continue;
            }
            const int replacement = ::open(device_, flags_ | O_CLOEXEC);
            ASSERT_GE(replacement, 0);
            ASSERT_GE(::dup2(replacement, fd.fileName().toInt()), 0);
            ::close(replacement);
            swapped_ = true;
            watch_.stop();
            return;
        }
    }

    std::function<bool(const QString&)> opened_;
    const char* device_;
    int flags_;
    QStringList before_;
    QTimer watch_;
    bool swapped_ = false;
};

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
        boxes.onShow = [this](const MessageBoxRequest& box) {
            events << QStringLiteral("melding: ") + box.text;
        };
    }
    void manifest(const QByteArray& entries) {
        server.replies["/Updates.txt"] = {"HTTP/1.0 200 OK",
                                          "[" + TQormAppUpdate::AppSectionName.toUtf8() + "]\r\n" + entries};
    }
    // How many requests the server heard that begin with `start` ("GET /Updates.txt ").
    qsizetype requestsFor(const char* start) const {
        return std::count_if(server.requests.begin(), server.requests.end(),
                             [start](const QByteArray& r) { return r.startsWith(start); });
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
    bool ending = false;          // the application has been asked to end
    std::function<void()> onEnd;  // when the update asks the application to end
    QStringList events;           // message boxes, the request to end and the updater's start, in order
    UpdateEnvironment env{dir.path() + u'/',
                          dir.path() + QStringLiteral("/VeloraKarvexClient"),
                          boxes,
                          errors,
                          [this](const QString& url) { opened << url; },
                          [this](const QString& program, const QString& parameters) {
                              started << program + u' ' + parameters;
                              events << QStringLiteral("start");
                          },
                          [this] {
                              ++terminations;
                              events << QStringLiteral("einde");
                              if (onEnd) {
                                  onEnd();
                              }
                          },
                          [this] { return ending; },
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
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral("Vindo Velora\u00ae informatie"));
    // the user has read the box before the link is asked to end and the updater starts
    EXPECT_EQ(events, (QStringList{QStringLiteral("melding: Vindo Velora\u00ae LiveUpdate gaat nu starten"),
                                   QStringLiteral("einde"), QStringLiteral("start")}));
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

// "AFBREKEN" during a slow transfer: "&Nee" changes nothing; "&Ja" stops the transfer itself, long
// before the server would have sent the rest, and nothing stays.
TEST_F(UpdateCheck, ACancelledDownloadLeavesNothing) {
    server.replies["/VeloraKarvexClient"] = {"HTTP/1.0 200 OK", kProgram, 60};  // six seconds
    manifest("Version=1.0.0.26\r\nDownloadFileURL=" + server.url("/VeloraKarvexClient").toUtf8() + "\r\n");
    boxes.setNextAnswer(MessageBoxAnswer::No);
    boxes.setNextAnswer(MessageBoxAnswer::Yes);
    QElapsedTimer sinceYes;
    QTimer watch;
    onShow = [&](TQormAppUpdateNotifyBox& box) {
        QObject::connect(&watch, &QTimer::timeout, &box, [&] {
            TQormAppUpdateDownloadBox* download = box.downloadBox();
            if (download == nullptr || !download->CancelButton->isEnabled() ||
                download->HttpCli1.RcvdCount == 0) {
                return;  // not yet under way
            }
            watch.stop();
            download->CancelButton->click();  // "&Nee"
            EXPECT_TRUE(download->CancelButton->isEnabled());
            sinceYes.start();
            download->CancelButton->click();  // "&Ja"
        });
        watch.start(20);
        box.DownloadButton->click();
    };
    update.CheckForUpdate(false);
    ASSERT_TRUE(sinceYes.isValid()) << "the transfer was never under way";
    EXPECT_LT(sinceYes.elapsed(), 2500) << "the transfer went on after \"&Ja\"";
    ASSERT_EQ(boxes.shown.size(), 3u);
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral("Vindo Velora\u00ae bevestiging"));
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Deze software update afbreken?"));
    EXPECT_EQ(boxes.shown[2].title, QStringLiteral("Vindo Velora\u00ae fout"));
    EXPECT_EQ(boxes.shown[2].text, QStringLiteral("De software update werd afgebroken."));
    EXPECT_FALSE(QFileInfo::exists(target()));
    EXPECT_EQ(terminations, 0);
}

// While a check runs nothing of the update begins again. During its download the download window
// covers the notification window exactly, whose buttons are off and which neither Esc nor its close
// box closes; a second download (a click, or the handler called once more) and a second check are
// refused. One manifest, one notification window, one download, handed over once.
TEST_F(UpdateCheck, WhileACheckOrItsDownloadRunsNothingBeginsAgain) {
    manifest("Version=1.0.0.26\r\nDownloadFileURL=" + server.url("/VeloraKarvexClient").toUtf8() + "\r\n");
    int windows = 0;
    TQormAppUpdateNotifyBox* notification = nullptr;
    QObject context;
    QStringList asked;    // the moments at which a second check or download is asked for, once each
    QStringList refused;  // those at which it was refused
    const auto duringDownload = [&] {
        TQormAppUpdateDownloadBox* download = notification->downloadBox();
        ASSERT_NE(download, nullptr);
        ASSERT_TRUE(download->isVisible() && download->CancelButton->isEnabled()) << "no transfer under way";
        EXPECT_EQ(download->frameGeometry(), notification->frameGeometry());
        for (const QPushButton* button :
             {notification->DownloadButton, notification->OpenWebPageButton, notification->OKButton}) {
            EXPECT_FALSE(button->isEnabled()) << button->text().toStdString();
        }
        QTest::keyClick(notification, Qt::Key_Escape);
        EXPECT_FALSE(notification->close()) << "the close box";
        EXPECT_TRUE(notification->isVisible());
        notification->DownloadButton->click();
        notification->DownloadButtonClick();
        EXPECT_FALSE(update.CheckForUpdate(false));
        EXPECT_EQ(notification->downloadBox(), download);
        EXPECT_TRUE(download->isVisible());
        refused << QStringLiteral("download");
    };
    server.onRequest = [&](const QByteArray& request) {
        if (request.startsWith("GET /Updates.txt ") && !asked.contains(QStringLiteral("controle"))) {
            asked << QStringLiteral("controle");
            QTimer::singleShot(0, &context, [&] {
                ASSERT_TRUE(update.isChecking());
                EXPECT_FALSE(update.CheckForUpdate(false));
                refused << QStringLiteral("controle");
            });
        } else if (request.startsWith("GET /VeloraKarvexClient ") &&
                   !asked.contains(QStringLiteral("download"))) {
            asked << QStringLiteral("download");
            QTimer::singleShot(0, &context, duringDownload);
        }
    };
    onShow = [&](TQormAppUpdateNotifyBox& box) {
        if (++windows > 1) {
            return;  // a second window: counted, and left at once
        }
        notification = &box;
        box.show();
        box.DownloadButton->click();
    };
    EXPECT_TRUE(update.CheckForUpdate(false));
    server.onRequest = nullptr;
    EXPECT_EQ(refused.join(u' ').toStdString(), "controle download");
    EXPECT_EQ(windows, 1);
    EXPECT_EQ(requestsFor("GET /Updates.txt "), 1);
    EXPECT_EQ(requestsFor("HEAD /VeloraKarvexClient "), 1);
    EXPECT_EQ(requestsFor("GET /VeloraKarvexClient "), 1);
    EXPECT_EQ(started.size(), 1) << errors.messages.join(u'\n').toStdString();
    EXPECT_EQ(terminations, 1);
    EXPECT_EQ(test::readAll(target()), kProgram);
}

// Esc and the close box of the download window ask what AFBREKEN asks and never hide the
// transfer: after "&Nee" it goes on to the hand-over, after "&Ja" it is cancelled as by AFBREKEN.
TEST_F(UpdateCheck, EscAndTheCloseBoxOfTheDownloadWindowAskFirst) {
    manifest("Version=1.0.0.26\r\nDownloadFileURL=" + server.url("/VeloraKarvexClient").toUtf8() + "\r\n");
    struct Gesture {
        const char* name;
        std::function<void(QWidget&)> apply;
    };
    const Gesture gestures[] = {
        {"Esc", [](QWidget& window) { QTest::keyClick(&window, Qt::Key_Escape); }},
        {"sluitknop", [](QWidget& window) { EXPECT_FALSE(window.close()); }},
    };
    for (const Gesture& gesture : gestures) {
        for (const MessageBoxAnswer answer : {MessageBoxAnswer::No, MessageBoxAnswer::Yes}) {
            const bool cancelled = answer == MessageBoxAnswer::Yes;
            const std::string row = std::string(gesture.name) + (cancelled ? " &Ja" : " &Nee");
            boxes.shown.clear();
            boxes.setNextAnswer(answer);
            started.clear();
            terminations = 0;
            bool applied = false;
            bool stillShown = false;
            onShow = [&](TQormAppUpdateNotifyBox& box) {
                server.onRequest = [&](const QByteArray& request) {
                    if (!request.startsWith("GET /VeloraKarvexClient ")) {
                        return;
                    }
                    QTimer::singleShot(0, &box, [&] {
                        TQormAppUpdateDownloadBox* download = box.downloadBox();
                        ASSERT_TRUE(download->isVisible() && download->CancelButton->isEnabled());
                        gesture.apply(*download);
                        applied = true;
                        stillShown = download->isVisible();
                    });
                };
                box.DownloadButton->click();
                server.onRequest = nullptr;
            };
            update.CheckForUpdate(false);
            ASSERT_TRUE(applied) << row << ": the transfer was never under way";
            EXPECT_TRUE(stillShown) << row;
            ASSERT_EQ(boxes.shown.size(), 2u) << row;
            EXPECT_EQ(boxes.shown[0].title, QStringLiteral("Vindo Velora\u00ae bevestiging")) << row;
            EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Deze software update afbreken?")) << row;
            EXPECT_EQ(boxes.shown[0].buttons, MessageBoxRequest::Buttons::YesNo) << row;
            EXPECT_EQ(boxes.shown[1].text,
                      cancelled ? QStringLiteral("De software update werd afgebroken.")
                                : QStringLiteral("Vindo Velora\u00ae LiveUpdate gaat nu starten"))
                << row;
            EXPECT_EQ(terminations, cancelled ? 0 : 1) << row;
            EXPECT_EQ(started.size(), cancelled ? 0 : 1) << row;
            EXPECT_EQ(QFileInfo::exists(target()), !cancelled) << row;
        }
    }
}

// An application that ends closes its windows first, and ends only once they have closed: the update
// windows close then, during the transfer (which the end aborts) as at the hand-over.
TEST_F(UpdateCheck, TheUpdateWindowsCloseWhenTheApplicationEnds) {
    manifest("Version=1.0.0.26\r\nDownloadFileURL=" + server.url("/VeloraKarvexClient").toUtf8() + "\r\n");
    QStringList stillOpen;
    const auto endApplication = [&] {
        ending = true;
        QApplication::closeAllWindows();
        for (const QWidget* window : QApplication::topLevelWidgets()) {
            if (window->isVisible()) {
                stillOpen << window->windowTitle();
            }
        }
    };
    for (const bool duringTransfer : {true, false}) {
        const char* row =
            duringTransfer ? "tijdens de overdracht" : "bij de overdracht aan het updateprogramma";
        ending = false;
        terminations = 0;
        started.clear();
        stillOpen = {QStringLiteral("(nooit gesloten)")};
        onShow = [&](TQormAppUpdateNotifyBox& box) {
            server.onRequest = [&](const QByteArray& request) {
                if (duringTransfer && request.startsWith("GET /VeloraKarvexClient ")) {
                    QTimer::singleShot(0, &box, [&] {
                        stillOpen.clear();
                        endApplication();
                    });
                }
            };
            onEnd = [&] {
                if (!duringTransfer) {
                    stillOpen.clear();
                    endApplication();
                }
            };
            box.show();
            box.DownloadButton->click();
            server.onRequest = nullptr;
            onEnd = nullptr;
        };
        update.CheckForUpdate(false);
        EXPECT_EQ(stillOpen.join(u',').toStdString(), "") << row;
        EXPECT_EQ(terminations, duringTransfer ? 0 : 1) << row;
        EXPECT_EQ(started.size(), duringTransfer ? 0 : 1) << row;
        EXPECT_EQ(QFileInfo::exists(target()), !duringTransfer) << row;
    }
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
    // the window's proxy counts, whatever the environment says
    const EnvironmentFor environment{{"no_proxy", "*"}, {"NO_PROXY", "*"}};
    update.CheckForUpdate(false);
    EXPECT_EQ(status,
              QStringLiteral("Download bestand via proxy server (127.0.0.1:%1)").arg(update.ProxyPort));
    EXPECT_EQ(terminations, 1);
    EXPECT_TRUE(
        server.requests.last().startsWith("GET http://vindovelora.example/VeloraKarvexClient HTTP/1.0"));
}

// Without a proxy in the window the link connects directly, whatever proxy the environment names:
// a server that stands in as that proxy hears nothing, and the update goes through.
TEST_F(UpdateCheck, TheEnvironmentsProxyIsNotUsed) {
    test::LoopbackServer elsewhere;  // answers 404 to everything
    const QByteArray proxy = elsewhere.url("").toUtf8();
    const EnvironmentFor environment{{"http_proxy", proxy.constData()},
                                     {"HTTP_PROXY", proxy.constData()},
                                     {"ALL_PROXY", proxy.constData()},
                                     {"all_proxy", proxy.constData()},
                                     {"no_proxy", nullptr},
                                     {"NO_PROXY", nullptr}};
    manifest("Version=1.0.0.26\r\nDownloadFileURL=" + server.url("/VeloraKarvexClient").toUtf8() + "\r\n");
    onShow = [](TQormAppUpdateNotifyBox& box) { box.DownloadButton->click(); };
    EXPECT_TRUE(update.CheckForUpdate(false));
    EXPECT_TRUE(elsewhere.requests.isEmpty()) << elsewhere.requests.value(0).toStdString();
    EXPECT_EQ(terminations, 1) << errors.messages.join(u'\n').toStdString();
    EXPECT_EQ(test::readAll(target()), kProgram);
}

// The download's name is the last part of the URL's path; a name that would lead out of
// TempDownloads (or is none) is refused before anything is fetched or written.
TEST_F(UpdateCheck, AnUnsafeDownloadNameIsRefused) {
    const auto everything = [this] {
        QStringList found;
        for (QDirIterator it(dir.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                             QDirIterator::Subdirectories);
             it.hasNext();) {
            found << it.next();
        }
        found.sort();
        return found;
    };
    const QStringList before = everything();
    for (const char* path : {"/a/..%2Fbuiten", "/a/..%5Cbuiten", "/a/%2E%2E", "/a/..", "/a/", "/a/b%00c"}) {
        errors.messages.clear();
        const QString url = server.url(path);
        server.replies[path] = {"HTTP/1.0 200 OK", kProgram};
        manifest("Version=1.0.0.26\r\nDownloadFileURL=" + url.toUtf8() + "\r\n");
        onShow = [](TQormAppUpdateNotifyBox& box) { box.DownloadButton->click(); };
        update.CheckForUpdate(false);
        EXPECT_EQ(
            errors.messages,
            QStringList{QStringLiteral("Het adres \"%1\" noemt geen bruikbare bestandsnaam voor de download")
                            .arg(url)})
            << path;
        EXPECT_EQ(everything(), before) << path;
    }
    EXPECT_FALSE(std::any_of(server.requests.begin(), server.requests.end(), [](const QByteArray& r) {
        return r.startsWith("GET /a/") || r.startsWith("HEAD /a/");
    }));
    EXPECT_EQ(terminations, 0);
    EXPECT_TRUE(boxes.shown.empty());
}

// A link under the download's name that leads elsewhere is not followed: the download replaces the
// link, and the file it pointed at stays as it was.
TEST_F(UpdateCheck, ALinkUnderTheDownloadsNameIsNotFollowed) {
    const QString outside = dir.write(QStringLiteral("elders.txt"), "van iemand anders");
    ASSERT_TRUE(QFile::link(outside, target()));
    manifest("Version=1.0.0.26\r\nDownloadFileURL=" + server.url("/VeloraKarvexClient").toUtf8() + "\r\n");
    onShow = [](TQormAppUpdateNotifyBox& box) { box.DownloadButton->click(); };
    update.CheckForUpdate(false);
    EXPECT_EQ(test::readAll(outside), "van iemand anders");
    EXPECT_FALSE(QFileInfo(target()).isSymLink());
    EXPECT_EQ(test::readAll(target()), kProgram);
    EXPECT_EQ(terminations, 1);
}

// 401 and 407 complete a request: the body of such an answer is read as the manifest.
TEST_F(UpdateCheck, AManifestAnsweredWith401Or407IsRead) {
    for (const char* status : {"HTTP/1.0 401 Unauthorized", "HTTP/1.0 407 Proxy Authentication Required"}) {
        shown = false;
        server.replies["/Updates.txt"] = {
            status, "[" + TQormAppUpdate::AppSectionName.toUtf8() + "]\r\nVersion=1.0.0.26\r\n"};
        EXPECT_TRUE(update.CheckForUpdate(false)) << status;
        EXPECT_TRUE(shown) << status;
    }
}

// "Open webpagina" opens the manifest's page; the component's only when the manifest names none.
TEST_F(UpdateCheck, TheManifestsWebPageComesFirst) {
    struct Page {
        const char* entry;
        const char* opened;
    };
    for (const Page& p :
         {Page{"UpdatePageURL=http://nieuws.vindovelora.example/\r\n", "http://nieuws.vindovelora.example/"},
          Page{"", "http://www.vindovelora.example/"}}) {
        opened.clear();
        manifest("Version=1.0.0.26\r\n" + QByteArray(p.entry));
        onShow = [](TQormAppUpdateNotifyBox& box) { box.OpenWebPageButton->click(); };
        update.CheckForUpdate(false);
        EXPECT_EQ(opened, QStringList{QString::fromLatin1(p.opened)}) << p.entry;
    }
}

// A failed request says so in a line that starts with "Mislukt: ": in the read-me box for the
// read-me, in the status of the download window for the download; no message box.
TEST_F(UpdateCheck, AFailedRequestSaysMislukt) {
    server.replies["HEAD /stuk"] = {"HTTP/1.0 200 OK", kProgram};
    server.replies["/stuk"] = {"HTTP/1.0 503 Service Unavailable", "later"};
    server.replies["/geheim"] = {"HTTP/1.0 401 Unauthorized", "log eerst in"};
    struct Failure {
        const char* readme;
        const char* download;
        const char* readmeText;
        const char* statusText;
    };
    for (const Failure& f :
         {Failure{"/weg.txt", "", "Mislukt: 404 Not Found", nullptr},
          Failure{"/leesmij.txt", "/stuk", "Nieuw: sneller bewaren", "Mislukt: 503 Service Unavailable"},
          Failure{"/leesmij.txt", "/geheim", "Nieuw: sneller bewaren", "Mislukt: 401 Unauthorized"}}) {
        StatusAtClose status;
        manifest(
            "Version=1.0.0.26\r\nReadmeFileURL=" + server.url(f.readme).toUtf8() +
            (*f.download != '\0' ? "\r\nDownloadFileURL=" + server.url(f.download).toUtf8() : QByteArray()) +
            "\r\n");
        onShow = [](TQormAppUpdateNotifyBox& box) {
            if (box.DownloadButton->isEnabled()) {
                box.DownloadButton->click();
            }
        };
        EXPECT_TRUE(update.CheckForUpdate(false));
        EXPECT_EQ(readme, QString::fromUtf8(f.readmeText));
        EXPECT_EQ(status.texts,
                  f.statusText != nullptr ? QStringList{QString::fromUtf8(f.statusText)} : QStringList{})
            << f.download;
    }
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(errors.messages.isEmpty());
    EXPECT_EQ(terminations, 0);
    EXPECT_TRUE(QDir(dir.path() + QStringLiteral("/TempDownloads")).isEmpty());
}

// Without TempDownloads nothing is fetched; the file that cannot be made goes to the general error
// handler, and the link stays.
TEST_F(UpdateCheck, WithoutTempDownloadsNothingIsDownloaded) {
    ASSERT_TRUE(QDir(dir.path() + QStringLiteral("/TempDownloads")).removeRecursively());
    manifest("Version=1.0.0.26\r\nDownloadFileURL=" + server.url("/VeloraKarvexClient").toUtf8() + "\r\n");
    onShow = [](TQormAppUpdateNotifyBox& box) { box.DownloadButton->click(); };
    update.CheckForUpdate(false);
    EXPECT_EQ(errors.messages,
              QStringList{QStringLiteral("Cannot create file \"%1\". De map bestaat niet").arg(target())});
    EXPECT_FALSE(QFileInfo::exists(dir.path() + QStringLiteral("/TempDownloads")));
    EXPECT_EQ(terminations, 0);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_FALSE(server.requests.last().contains("VeloraKarvexClient"));
}

// The system's reason for a write refused for want of room, in the words the link's files give it.
QString noSpace() {
    QFile full(QStringLiteral("/dev/full"));
    full.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    full.write("x", 1);
    return full.errorString();
}

// The disk fills up while the program is being written. Once the transfer runs, the descriptor of
// the download's file is pointed at /dev/full, which refuses every write with ENOSPC exactly as a
// full disk does (a small file system of its own would need a mount). The write failure is no
// answer of the server: it goes to the general error handler, not into the status as a "Mislukt"
// line; the download goes and the link stays.
TEST_F(UpdateCheck, ADownloadThatCannotBeWrittenGoesToTheErrorHandler) {
    manifest("Version=1.0.0.26\r\nDownloadFileURL=" + server.url("/VeloraKarvexClient").toUtf8() + "\r\n");
    const QString file = QFileInfo(target()).absoluteFilePath();
    DescriptorSwap full([&](const QString& path) { return path == file; }, "/dev/full", O_WRONLY);
    StatusAtClose status;
    onShow = [&](TQormAppUpdateNotifyBox& box) {
        full.start();
        box.DownloadButton->click();
    };
    update.CheckForUpdate(false);
    ASSERT_TRUE(full.swapped()) << "the download's file was never open";
    EXPECT_EQ(
        errors.messages,
        QStringList{QStringLiteral("Het bestand %1 kan niet geschreven worden: %2").arg(target(), noSpace())})
        << errors.messages.join(u'\n').toStdString();
    EXPECT_EQ(status.texts, QStringList{QStringLiteral("Download bestand")});
    EXPECT_FALSE(QFileInfo::exists(target()));
    EXPECT_EQ(terminations, 0);
    EXPECT_TRUE(started.isEmpty());
    EXPECT_TRUE(boxes.shown.empty());
}

// A manifest that cannot be stored ends the check with an error for the general error handler, and
// the temporary file goes all the same. Once the request runs, the descriptor of the file it opened
// in the temporary folder (nameless there, as Qt makes it where it can) is replaced by one that
// takes no writes, as a device that fails would, so the manifest in the file's buffer cannot be
// written.
TEST_F(UpdateCheck, AManifestThatCannotBeStoredEndsTheCheck) {
    const QStringList before = leftoverTemporaryFiles();
    manifest("Version=1.0.0.26\r\n");
    const QString temporary = QDir(QDir::tempPath()).absolutePath() + u'/';
    DescriptorSwap failing([&](const QString& path) { return path.startsWith(temporary); }, "/dev/null",
                           O_RDONLY);
    failing.start();
    EXPECT_THROW(update.CheckForUpdate(false), TransferWriteError);
    EXPECT_TRUE(failing.swapped()) << "the manifest's file was never open";
    EXPECT_FALSE(shown);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(leftoverTemporaryFiles(), before);
}

// Both update windows as the user sees them: captions, client sizes, parts, texts and the default
// button.
TEST_F(UpdateCheck, TheWindowsLookAsDesigned) {
    TQormAppUpdateNotifyBox notify(env);
    struct NoPump final : MessagePump {
        void processPendingMessages() override {}
    } pump;
    TQormAppUpdateDownloadBox download(
        env, pump, [](qint64 n) { return FormatFileSize(n, FileSizeUnit::Auto); }, nullptr);
    struct Part {
        QWidget* window;
        const char* text;  // the window's caption, or the part's text
        int x, y;          // -1: the window itself
        int w, h;          // 0: as wide and high as its text
        bool isDefault;
    };
    const Part parts[] = {
        {&notify, "Nieuwe versie is beschikbaar", -1, -1, 690, 313, false},
        {&notify, "", 8, 8, 461, 257, false},  // the read-me
        {&notify, "Download en installeer", 7, 278, 229, 25, false},
        {&notify, "Open webpagina", 249, 278, 131, 25, false},
        {&notify, "OK", 395, 278, 74, 25, true},
        {&notify, "", 690 - 216, 0, 216, 313, false},  // the picture
        {&download, "Download nieuwe versie", -1, -1, 690, 313, false},
        {&download, "Bestand:", 8, 16, 0, 0, false},
        {&download, "-", 135, 16, 296, 20, false},
        {&download, "Snelheid:", 8, 39, 0, 0, false},
        {&download, "0 KB/sec", 135, 39, 0, 0, false},
        {&download, "Status :", 8, 63, 0, 0, false},
        {&download, "Verstreken tijd :", 8, 86, 0, 0, false},
        {&download, "00:00:00", 135, 86, 0, 0, false},
        {&download, "Resterende tijd :", 8, 110, 0, 0, false},
        {&download, "00:00:00", 135, 110, 0, 0, false},
        {&download, "Overdracht :", 8, 134, 0, 0, false},
        {&download, "", 7, 200, 460, 44, false},  // the progress bar
        {&download, "AFBREKEN", 7, 259, 460, 38, true},
        {&download, "", 690 - 218, 0, 218, 313, false},  // the picture
    };
    for (const Part& p : parts) {
        const QString text = QString::fromUtf8(p.text);
        if (p.x < 0) {
            EXPECT_EQ(p.window->windowTitle(), text);
            EXPECT_EQ(p.window->size(), QSize(p.w, p.h)) << p.text;
            continue;
        }
        QWidget* part = nullptr;
        for (QWidget* child : p.window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (child->pos() == QPoint(p.x, p.y)) {
                part = child;
            }
        }
        ASSERT_NE(part, nullptr) << p.text << " at " << p.x << "," << p.y;
        const auto* label = qobject_cast<QLabel*>(part);
        const auto* button = qobject_cast<QPushButton*>(part);
        const QString shownText = label != nullptr    ? label->text()
                                  : button != nullptr ? button->text()
                                                      : QString();
        EXPECT_EQ(shownText, text) << p.x << "," << p.y;
        if (p.w > 0) {
            EXPECT_EQ(part->size(), QSize(p.w, p.h)) << p.text << " at " << p.x << "," << p.y;
        }
        EXPECT_EQ(button != nullptr && button->isDefault(), p.isDefault) << p.text;
    }
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
