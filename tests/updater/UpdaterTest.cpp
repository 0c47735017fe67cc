// VeloraUpdater as a process, on a real installation: a copy of this build's program file that
// carries a test release key, the updater beside it, a data folder of its own, and a download in
// its TempDownloads as the link leaves it (with its note). The newer program is the same build
// with another version record of the same size, signed with the test key.
#include "support/ReleaseKit.h"
#include "support/TempFolder.h"
#include "update/UpdateNote.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <memory>

namespace vk {
namespace {

// What every case starts from, made once: the key pairs and the program files.
struct Programs {
    test::TempFolder folder;
    QString installed;     // 1.0.0.0 with the test key as its release key, signed
    QString newer;         // 1.0.0.1, signed with the test key
    QString older;         // 0.9.0.0, signed with the test key
    QString unsigned_;     // 1.0.0.1, not signed
    QString otherKey;      // 1.0.0.1, signed with another key
    QString failsToStart;  // 1.0.0.1, signed, but it names a library that is not there
    QString sameVersion;   // 1.0.0.0, signed: not newer

    Programs() {
        const test::TestKeyPair key = test::makeTestKeyPair(folder.path(), QStringLiteral("test"));
        const test::TestKeyPair other = test::makeTestKeyPair(folder.path(), QStringLiteral("ander"));
        installed = copyOfClient(QStringLiteral("installed"));
        test::setReleaseKey(installed, key.publicKey);
        test::signProgram(key.privateKeyPem, installed);
        const auto variant = [&](const QString& name, const QString& version, const QString* signingKey) {
            const QString path = folder.file(name);
            QFile::copy(installed, path);
            test::setProgramVersion(path, version);
            if (signingKey) {
                test::signProgram(*signingKey, path);
            }
            return path;
        };
        newer = variant(QStringLiteral("newer"), QStringLiteral("1.0.0.1"), &key.privateKeyPem);
        older = variant(QStringLiteral("older"), QStringLiteral("0.9.0.0"), &key.privateKeyPem);
        sameVersion = variant(QStringLiteral("same"), QStringLiteral("1.0.0.0"), &key.privateKeyPem);
        unsigned_ = copyOfClient(QStringLiteral("unsigned"));  // as built: its signature is all zeros
        test::setReleaseKey(unsigned_, key.publicKey);
        test::setProgramVersion(unsigned_, QStringLiteral("1.0.0.1"));
        otherKey = variant(QStringLiteral("otherkey"), QStringLiteral("1.0.0.1"), &other.privateKeyPem);
        failsToStart = variant(QStringLiteral("broken"), QStringLiteral("1.0.0.1"), nullptr);
        QByteArray bytes = test::readAll(failsToStart);
        const qsizetype at = bytes.indexOf(QByteArrayLiteral("libQt6Core.so.6"));
        if (at < 0) {
            throw std::runtime_error("the program names no libQt6Core.so.6");
        }
        bytes[at + 7] = 'X';  // libQt6XCore: the loader stops it before it runs
        QFile out(failsToStart);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(bytes) != bytes.size()) {
            throw std::runtime_error("cannot write the broken program");
        }
        out.close();
        test::signProgram(key.privateKeyPem, failsToStart);
    }

