// VeloraUpdater as a process, on a real installation: a copy of this build's program file that
// carries a test release key, the updater beside it, a data folder of its own, and a download in
// its TempDownloads as the link leaves it (with its note). The newer program is the same build
// with another version record of the same size, signed with the test key.
#include "support/ReleaseKit.h"
#include "support/TempFolder.h"
#include "update/UpdateMarker.h"
#include "update/UpdateNote.h"
#include "updater/ProgramCheck.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QThread>

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <memory>

namespace vk {
namespace {

// What every case starts from, made once: the key pairs and the program files.
struct Programs {
    test::TempFolder folder;
    QString installed;      // 1.0.0.0 with the test key as its release key, signed
    QString newer;          // 1.0.0.1, signed with the test key
    QString older;          // 0.9.0.0, signed with the test key
    QString unsigned_;      // 1.0.0.1, not signed
    QString otherKey;       // 1.0.0.1, signed with another key
    QString failsToStart;   // 1.0.0.1, signed, but it names a library that is not there
    QString sameVersion;    // 1.0.0.0, signed: not newer
    QString nineInstalled;  // 1.0.9, the installed program of a numeric comparison
    QString tenNewer;       // 1.0.10: newer as numbers, older as text (of the same record size)

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
        // shorter versions than the built one: their records are padded to its record's size
        const auto shortVersion = [&](const QString& name, const QString& version) {
            const QString path = folder.file(name);
            QFile::copy(installed, path);
            QByteArray record = test::versionRecordOf(version);
            record.append(
                QByteArray(test::versionRecordOf(QStringLiteral("1.0.0.0")).size() - record.size(), '\0'));
            const QString recordFile = folder.write(name + QStringLiteral(".record"), record);
            test::runObjcopy(
                {QStringLiteral("--update-section"), QStringLiteral(".vk_version=") + recordFile}, path);
            test::signProgram(key.privateKeyPem, path);
            return path;
        };
        nineInstalled = shortVersion(QStringLiteral("nine"), QStringLiteral("1.0.9"));
        tenNewer = shortVersion(QStringLiteral("ten"), QStringLiteral("1.0.10"));
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

// Whether two files hold the same bytes; when not, their sizes and the first offset where they
// differ (a program file is too large to print).
::testing::AssertionResult sameBytes(const QString& actual, const QString& expected) {
    const QByteArray a = test::readAll(actual);
    const QByteArray b = test::readAll(expected);
    if (a == b) {
        return ::testing::AssertionSuccess();
    }
    qsizetype at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at]) {
        ++at;
    }
    return ::testing::AssertionFailure()
           << actual.toStdString() << " (" << a.size() << " bytes) differs from " << expected.toStdString()
           << " (" << b.size() << " bytes) from offset " << at;
}

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
    // read without throwing: the link removes the file when it ends
    QFile file(path);
    const pid_t pid =
        file.open(QIODevice::ReadOnly) ? static_cast<pid_t>(file.readLine().trimmed().toLongLong()) : 0;
    return taken && pid > 0 && ::kill(pid, 0) == 0 ? pid : 0;
}

// Every process whose parent is this test: the links an updater started are handed to it when the
// updater ends (it is a subreaper).
QList<pid_t> childrenOfThisTest() {
    QList<pid_t> children;
    DIR* proc = ::opendir("/proc");
    while (proc != nullptr) {
        const dirent* entry = ::readdir(proc);
        if (entry == nullptr) {
            break;
        }
        bool numbered = false;
        const pid_t pid = QByteArray(entry->d_name).toInt(&numbered);
        if (!numbered) {
            continue;
        }
        // read without throwing: a process may end while it is looked at
        QFile statFile(QStringLiteral("/proc/%1/stat").arg(pid));
        const QByteArray stat = statFile.open(QIODevice::ReadOnly) ? statFile.readAll() : QByteArray();
        // "pid (name) state ppid ...": the name may hold blanks, the last ')' ends it
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1].toInt() == ::getpid()) {
            children << pid;
        }
    }
    if (proc != nullptr) {
        ::closedir(proc);
    }
    return children;
}

void endEveryChild() {
    const QList<pid_t> children = childrenOfThisTest();
    for (const pid_t pid : children) {
        ::kill(pid, SIGKILL);
    }
    for (const pid_t pid : children) {
        ::waitpid(pid, nullptr, 0);
    }
}

unsigned modeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// The versions the updater compares are dotted numbers, compared part by part as numbers; anything
// else has no order.
TEST(UpdaterVersions, AreComparedAsDottedNumbers) {
    struct Case {
        const char* older;
        const char* newer;
        std::optional<bool> isOlder;
    };
    const std::vector<Case> cases{
        {"1.0.0.9", "1.0.0.10", true},
        {"1.0.0.10", "1.0.0.9", false},
        {"1.0.0.1", "1.0.0.1", false},
        {"1.0.9", "1.0.10", true},
        {"2.0", "10.0", true},
        {"1.0.0.a", "1.0.0.1", std::nullopt},
        {"1.0.0.1", "1.0.0.1b", std::nullopt},
        {"", "1.0", std::nullopt},
        {"1..0", "1.0.1", std::nullopt},
        {"1.0", "-1.0", std::nullopt},
        {"1.0.0.1", "1.0.0.2\n", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isOlderDottedVersion(QString::fromLatin1(c.older), QString::fromLatin1(c.newer)), c.isOlder)
            << c.older << " against " << c.newer;
    }
}

struct Outcome {
    int exitCode = -1;
    bool killed = false;  // ended by a signal
};

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
        downloads = dataFolder + QStringLiteral("/TempDownloads");
        QDir(dataFolder).mkpath(QStringLiteral("TempDownloads"));
        program = installFolder + QStringLiteral("/VeloraKarvexClient");
        updater = installFolder + QStringLiteral("/VeloraUpdater");
        QFile::copy(programs->installed, program);
        QFile::copy(QStringLiteral(VK_UPDATER_PATH), updater);
        download = downloads + QStringLiteral("/VeloraKarvexClient");
        settingsFile = root.write(QStringLiteral("gegevens met spatie's \u00e9/VeloraKarvex.xml"),
                                  "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<Configuration>\r\n"
                                  "  <Hoofdscherm>\r\n    <Debiteur_Text>1024</Debiteur_Text>\r\n"
                                  "  </Hoofdscherm>\r\n</Configuration>\r\n");
        // the settings as a run of the link leaves them: every later run leaves them the same
        runOnce();
        settingsBefore = test::readAll(settingsFile);
        writeNote();
    }
    ~UpdaterRun() override {
        // whatever the updater started ends with the test
        endEveryChild();
    }

    void writeNote() const {
        writeUpdateNote(
            updateNotePath(downloads),
            {program, {QStringLiteral("--headless"), QStringLiteral("--folder"), dataFolder}, root.path()});
    }
    // The file as the download; a second name of it where the file system allows, so that a large
    // file is not copied.
    void offer(const QString& file) const {
        QFile::remove(download);
        if (::link(QFile::encodeName(file).constData(), QFile::encodeName(download).constData()) != 0) {
            ASSERT_TRUE(QFile::copy(file, download));
        }
    }

    static QProcessEnvironment environment(const QList<std::pair<QString, QString>>& extra) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VELORA_UPDATER_LOCK_WAIT_MS"), QStringLiteral("20000"));
        env.insert(QStringLiteral("VELORA_UPDATER_HOLD_MS"), QStringLiteral("1500"));
        // no display: the links it starts run without their window
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            env.remove(QString::fromLatin1(name));
        }
        for (const auto& [name, value] : extra) {
            env.insert(name, value);
        }
        return env;
    }

    // Runs the updater as the link starts it: one argument, the download's path in apostrophes.
    Outcome runUpdater(const QList<std::pair<QString, QString>>& extra = {}, const QString& argument = {}) {
        QProcess process;
        startUpdater(process, extra, argument);
        EXPECT_TRUE(process.waitForFinished(120000));
        return {process.exitCode(), process.exitStatus() != QProcess::NormalExit};
    }
    void startUpdater(QProcess& process, const QList<std::pair<QString, QString>>& extra = {},
                      const QString& argument = {}) {
        process.setProcessEnvironment(environment(extra));
        // the links it starts keep its output open: the output goes to a file, not a pipe
        process.setStandardOutputFile(root.file(QStringLiteral("updater.out")));
        process.setStandardErrorFile(root.file(QStringLiteral("updater.out")), QIODevice::Append);
        process.start(updater, {argument.isEmpty() ? u'\'' + download + u'\'' : argument});
        ASSERT_TRUE(process.waitForStarted());
    }
    Outcome recover(const QList<std::pair<QString, QString>>& extra = {}) {
        QProcess process;
        process.setProcessEnvironment(environment(extra));
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(updater, {QStringLiteral("--recover")});
        EXPECT_TRUE(process.waitForFinished(60000));
        recoverOutput = QString::fromUtf8(process.readAll());
        return {process.exitCode(), process.exitStatus() != QProcess::NormalExit};
    }
    QString updaterOutput() const {
        return QString::fromUtf8(test::readAll(root.file(QStringLiteral("updater.out"))));
    }

    // The program and the updater in the installation folder, the previous program kept beside
    // them and the installation's lock: no copy left half way, no marker of an unsettled update.
    QStringList installedFiles() const {
        return QDir(installFolder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }
    inline static const QStringList kBeforeAnUpdate{QStringLiteral("VeloraKarvexClient"),
                                                    QStringLiteral("VeloraUpdater")};
    inline static const QStringList kAfterAnUpdate{
        QStringLiteral(".VeloraKarvexClient.previous"), QStringLiteral(".VeloraUpdater.lock"),
        QStringLiteral("VeloraKarvexClient"), QStringLiteral("VeloraUpdater")};
    inline static const QStringList kAfterARefusal{QStringLiteral(".VeloraUpdater.lock"),
                                                   QStringLiteral("VeloraKarvexClient"),
                                                   QStringLiteral("VeloraUpdater")};
    bool marked() const {
        return QFileInfo::exists(installFolder + QStringLiteral("/.VeloraKarvexClient.update"));
    }

    QString log() const {
        return QString::fromUtf8(test::readAll(dataFolder + QStringLiteral("/VeloraUpdater.log")));
    }
    std::string everything() const {
        return (log() + QStringLiteral("\n--- updater output:\n") + updaterOutput() +
                QStringLiteral("\n--- recover:\n") + recoverOutput)
            .toStdString();
    }

    // Waits until a link holds the data folder; its process.
    pid_t waitForLink(int ms = 30000) const {
        const QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired()) {
            if (const pid_t pid = lockHolder(dataFolder)) {
                return pid;
            }
            QThread::msleep(50);
        }
        return 0;
    }
    void stopLink() const {
        if (const pid_t pid = lockHolder(dataFolder)) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    }
    // Waits until the updater has seen the new version hold its folder and waits out the hold time.
    // While it looks for the holder it reads the system's table of locks between any two of its
    // pauses; once it has seen it, it pauses without reading. False when the updater ended first.
    static bool updaterWaitsOutTheHold(QProcess& updater) {
        const qint64 pid = updater.processId();
        // a count from a file of /proc, read without throwing: the updater may end meanwhile
        const auto count = [](const QString& file, const QByteArray& name) -> qint64 {
            QFile f(file);
            if (!f.open(QIODevice::ReadOnly)) {
                return -1;
            }
            for (const QByteArray& line : f.readAll().split('\n')) {
                if (line.startsWith(name)) {
                    return line.mid(name.size()).trimmed().toLongLong();
                }
            }
            return -1;
        };
        qint64 reads = -1;
        qint64 pausesThen = 0;
        while (!updater.waitForFinished(0)) {
            const qint64 readsNow = count(QStringLiteral("/proc/%1/io").arg(pid), "syscr:");
            const qint64 pauses =
                count(QStringLiteral("/proc/%1/task/%1/status").arg(pid), "voluntary_ctxt_switches:");
            if (readsNow < 0 || pauses < 0) {
                return false;
            }
            if (readsNow != reads) {
                reads = readsNow;
                pausesThen = pauses;
            } else if (pauses >= pausesThen + 3) {
                return true;
            }
            QThread::msleep(10);
        }
        return false;
    }
    QStringList commandLineOf(pid_t pid) const {
        return QString::fromUtf8(test::readAll(QStringLiteral("/proc/%1/cmdline").arg(pid)))
            .split(QChar(0), Qt::SkipEmptyParts);
    }

    QString versionOfInstalled() const {
        QProcess p;
        p.start(program, {QStringLiteral("--version")});
        p.waitForFinished(30000);
        return p.exitCode() == 0 ? QString::fromUtf8(p.readAllStandardOutput()).trimmed()
                                 : QStringLiteral("exit code %1").arg(p.exitCode());
    }

    // What every case must leave: a program that runs, on a data folder whose settings the update
    // did not touch.
    void expectARunnableLink() {
        EXPECT_EQ(test::readAll(settingsFile), settingsBefore);
        EXPECT_TRUE(versionOfInstalled().startsWith(QStringLiteral("Vindo Velora Karvex koppeling")))
            << versionOfInstalled().toStdString();
        stopLink();
        runOnce();
    }
    void runOnce() const {
        QProcess once;
        once.start(program, {QStringLiteral("--headless"), QStringLiteral("--once"),
                             QStringLiteral("--folder"), dataFolder});
        ASSERT_TRUE(once.waitForFinished(60000));
        EXPECT_EQ(once.exitCode(), 0) << once.readAllStandardError().toStdString();
    }

    inline static std::unique_ptr<Programs> programs;
    test::TempFolder root;
    QString installFolder;
    QString dataFolder;
    QString downloads;
    QString program;
    QString updater;
    QString download;
    QString settingsFile;
    QByteArray settingsBefore;
    QString recoverOutput;
};