    QString copyOfClient(const QString& name) const {
        const QString path = folder.file(name);
        if (!QFile::copy(QStringLiteral(VK_CLIENT_PATH), path)) {
            throw std::runtime_error("cannot copy the program file");
        }
        return path;
    }
};

// The process that holds a data folder's lock, as the lock file names it; 0 while none does.
pid_t lockHolder(const QString& dataFolder) {
    const QString path = dataFolder + QStringLiteral("/.VeloraKarvex.lock");
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    // the lock is really taken: this try must fail
    const bool taken = ::flock(fd, LOCK_SH | LOCK_NB) != 0;
    if (!taken) {
        ::flock(fd, LOCK_UN);
    }
    ::close(fd);
    const pid_t pid = static_cast<pid_t>(test::readAll(path).split('\n').value(0).toLongLong());
    return taken && pid > 0 && ::kill(pid, 0) == 0 ? pid : 0;
}

class UpdaterRun : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // the links the updater starts outlive it; they become this process's children, so that the
        // test can stop them and collect them
        ::prctl(PR_SET_CHILD_SUBREAPER, 1);
        programs = std::make_unique<Programs>();
    }
    static void TearDownTestSuite() { programs.reset(); }

    UpdaterRun() {
        installFolder = root.mkdir(QStringLiteral("inst met spatie's"));
        dataFolder = root.mkdir(QStringLiteral("gegevens met spatie's \u00e9"));
        QDir(dataFolder).mkpath(QStringLiteral("TempDownloads"));
        program = installFolder + QStringLiteral("/VeloraKarvexClient");
        updater = installFolder + QStringLiteral("/VeloraUpdater");
        QFile::copy(programs->installed, program);
        QFile::copy(QStringLiteral(VK_UPDATER_PATH), updater);
        download = dataFolder + QStringLiteral("/TempDownloads/VeloraKarvexClient");
        writeUpdateNote(
            updateNotePath(dataFolder + QStringLiteral("/TempDownloads")),
            {program, {QStringLiteral("--headless"), QStringLiteral("--folder"), dataFolder}, root.path()});
    }
    ~UpdaterRun() override {
        // whatever the updater started ends with the test
        if (const pid_t pid = lockHolder(dataFolder)) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    }

    void offer(const QString& file) const { ASSERT_TRUE(QFile::copy(file, download)); }

    // Runs the updater as the link starts it: one argument, the download's path in apostrophes.
    int runUpdater(qint64 lockWaitMs = 20000) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VELORA_UPDATER_LOCK_WAIT_MS"), QString::number(lockWaitMs));
        env.insert(QStringLiteral("VELORA_UPDATER_HOLD_MS"), QStringLiteral("1500"));
        process.setProcessEnvironment(env);
        // the links it starts keep its output open: the output goes to a file, not a pipe
        process.setStandardOutputFile(root.file(QStringLiteral("updater.out")));
        process.setStandardErrorFile(root.file(QStringLiteral("updater.out")), QIODevice::Append);
        process.start(updater, {u'\'' + download + u'\''});
        EXPECT_TRUE(process.waitForFinished(120000));
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    // Nothing but the program and the updater in the installation folder: no copy left half way.
    QStringList installedFiles() const {
        return QDir(installFolder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }
    inline static const QStringList kInstalled{QStringLiteral("VeloraKarvexClient"),
                                               QStringLiteral("VeloraUpdater")};

    QString log() const {
        return QString::fromUtf8(test::readAll(dataFolder + QStringLiteral("/VeloraUpdater.log")));
    }

    // Waits until a link holds the data folder; its process.
    pid_t waitForLink() const {
        const QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired()) {
            if (const pid_t pid = lockHolder(dataFolder)) {
                return pid;
            }
            QThread::msleep(50);
        }
        return 0;
    }

    QString versionOfInstalled() const {
        QProcess p;
        p.start(program, {QStringLiteral("--version")});
        p.waitForFinished(30000);
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }

    inline static std::unique_ptr<Programs> programs;
    test::TempFolder root;
    QString installFolder;
    QString dataFolder;
    QString program;
    QString updater;
    QString download;
};

TEST_F(UpdaterRun, ANewerSignedVersionIsInstalledStartedAndKept) {
    offer(programs->newer);
    EXPECT_EQ(runUpdater(), 0) << log().toStdString();
    EXPECT_EQ(test::readAll(program), test::readAll(programs->newer));
    EXPECT_TRUE(QFileInfo(program).isExecutable());
    EXPECT_EQ(installedFiles(), kInstalled);
    EXPECT_EQ(versionOfInstalled(), QStringLiteral("Vindo Velora Karvex koppeling 1.0.0.1"));
    // the previous version is the newest copy in Backups; the download and its note are gone
    EXPECT_EQ(test::readAll(dataFolder + QStringLiteral("/Backups/VeloraKarvexClient")),
              test::readAll(programs->installed));
    EXPECT_FALSE(QFileInfo::exists(download));
    EXPECT_FALSE(QFileInfo::exists(updateNotePath(dataFolder + QStringLiteral("/TempDownloads"))));
    // the new version runs, from the program file, with the arguments of the note
    const pid_t pid = waitForLink();
    ASSERT_NE(pid, 0);
    const QString commandLine = QString::fromUtf8(test::readAll(QStringLiteral("/proc/%1/cmdline").arg(pid)));
    EXPECT_EQ(commandLine.split(QChar(0), Qt::SkipEmptyParts),
              (QStringList{program, QStringLiteral("--headless"), QStringLiteral("--folder"), dataFolder}));
    EXPECT_TRUE(
        log().contains(QStringLiteral("Versie 1.0.0.1 draait en houdt de map %1 vast").arg(dataFolder)))
        << log().toStdString();
}