TEST_F(UpdaterRun, ANewerSignedVersionIsInstalledStartedAndKept) {
    // what an updater killed while it copied leaves, beside the program and in Backups, goes
    QDir(dataFolder).mkpath(QStringLiteral("Backups"));
    for (const QString& folder : {installFolder, dataFolder + QStringLiteral("/Backups")}) {
        QFile left(folder + QStringLiteral("/.VeloraKarvexClient.vk-update-999999"));
        ASSERT_TRUE(left.open(QIODevice::WriteOnly));
        left.write("half");
    }
    offer(programs->newer);
    EXPECT_EQ(runUpdater().exitCode, 0) << everything();
    EXPECT_TRUE(sameBytes(program, programs->newer));
    EXPECT_TRUE(QFileInfo(program).isExecutable());
    EXPECT_EQ(installedFiles(), kAfterAnUpdate);
    EXPECT_EQ(QDir(dataFolder + QStringLiteral("/Backups")).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("VeloraKarvexClient")});
    EXPECT_EQ(versionOfInstalled(), QStringLiteral("Vindo Velora Karvex koppeling 1.0.0.1"));
    // the previous version is kept beside the program and in Backups; the download and its note are gone
    EXPECT_TRUE(
        sameBytes(installFolder + QStringLiteral("/.VeloraKarvexClient.previous"), programs->installed));
    EXPECT_TRUE(sameBytes(dataFolder + QStringLiteral("/Backups/VeloraKarvexClient"), programs->installed));
    EXPECT_FALSE(QFileInfo::exists(download));
    EXPECT_FALSE(QFileInfo::exists(updateNotePath(downloads)));
    // the new version runs, from the program file, with the arguments of the note
    const pid_t pid = waitForLink();
    ASSERT_NE(pid, 0);
    EXPECT_EQ(commandLineOf(pid),
              (QStringList{program, QStringLiteral("--headless"), QStringLiteral("--folder"), dataFolder}));
    EXPECT_TRUE(
        log().contains(QStringLiteral("Versie 1.0.0.1 draait en houdt de map %1 vast").arg(dataFolder)))
        << everything();
    // the lock files are the owner's alone
    for (const QString& lock : {dataFolder + QStringLiteral("/.VeloraKarvex.lock"),
                                installFolder + QStringLiteral("/.VeloraUpdater.lock")}) {
        EXPECT_EQ(modeOf(lock), 0600u) << lock.toStdString();
    }
}