// Anything but a newer program of ours, signed with the installed program's key, is refused: the
// program file stays as it was and the old version is started again.
TEST_F(UpdaterRun, AnythingElseIsRefusedAndTheOldVersionRunsAgain) {
    struct Case {
        const char* name;
        std::function<QString()> file;
        QString reason;
    };
    const QString d = QStringLiteral("%1/TempDownloads/VeloraKarvexClient");
    const std::vector<Case> cases{
        {"an HTML page",
         [&] { return root.write(QStringLiteral("page"), "<html><body>Niet gevonden</body></html>"); },
         QStringLiteral("%1 is geen programma van Vindo Velora Karvex koppeling")},
        {"a 401 body", [&] { return root.write(QStringLiteral("401"), "401 Unauthorized"); },
         QStringLiteral("%1 is geen programma van Vindo Velora Karvex koppeling")},
        {"a program of another make", [] { return QStringLiteral("/bin/true"); },
         QStringLiteral("%1 is geen programma van Vindo Velora Karvex koppeling")},
        {"an older version", [] { return programs->older; },
         QStringLiteral("versie 0.9.0.0 is niet nieuwer dan de ge\u00efnstalleerde versie 1.0.0.0")},
        {"the same version", [] { return programs->sameVersion; },
         QStringLiteral("versie 1.0.0.0 is niet nieuwer dan de ge\u00efnstalleerde versie 1.0.0.0")},
        {"an unsigned program", [] { return programs->unsigned_; }, QStringLiteral("%1 is niet ondertekend")},
        {"a program signed with another key", [] { return programs->otherKey; },
         QStringLiteral(
             "de handtekening van %1 klopt niet met de sleutel van het ge\u00efnstalleerde programma")},
        {"a damaged program",
         [&] {
             QByteArray bytes = test::readAll(programs->newer);
             bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x01);
             return root.write(QStringLiteral("damaged"), bytes);
         },
         QStringLiteral(
             "de handtekening van %1 klopt niet met de sleutel van het ge\u00efnstalleerde programma")},
    };
    const QByteArray before = test::readAll(program);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(dataFolder + QStringLiteral("/VeloraUpdater.log"));
        writeUpdateNote(
            updateNotePath(dataFolder + QStringLiteral("/TempDownloads")),
            {program, {QStringLiteral("--headless"), QStringLiteral("--folder"), dataFolder}, root.path()});
        offer(c.file());
        EXPECT_EQ(runUpdater(), 3) << log().toStdString();
        EXPECT_EQ(test::readAll(program), before);
        EXPECT_EQ(installedFiles(), kInstalled);
        EXPECT_TRUE(log().contains(QStringLiteral("Geweigerd: ") +
                                   (c.reason.contains(u"%1") ? c.reason.arg(download) : c.reason)))
            << log().toStdString();
        EXPECT_FALSE(QFileInfo::exists(download));
        const pid_t pid = waitForLink();
        ASSERT_NE(pid, 0) << "the old version does not run again";
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }
    EXPECT_FALSE(QFileInfo::exists(dataFolder + QStringLiteral("/Backups/VeloraKarvexClient")));
}

// A new version that does not keep running is taken back: the previous program file is put back
// and started.
TEST_F(UpdaterRun, ANewVersionThatDoesNotRunIsRolledBack) {
    offer(programs->failsToStart);
    EXPECT_EQ(runUpdater(), 5) << log().toStdString();
    EXPECT_EQ(test::readAll(program), test::readAll(programs->installed));
    EXPECT_TRUE(QFileInfo(program).isExecutable());
    EXPECT_TRUE(log().contains(QStringLiteral("Versie 1.0.0.0 is teruggezet"))) << log().toStdString();
    const pid_t pid = waitForLink();
    ASSERT_NE(pid, 0) << "the old version does not run again";
    EXPECT_EQ(versionOfInstalled(), QStringLiteral("Vindo Velora Karvex koppeling 1.0.0.0"));
}

// While the link holds its folder nothing is replaced; the updater gives up and says so.
TEST_F(UpdaterRun, ALinkThatKeepsItsFolderIsLeftAlone) {
    offer(programs->newer);
    const int fd = ::open(QFile::encodeName(dataFolder + QStringLiteral("/.VeloraKarvex.lock")).constData(),
                          O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    EXPECT_EQ(runUpdater(1000), 2);
    ::close(fd);
    EXPECT_EQ(test::readAll(program), test::readAll(programs->installed));
    EXPECT_TRUE(QFileInfo::exists(download));
    EXPECT_TRUE(log().contains(
        QStringLiteral(
            "De koppeling heeft de map %1 na 1 seconden nog niet vrijgegeven; er is niets veranderd")
            .arg(dataFolder)))
        << log().toStdString();
    EXPECT_EQ(lockHolder(dataFolder), 0) << "nothing was started";
}

}  // namespace
}  // namespace vk