// Versions are compared as numbers, part by part: 1.0.10 is newer than 1.0.9.
TEST_F(UpdaterRun, VersionsAreComparedAsNumbers) {
    QFile::remove(program);
    QFile::copy(programs->nineInstalled, program);
    offer(programs->tenNewer);
    EXPECT_EQ(runUpdater().exitCode, 0) << everything();
    EXPECT_TRUE(sameBytes(program, programs->tenNewer));
}

// Anything but a newer program of ours, signed with the installed program's key, that starts on
// this computer, is refused: the program file stays as it was and the old version is started again.
TEST_F(UpdaterRun, AnythingElseIsRefusedAndTheOldVersionRunsAgain) {
    struct Case {
        const char* name;
        std::function<QString()> file;
        QString reason;
    };
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
        {"a signed program that cannot start here", [] { return programs->failsToStart; },
         QStringLiteral("versie 1.0.0.1 start niet op deze computer: het stopt met exit code 127")},
        {"a program over the size limit",
         [&] {
             const QString big = root.file(QStringLiteral("big"));
             QFile::copy(programs->newer, big);
             QFile f(big);
             f.resize(256LL * 1024 * 1024 + 1);  // sparse: no disk is filled
             return big;
         },
         QStringLiteral("%1 is groter dan 268435456 bytes")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(dataFolder + QStringLiteral("/VeloraUpdater.log"));
        writeNote();
        offer(c.file());
        EXPECT_EQ(runUpdater().exitCode, 3) << everything();
        EXPECT_TRUE(sameBytes(program, programs->installed));
        EXPECT_EQ(installedFiles(), kAfterARefusal);
        EXPECT_TRUE(log().contains(QStringLiteral("Geweigerd: ") +
                                   (c.reason.contains(u"%1") ? c.reason.arg(download) : c.reason)))
            << everything();
        EXPECT_FALSE(QFileInfo::exists(download));
        const pid_t pid = waitForLink();
        ASSERT_NE(pid, 0) << "the old version does not run again";
        stopLink();
    }
    EXPECT_FALSE(QFileInfo::exists(dataFolder + QStringLiteral("/Backups/VeloraKarvexClient")));
    expectARunnableLink();
}

// A new version that takes its folder, is seen to hold it, and ends before the hold time is over is
// taken back: the previous program file is put back and started. Where the kept copy beside the
// program was changed meanwhile, its bytes are refused and the copy in Backups, still the previous
// program's, is put back.
TEST_F(UpdaterRun, ANewVersionThatDoesNotKeepRunningIsRolledBack) {
    for (const bool changeTheKeptCopy : {false, true}) {
        SCOPED_TRACE(changeTheKeptCopy ? "the kept copy changed" : "as kept");
        QFile::remove(dataFolder + QStringLiteral("/VeloraUpdater.log"));
        writeNote();
        offer(programs->newer);
        QProcess process;
        startUpdater(process, {{QStringLiteral("VELORA_UPDATER_HOLD_MS"), QStringLiteral("8000")}});
        const pid_t link = waitForLink();
        ASSERT_NE(link, 0) << everything();
        // it has held its folder, and the updater has seen it do so
        ASSERT_TRUE(updaterWaitsOutTheHold(process)) << "the updater ended before the hold time was over\n"
                                                     << everything();
        if (changeTheKeptCopy) {
            QFile kept(installFolder + QStringLiteral("/.VeloraKarvexClient.previous"));
            ASSERT_TRUE(kept.open(QIODevice::ReadWrite));
            kept.seek(kept.size() / 2);
            kept.write("verdacht");
            kept.close();
        }
        ::kill(link, SIGKILL);
        ::waitpid(link, nullptr, 0);
        ASSERT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitCode(), 5) << everything();
        EXPECT_TRUE(sameBytes(program, programs->installed));
        EXPECT_TRUE(QFileInfo(program).isExecutable());
        EXPECT_FALSE(marked());
        EXPECT_TRUE(log().contains(QStringLiteral("Versie 1.0.0.0 is teruggezet"))) << everything();
        EXPECT_EQ(
            log().contains(
                QStringLiteral(
                    "%1/.VeloraKarvexClient.previous is niet meer de bewaarde vorige versie; die wordt niet "
                    "teruggezet")
                    .arg(installFolder)),
            changeTheKeptCopy)
            << everything();
        ASSERT_NE(waitForLink(), 0) << "the old version does not run again";
        EXPECT_EQ(versionOfInstalled(), QStringLiteral("Vindo Velora Karvex koppeling 1.0.0.0"));
        stopLink();
    }
    expectARunnableLink();
}

// The updater ended at each of its steps (a log-out, a power cut, kill) leaves a program that runs,
// and the next start's --recover settles what it left. A new version that nobody confirmed (no
// link of it held its folder) is taken back once its watch is over; one that runs confirms itself.
TEST_F(UpdaterRun, AnUpdaterEndedAtAnyStepLeavesAProgramThatRuns) {
    struct Case {
        const char* step;
        bool swapped;          // the new program was in place when the updater ended
        bool newVersionStays;  // after --recover
    };
    const std::vector<Case> cases{
        {"after-staging", false, false},
        {"after-keeping", false, false},
        {"after-swap", true, false},
        {"during-watch", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.step);
        QFile::remove(program);
        QFile::copy(programs->installed, program);
        writeNote();
        offer(programs->newer);
        // a short watch, so that it is over when --recover runs
        const Outcome run =
            runUpdater({{QStringLiteral("VELORA_UPDATER_FAULT"), QString::fromLatin1(c.step)},
                        {QStringLiteral("VELORA_UPDATER_START_WAIT_MS"), QStringLiteral("300")},
                        {QStringLiteral("VELORA_UPDATER_HOLD_MS"), QStringLiteral("300")}});
        EXPECT_TRUE(run.killed) << everything();
        EXPECT_TRUE(sameBytes(program, c.swapped ? programs->newer : programs->installed));
        EXPECT_EQ(marked(), c.swapped);
        if (c.newVersionStays) {
            // the new version the updater started runs on and confirms the update itself
            ASSERT_NE(waitForLink(), 0) << everything();
            const QDeadlineTimer deadline(30000);
            while (marked() && !deadline.hasExpired()) {
                QThread::msleep(100);
            }
            EXPECT_FALSE(marked()) << "the running new version did not confirm the update";
        } else {
            QThread::msleep(700);
        }
        EXPECT_EQ(recover().exitCode, 0) << everything();
        EXPECT_FALSE(marked()) << everything();
        EXPECT_TRUE(sameBytes(program, c.newVersionStays ? programs->newer : programs->installed));
        expectARunnableLink();
        endEveryChild();
        // a staged copy that the killed updater left goes at the next updater's start
        const QStringList left =
            QDir(installFolder)
                .entryList({QStringLiteral(".VeloraKarvexClient.vk-update-*")}, QDir::Files | QDir::Hidden);
        if (!left.isEmpty()) {
            offer(programs->older);
            EXPECT_EQ(runUpdater().exitCode, 3) << everything();
            EXPECT_TRUE(QDir(installFolder)
                            .entryList({QStringLiteral(".VeloraKarvexClient.vk-update-*")},
                                       QDir::Files | QDir::Hidden)
                            .isEmpty());
        }
        endEveryChild();
    }
}

// --recover puts the previous program back at once, before the watch is over, when the installed
// one does not start; it changes nothing while an updater holds the installation, and refuses a
// kept copy whose bytes are not the recorded ones.
TEST_F(UpdaterRun, RecoverSettlesOnlyWhatItMay) {
    const auto leaveUnsettled = [&] {
        QFile::remove(program);
        QFile::copy(programs->installed, program);
        writeNote();
        offer(programs->newer);
        ASSERT_TRUE(
            runUpdater({{QStringLiteral("VELORA_UPDATER_FAULT"), QStringLiteral("after-swap")}}).killed);
        ASSERT_TRUE(marked());
    };
    const auto replaceInstalledWith = [&](const QString& file) {
        const QString staged = program + QStringLiteral(".tmp");
        QFile::copy(file, staged);
        ::rename(QFile::encodeName(staged).constData(), QFile::encodeName(program).constData());
    };

    // the installed program cannot start: back at once, though the watch (40 s) is not over
    leaveUnsettled();
    replaceInstalledWith(programs->failsToStart);
    EXPECT_EQ(recover().exitCode, 0);
    EXPECT_FALSE(marked()) << everything();
    EXPECT_TRUE(sameBytes(program, programs->installed));

    // the new version starts and its watch is not over: it is left to confirm itself
    leaveUnsettled();
    EXPECT_EQ(recover().exitCode, 0);
    EXPECT_TRUE(marked()) << everything();
    EXPECT_TRUE(sameBytes(program, programs->newer));

    // an updater holds the installation: nothing is done, however the installed program fares
    replaceInstalledWith(programs->failsToStart);
    {
        const int fd =
            ::open(QFile::encodeName(installFolder + QStringLiteral("/.VeloraUpdater.lock")).constData(),
                   O_RDWR | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::flock(fd, LOCK_EX), 0);
        EXPECT_EQ(
            recover({{QStringLiteral("VELORA_UPDATER_RECOVER_WAIT_MS"), QStringLiteral("300")}}).exitCode, 0);
        ::close(fd);
    }
    EXPECT_TRUE(marked());
    EXPECT_TRUE(sameBytes(program, programs->failsToStart));
    EXPECT_TRUE(recoverOutput.contains(
        QStringLiteral("Een andere update van %1 is bezig; er wordt niets hersteld").arg(installFolder)))
        << everything();

    // the kept copy no longer holds the previous program: it is not installed, the marker stays
    QFile::remove(installFolder + QStringLiteral("/.VeloraKarvexClient.previous"));
    QFile::copy(programs->older, installFolder + QStringLiteral("/.VeloraKarvexClient.previous"));
    EXPECT_EQ(recover().exitCode, 0);
    EXPECT_TRUE(sameBytes(program, programs->failsToStart));
    EXPECT_TRUE(marked());
    EXPECT_TRUE(recoverOutput.contains(
        QStringLiteral(
            "%1/.VeloraKarvexClient.previous is niet meer de bewaarde vorige versie; die wordt niet "
            "teruggezet")
            .arg(installFolder)))
        << everything();
    // put right by hand, as the README says: the recorded bytes back as the kept copy
    QFile::remove(installFolder + QStringLiteral("/.VeloraKarvexClient.previous"));
    QFile::copy(programs->installed, installFolder + QStringLiteral("/.VeloraKarvexClient.previous"));
    EXPECT_EQ(recover().exitCode, 0);
    EXPECT_FALSE(marked());
    EXPECT_TRUE(sameBytes(program, programs->installed));
    expectARunnableLink();
}

// A link confirms the unsettled update of its installation only as the new version, and only while
// no updater or --recover works there; the previous version leaves the marker for --recover.
TEST_F(UpdaterRun, OnlyTheNewVersionConfirmsItsUpdate) {
    offer(programs->newer);
    ASSERT_TRUE(runUpdater({{QStringLiteral("VELORA_UPDATER_FAULT"), QStringLiteral("after-swap")}}).killed);
    ASSERT_TRUE(marked()) << everything();
    struct Case {
        const char* name;
        QString installed;
        bool installationHeld;
        ConfirmOutcome outcome;
        bool markedAfter;
    };
    const std::vector<Case> cases{
        {"the new version, an updater at work", programs->newer, true, ConfirmOutcome::Busy, true},
        {"the previous version", programs->installed, false, ConfirmOutcome::PreviousRuns, true},
        {"the new version", programs->newer, false, ConfirmOutcome::Confirmed, false},
        {"nothing unsettled", programs->newer, false, ConfirmOutcome::NothingToConfirm, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString staged = program + QStringLiteral(".tmp");
        QFile::remove(staged);
        ASSERT_TRUE(QFile::copy(c.installed, staged));
        ASSERT_EQ(::rename(QFile::encodeName(staged).constData(), QFile::encodeName(program).constData()), 0);
        const int fd =
            ::open(QFile::encodeName(installFolder + QStringLiteral("/.VeloraUpdater.lock")).constData(),
                   O_RDWR | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        if (c.installationHeld) {
            ASSERT_EQ(::flock(fd, LOCK_EX), 0);
        }
        EXPECT_EQ(static_cast<int>(confirmUpdate(program)), static_cast<int>(c.outcome));
        ::close(fd);
        EXPECT_EQ(marked(), c.markedAfter);
    }
}

// A stop request during the watch waits until the update is settled.
TEST_F(UpdaterRun, AStopRequestDuringTheWatchWaitsForTheOutcome) {
    offer(programs->newer);
    QProcess process;
    startUpdater(process, {{QStringLiteral("VELORA_UPDATER_HOLD_MS"), QStringLiteral("3000")}});
    ASSERT_NE(waitForLink(), 0) << everything();
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        ::kill(static_cast<pid_t>(process.processId()), signal);
    }
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0) << everything();
    EXPECT_FALSE(marked());
    EXPECT_TRUE(sameBytes(program, programs->newer));
}

// The note only says how the link ran. Whatever else it says, or however it cannot be read, the
// program beside the updater is what is checked and started, on the download's data folder, and a
// good update is not taken back for it.
TEST_F(UpdaterRun, TheNoteDecidesNothingButHowTheLinkRan) {
    const QString shellWasHere = root.file(QStringLiteral("shell-was-here"));
    const QString otherCopy = root.mkdir(QStringLiteral("elders")) + QStringLiteral("/VeloraKarvexClient");
    QFile::copy(programs->otherKey, otherCopy);
    struct Case {
        const char* name;
        std::function<void(const QString& note)> write;
        bool withDisplay;
        QStringList arguments;  // of the link the updater starts, after the program
    };
    const auto jsonNote = [](const QString& programFile, const QStringList& arguments) {
        return [=](const QString& note) {
            QFile::remove(note);
            writeUpdateNote(note, {programFile, arguments, QStringLiteral("/")});
        };
    };
    const auto rawNote = [](const QByteArray& bytes) {
        return [=](const QString& note) {
            QFile::remove(note);
            QFile f(note);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        };
    };
    const QStringList headlessOnData{QStringLiteral("--headless"), QStringLiteral("--folder"), dataFolder};
    const QStringList windowOnData{QStringLiteral("--folder"), dataFolder};
    int writer = -1;  // the writing end of a pipe as the note, held while the updater runs
    const std::vector<Case> cases{
        {"a shell with a command",
         jsonNote(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), "touch '" + shellWasHere + "'"}), false,
         headlessOnData},
        {"a relative program file", jsonNote(QStringLiteral("VeloraKarvexClient"), headlessOnData), false,
         headlessOnData},
        {"another copy of the program", jsonNote(otherCopy, headlessOnData), false, headlessOnData},
        {"a folder as the program", jsonNote(installFolder, headlessOnData), false, headlessOnData},
        {"another data folder",
         jsonNote(program, {QStringLiteral("--headless"), QStringLiteral("--folder"), root.path()}), false,
         headlessOnData},
        {"a malformed note, with a display", rawNote("{\"programFile\": [\n\"kapot"), true, windowOnData},
        {"a malformed note, without a display", rawNote("{\"programFile\": [\n\"kapot"), false,
         headlessOnData},
        {"a huge note", rawNote(QByteArray(65 * 1024, ' ') + "{}"), false, headlessOnData},
        {"a pipe held open for writing (a read would wait for ever)",
         [&](const QString& note) {
             QFile::remove(note);
             ASSERT_EQ(::mkfifo(QFile::encodeName(note).constData(), 0600), 0);
             writer = ::open(QFile::encodeName(note).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
             ASSERT_GE(writer, 0);
         },
         false, headlessOnData},
        {"a link to an endless device",
         [](const QString& note) {
             QFile::remove(note);
             ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), note));
         },
         false, headlessOnData},
        {"a link to a note elsewhere (headless), with a display",
         [&](const QString& note) {
             QFile::remove(note);
             const QString elsewhere = root.file(QStringLiteral("elders/notitie"));
             QFile::remove(elsewhere);
             writeUpdateNote(elsewhere, {program, headlessOnData, root.path()});
             ASSERT_TRUE(QFile::link(elsewhere, note));
         },
         true, windowOnData},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto closeWriter = qScopeGuard([&] {
            if (writer >= 0) {
                ::close(writer);
                writer = -1;
            }
        });
        QFile::remove(program);
        QFile::copy(programs->installed, program);
        QFile::remove(dataFolder + QStringLiteral("/VeloraUpdater.log"));
        c.write(updateNotePath(downloads));
        offer(programs->newer);
        QList<std::pair<QString, QString>> extra;
        if (c.withDisplay) {
            extra.append({QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen")});
        }
        EXPECT_EQ(runUpdater(extra).exitCode, 0) << everything();
        EXPECT_TRUE(sameBytes(program, programs->newer));
        EXPECT_TRUE(sameBytes(otherCopy, programs->otherKey));
        EXPECT_FALSE(QFileInfo::exists(shellWasHere));
        const pid_t pid = waitForLink();
        ASSERT_NE(pid, 0) << everything();
        EXPECT_EQ(commandLineOf(pid), QStringList{program} + c.arguments);
        stopLink();
        endEveryChild();
        QFile::remove(updateNotePath(downloads));
    }
}

// Every file the updater opens in the data folder is opened below it without following a link,
// without blocking and with a size limit; an argument that is not a plain file directly in
// TempDownloads touches nothing.
TEST_F(UpdaterRun, TheDataFolderCannotLeadTheUpdaterElsewhere) {
    // the log and Backups as links: nothing is written where they point, the update goes on
    const QString elsewhere = root.mkdir(QStringLiteral("elders"));
    const QString target = root.write(QStringLiteral("elders/doel.txt"), "ongewijzigd");
    ASSERT_TRUE(QFile::link(target, dataFolder + QStringLiteral("/VeloraUpdater.log")));
    ASSERT_TRUE(QFile::link(elsewhere, dataFolder + QStringLiteral("/Backups")));
    offer(programs->newer);
    EXPECT_EQ(runUpdater().exitCode, 0) << everything();
    EXPECT_EQ(test::readAll(target), QByteArray("ongewijzigd"));
    EXPECT_EQ(QDir(elsewhere).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("doel.txt")});
    EXPECT_TRUE(sameBytes(program, programs->newer));
    stopLink();

    // downloads that are no plain file, and arguments that are not as the link gives them
    const QString outside = root.mkdir(QStringLiteral("x")) + QStringLiteral("/y");
    QDir().mkpath(outside);
    const QString txt = root.write(QStringLiteral("x/y/file.txt"), "blijft");
    QDir().mkpath(downloads + QStringLiteral("/sub"));
    struct Case {
        const char* name;
        std::function<void()> prepare;
        QString argument;
    };
    const QString fifo = downloads + QStringLiteral("/pijp");
    const QString zero = downloads + QStringLiteral("/nullen");
    const std::vector<Case> cases{
        {"a pipe", [&] { ::mkfifo(QFile::encodeName(fifo).constData(), 0600); }, u'\'' + fifo + u'\''},
        {"a link to an endless device", [&] { QFile::link(QStringLiteral("/dev/zero"), zero); },
         u'\'' + zero + u'\''},
        {"a folder", [] {}, u'\'' + downloads + QStringLiteral("/sub'")},
        {"a file outside TempDownloads", [] {}, u'\'' + txt + u'\''},
        {"a path through ..", [&] { offer(programs->newer); },
         u'\'' + downloads + QStringLiteral("/../TempDownloads/VeloraKarvexClient'")},
        {"a relative path", [] {}, QStringLiteral("'TempDownloads/VeloraKarvexClient'")},
        {"no apostrophes", [] {}, download},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.prepare();
        const QStringList dataBefore =
            QDir(dataFolder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        const QStringList installBefore = installedFiles();
        const QByteArray logBefore = test::readAll(dataFolder + QStringLiteral("/VeloraUpdater.log"));
        QProcess process;
        process.setProcessEnvironment(environment({}));
        process.start(updater, {c.argument});
        ASSERT_TRUE(process.waitForFinished(10000)) << "the updater hangs";
        EXPECT_EQ(process.exitCode(), 1);
        const QString said = QString::fromUtf8(process.readAllStandardError());
        EXPECT_EQ(said.count(u'\n'), 1) << said.toStdString();
        EXPECT_EQ(QDir(dataFolder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                  dataBefore);
        EXPECT_EQ(installedFiles(), installBefore);
        EXPECT_EQ(test::readAll(dataFolder + QStringLiteral("/VeloraUpdater.log")), logBefore);
        EXPECT_EQ(QDir(root.file(QStringLiteral("x")))
                      .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                  QStringList{QStringLiteral("y")});
        EXPECT_EQ(test::readAll(txt), QByteArray("blijft"));
    }
}

// While the link holds its folder nothing is replaced; the updater gives up and says so. A lock
// file that an earlier version left readable by all becomes the owner's alone.
TEST_F(UpdaterRun, ALinkThatKeepsItsFolderIsLeftAlone) {
    offer(programs->newer);
    const QString lockFile = dataFolder + QStringLiteral("/.VeloraKarvex.lock");
    const int fd = ::open(QFile::encodeName(lockFile).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::fchmod(fd, 0644), 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    EXPECT_EQ(runUpdater({{QStringLiteral("VELORA_UPDATER_LOCK_WAIT_MS"), QStringLiteral("1000")}}).exitCode,
              2);
    ::close(fd);
    EXPECT_TRUE(sameBytes(program, programs->installed));
    EXPECT_TRUE(QFileInfo::exists(download));
    EXPECT_TRUE(log().contains(
        QStringLiteral(
            "De koppeling heeft de map %1 na 1 seconden nog niet vrijgegeven; er is niets veranderd")
            .arg(dataFolder)))
        << everything();
    EXPECT_EQ(lockHolder(dataFolder), 0) << "nothing was started";
    EXPECT_EQ(modeOf(lockFile), 0600u);
}

}  // namespace
}  // namespace vk
