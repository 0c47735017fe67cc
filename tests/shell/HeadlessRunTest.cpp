#include "platform/WindowPorts.h"
#include "settings/Settings.h"
#include "shell/ClientProcess.h"
#include "shell/CommandLine.h"
#include "shell/ExchangeFolders.h"
#include "shell/PollingTimer.h"
#include "support/Ports.h"
#include "support/TempFolder.h"

#include <QDate>
#include <QDir>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSysInfo>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace vk {
namespace {

using test::exists;

using test::ProcessResult;
using test::runClient;
using test::waitUntilReady;

TEST(HeadlessRun, OneCycleOverAProgramFolderOfItsOwn) {
    test::TempFolder dir;
    // a first run creates the exchange folders
    ProcessResult r = runClient(
        {QStringLiteral("--headless"), QStringLiteral("--once"), QStringLiteral("--folder"), dir.path()});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    for (const char* folder : {"W2W", "W2W/S2C", "W2W/S2C/Backups", "W2W/C2S", "W2W/C2S/Backups"}) {
        EXPECT_TRUE(QFileInfo(dir.file(QString::fromLatin1(folder))).isDir()) << folder;
    }
    EXPECT_TRUE(r.out.isEmpty());

    dir.write(QStringLiteral("W2W/S2C/a.s2c"), "<kind>DEL</kind><id>1</id>");
    dir.write(QStringLiteral("W2W/S2C/b.s2c"), "<kind>ADD</kind><id>2</id>");
    r = runClient({QStringLiteral("--once"), QStringLiteral("--folder=") + dir.path()});
    EXPECT_EQ(r.exitCode, 0);
    const QStringList lines = r.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral(" Verbinding W2W DEL XML: ") + QDir(dir.path()).absolutePath() +
                               QStringLiteral("/W2W/S2C/a.s2c")));
    EXPECT_TRUE(r.out.contains(QStringLiteral(" - W2W XML: ")));
    EXPECT_TRUE(exists(dir.file(QStringLiteral("W2W/S2C/Backups/a.s2c"))));
    EXPECT_TRUE(test::readAll(dir.file(QStringLiteral("W2W/C2S/b.c2s"))).contains("<kind>WOB</kind>"));
    // the run's lines outlive it, in the file of the day
    const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    EXPECT_EQ(QString::fromUtf8(test::readAll(dir.file(QStringLiteral("Logboek/%1.log").arg(today)))), r.out);
}

TEST(HeadlessRun, StopsInOrderOnSigterm) {
    test::TempFolder dir;
    QProcess p;
    p.start(QStringLiteral(VK_CLIENT_PATH),
            {QStringLiteral("--headless"), QStringLiteral("--folder"), dir.path()});
    ASSERT_TRUE(waitUntilReady(p, dir.path()));
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
}

// The whole link as a process on a real folder with its embedded database.
TEST(HeadlessRun, NewOrdersAndAmendmentsReachTheDatabase) {
    test::TempFolder dir;
    dir.write(QStringLiteral("VeloraKarvex.xml"),
              "<Configuration><Hoofdscherm><xLoginServer_Text>sqlite:planning.db</xLoginServer_Text>"
              "<Gebruiker_Text>7</Gebruiker_Text></Hoofdscherm></Configuration>");
    dir.mkdir(QStringLiteral("W2W/S2C"));
    dir.write(QStringLiteral("W2W/S2C/4711.s2c"),
              "<w2w><s2c><kind>ADD</kind><id>4711</id><ssec>201101071146</ssec><passenger>Mevr. de "
              "Vries</passenger>"
              "<costs>1250</costs></s2c></w2w>");
    ProcessResult r = runClient({QStringLiteral("--once"), QStringLiteral("--folder"), dir.path()});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("Verbinding W2W ADD XML:"))) << r.out.toStdString();
    EXPECT_TRUE(test::readAll(dir.file(QStringLiteral("W2W/C2S/4711.c2s"))).contains("<kind>BOB</kind>"));

    dir.write(QStringLiteral("W2W/S2C/4711-annulering.s2c"),
              "<w2w><s2c><kind>UPD</kind><id>4711</id><canceled>1</canceled></s2c></w2w>");
    r = runClient({QStringLiteral("--once"), QStringLiteral("--folder"), dir.path()});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(
        test::readAll(dir.file(QStringLiteral("W2W/C2S/4711-annulering.c2s"))).contains("<kind>BOB</kind>"));

    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("headless-check"));
        db.setDatabaseName(dir.file(QStringLiteral("planning.db")));
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(
            q.exec(QStringLiteral("SELECT pla_extern, pla_opmerking, pla_status, pla_bedrag FROM planning")));
        ASSERT_TRUE(q.next());
        EXPECT_EQ(q.value(0).toInt(), 4711);
        EXPECT_EQ(q.value(1).toString(), QStringLiteral("(VERWIJDERD DOOR OPDRACHTGEVER)"));
        EXPECT_EQ(q.value(2).toString(), QStringLiteral("S"));
        EXPECT_EQ(q.value(3).toString(), QStringLiteral("12.50"));
        EXPECT_FALSE(q.next());
        ASSERT_TRUE(
            q.exec(QStringLiteral("SELECT tra_gebruiker, tra_code FROM TRANSACTIES ORDER BY tra_id")));
        QStringList codes;
        while (q.next()) {
            codes << q.value(0).toString() + u':' + q.value(1).toString();
        }
        EXPECT_EQ(codes, (QStringList{QStringLiteral("7:91"), QStringLiteral("7:93")}));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("headless-check"));
}

// Without a display the window cannot open: one clear line that points to --headless, exit code 2,
// and no abort of the toolkit.
TEST(WindowRun, WithoutADisplayTheProgramSaysSoAndEnds) {
    test::TempFolder dir;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        env.remove(QString::fromLatin1(name));
    }
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(VK_CLIENT_PATH), {QStringLiteral("--folder"), dir.path()});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 2);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    EXPECT_TRUE(err.contains(QStringLiteral("Geen beeldscherm gevonden"))) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("--headless")));
    EXPECT_EQ(err.count(u'\n'), 1);
    EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("VeloraKarvex.xml"))));
}

// The window as a process on the offscreen platform: it starts in the program folder given,
// prepares the exchange folders, and ends in order on SIGTERM with its settings written.
TEST(WindowRun, StartsInItsProgramFolderAndEndsInOrderOnSigterm) {
    test::TempFolder dir;
    QProcess p;
    p.setProcessEnvironment(test::offscreenEnvironment());
    p.start(QStringLiteral(VK_CLIENT_PATH), {QStringLiteral("--folder"), dir.path()});
    ASSERT_TRUE(waitUntilReady(p, dir.path()));
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_TRUE(QFileInfo(dir.file(QStringLiteral("W2W/C2S/Backups"))).isDir());
    const QByteArray stored = test::readAll(dir.file(QStringLiteral("VeloraKarvex.xml")));
    EXPECT_TRUE(stored.contains("<Interval_Text>10</Interval_Text>")) << stored.toStdString();
    EXPECT_TRUE(stored.contains("W2W/S2C</w2wInkomende_Text>"));
}

// Two links on one folder would take the same documents: the second start ends at once with one
// line naming the folder and the holder's process, and writes nothing. A holder that died leaves
// no lock that counts.
TEST(ProgramFolderLock, OneLinkPerProgramFolder) {
    test::TempFolder dir;
    QProcess first;
    first.start(QStringLiteral(VK_CLIENT_PATH),
                {QStringLiteral("--headless"), QStringLiteral("--folder"), dir.path()});
    ASSERT_TRUE(waitUntilReady(first, dir.path()));

    const ProcessResult second =
        runClient({QStringLiteral("--once"), QStringLiteral("--folder"), dir.path()});
    EXPECT_EQ(second.exitCode, 3);
    EXPECT_TRUE(second.err.contains(
        QStringLiteral("is al in gebruik door een andere koppeling (proces %1 op ").arg(first.processId())))
        << second.err.toStdString();
    EXPECT_TRUE(second.err.contains(QDir(dir.path()).absolutePath()));
    EXPECT_EQ(second.err.count(u'\n'), 1);
    EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("VeloraKarvex.xml"))));

    first.kill();  // no orderly end: the lock file stays behind
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_TRUE(QFileInfo::exists(dir.file(QStringLiteral(".VeloraKarvex.lock"))));
    const ProcessResult third = runClient({QStringLiteral("--once"), QStringLiteral("--folder"), dir.path()});
    EXPECT_EQ(third.exitCode, 0) << third.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(dir.file(QStringLiteral("VeloraKarvex.xml"))));
    EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral(".VeloraKarvex.lock")))) << "released at the end";
}

// What a killed link may leave as its lock file holds nothing: the system's lock ended with the
// process. Each start takes the folder over, and ends with its lock file gone.
TEST(ProgramFolderLock, ALockFileThatAKilledLinkLeftHoldsNothing) {
    const std::pair<const char*, QByteArray> leftovers[] = {
        {"empty", QByteArray()},
        {"cut short", "4"},
        {"a dead process", "999999999\nVeloraKarvexClient\nelders\n"},
        // a live process that is no link (this test): the system's lock decides, not the file
        {"a live process", QByteArray::number(::getpid()) + "\nVeloraKarvexClient\n" +
                               QSysInfo::machineHostName().toUtf8() + "\n"},
        {"garbage", QByteArray("\xFF\x00\x01 geen slot", 14)},
    };
    for (const auto& [name, bytes] : leftovers) {
        SCOPED_TRACE(name);
        test::TempFolder dir;
        dir.write(ProgramFolderLock::kFileName.toString(), bytes);
        const ProcessResult run =
            runClient({QStringLiteral("--once"), QStringLiteral("--folder"), dir.path()});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_TRUE(QFileInfo::exists(dir.file(QStringLiteral("VeloraKarvex.xml"))));
        EXPECT_FALSE(QFileInfo::exists(dir.file(ProgramFolderLock::kFileName.toString())));
    }
}

// The lock file is the owner's alone while a link holds it: an account that could read it could
// hold a lock on it and keep every link off the folder. One that an earlier version left readable
// by all is made so as well.
TEST(ProgramFolderLock, TheLockFileIsTheOwnersAlone) {
    for (const bool leftReadable : {false, true}) {
        SCOPED_TRACE(leftReadable ? "left readable by all" : "new");
        test::TempFolder dir;
        const QByteArray lockFile = QFile::encodeName(dir.file(ProgramFolderLock::kFileName.toString()));
        if (leftReadable) {
            dir.write(ProgramFolderLock::kFileName.toString(), "999999999\nVeloraKarvexClient\nelders\n");
            ASSERT_EQ(::chmod(lockFile.constData(), 0644), 0);
        }
        QProcess link;
        link.start(QStringLiteral(VK_CLIENT_PATH),
                   {QStringLiteral("--headless"), QStringLiteral("--folder"), dir.path()});
        // held once the file names this process
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                QFile file(QFile::decodeName(lockFile));
                return file.open(QIODevice::ReadOnly) &&
                       file.readLine().trimmed().toLongLong() == link.processId();
            },
            30000));
        struct stat st {};
        ASSERT_EQ(::stat(lockFile.constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
        link.terminate();
        ASSERT_TRUE(link.waitForFinished(10000));
    }
}

// A lock file that cannot be opened (a folder stands in its place) is not a link that runs: the
// start says why, in one line, with its own exit code.
TEST(ProgramFolderLock, ALockFileThatCannotBeOpenedEndsTheStartWithCode4) {
    test::TempFolder dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir(ProgramFolderLock::kFileName.toString()));
    const ProcessResult run = runClient({QStringLiteral("--once"), QStringLiteral("--folder"), dir.path()});
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_EQ(
        run.err,
        QStringLiteral("Het slot %1/%2 van de programmamap kan niet geopend worden (Is a directory); geen "
                       "koppeling gebruikt het, maar deze koppeling kan het niet overnemen en start niet.\n")
            .arg(QDir(dir.path()).absolutePath(), ProgramFolderLock::kFileName.toString()));
    EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("VeloraKarvex.xml"))));
}

// A program folder that the link's account may not write (the tests run as root, whom no folder
// refuses, so the link runs here as "nobody", from a copy that account can reach). A lock file that
// a killed link left there is taken over: the run starts, and says that it cannot keep its
// settings. A lock file that the account may not even open ends the start with exit code 4.
TEST(ProgramFolderLock, AStaleLockInAReadOnlyFolderIsTakenOver) {
    test::TempFolder dir;
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    const QString client = dir.file(QStringLiteral("VeloraKarvexClient"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(VK_CLIENT_PATH), client));
    ASSERT_EQ(::chmod(QFile::encodeName(client).constData(), 0755), 0);
    const QString folder = dir.mkdir(QStringLiteral("programma"));
    const QString lock =
        dir.write(QStringLiteral("programma/.VeloraKarvex.lock"), "999999999\nVeloraKarvexClient\nelders\n");
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
    const auto runAsNobody = [&] {
        QProcess p;
        // that account may not reach the sanitizer build's suppressions; leaks are not the point here
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
        env.remove(QStringLiteral("LSAN_OPTIONS"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral("setpriv"), {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                            QStringLiteral("--clear-groups"), client,
                                            QStringLiteral("--once"), QStringLiteral("--folder"), folder});
        EXPECT_TRUE(p.waitForFinished(60000));
        return ProcessResult{p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                             QString::fromUtf8(p.readAllStandardError())};
    };

    const ProcessResult run = runAsNobody();
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains(QStringLiteral("in gebruik"))) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("Instellingen niet bewaard"))) << run.err.toStdString();

    ASSERT_EQ(::chmod(QFile::encodeName(lock).constData(), 0600), 0);
    const ProcessResult refused = runAsNobody();
    EXPECT_EQ(refused.exitCode, 4);
    EXPECT_EQ(refused.err,
              QStringLiteral("Het slot %1/.VeloraKarvex.lock van de programmamap kan niet geopend worden "
                             "(Permission denied); geen koppeling gebruikt het, maar deze koppeling kan "
                             "het niet overnemen en start niet.\n")
                  .arg(folder));
    ::chmod(QFile::encodeName(folder).constData(), 0755);  // for the clean-up
}

// The settings file that a run leaves, as a process leaves it on disk: after --once and after SIGTERM.
TEST(HeadlessRun, TheSettingsFileAfterARunIsWholeAndInOrder) {
    test::TempFolder dir;
    dir.write(QStringLiteral("VeloraKarvex.xml"),
              "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\n<Configuration><Hoofdscherm>"
              "<Debiteur_Text>1024</Debiteur_Text></Hoofdscherm></Configuration>");
    const QString base = QDir(dir.path()).absolutePath();
    const QByteArray expected =
        "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<Configuration>\r\n  <Hoofdscherm>\r\n"
        "    <Debiteur_Text>1024</Debiteur_Text>\r\n    <FormVersion>0</FormVersion>\r\n"
        "    <xLoginDatabase_Text/>\r\n    <xLoginServer_Text/>\r\n    <xLoginSQL_Text/>\r\n"
        "    <xPaswoordSQL_Text/>\r\n    <w2wInkomende_Text>" +
        base.toUtf8() + "/W2W/S2C</w2wInkomende_Text>\r\n    <w2wUitgaande_Text>" + base.toUtf8() +
        "/W2W/C2S</w2wUitgaande_Text>\r\n    <Automatisch_Checked>FALSE</Automatisch_Checked>\r\n"
        "    <Backups_Checked>TRUE</Backups_Checked>\r\n    <Bedrijf_Text>0</Bedrijf_Text>\r\n"
        "    <SV_Text>Z</SV_Text>\r\n    <Interval_Text>10</Interval_Text>\r\n"
        "    <kor_oprek_Checked>TRUE</kor_oprek_Checked>\r\n    <costs2_Checked>FALSE</costs2_Checked>\r\n"
        "    <Gebruiker_Text>0</Gebruiker_Text>\r\n    <Tariefcode_Text>0</Tariefcode_Text>\r\n"
        "    <costs_Checked>FALSE</costs_Checked>\r\n    <Scoot_Checked>FALSE</Scoot_Checked>\r\n"
        "  </Hoofdscherm>\r\n</Configuration>\r\n";
    const ProcessResult once = runClient({QStringLiteral("--once"), QStringLiteral("--folder"), dir.path()});
    ASSERT_EQ(once.exitCode, 0) << once.err.toStdString();
    const QByteArray afterOnce = test::readAll(dir.file(QStringLiteral("VeloraKarvex.xml")));
    EXPECT_EQ(afterOnce, expected) << afterOnce.toStdString();

    QProcess polling;
    polling.start(QStringLiteral(VK_CLIENT_PATH),
                  {QStringLiteral("--headless"), QStringLiteral("--folder"), dir.path()});
    ASSERT_TRUE(waitUntilReady(polling, dir.path()));
    polling.terminate();
    ASSERT_TRUE(polling.waitForFinished(10000));
    EXPECT_EQ(polling.exitCode(), 0);
    EXPECT_EQ(test::readAll(dir.file(QStringLiteral("VeloraKarvex.xml"))), afterOnce)
        << "the same file again";
}

struct OptionCase {
    const char* name;
    QStringList arguments;
    int exitCode;
    const char* inOutput;
};

class CommandLineOptions : public ::testing::TestWithParam<OptionCase> {};

TEST_P(CommandLineOptions, AnswerAsUsual) {
    const auto& c = GetParam();
    const ProcessResult r = runClient(c.arguments);
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_TRUE((r.out + r.err).contains(QString::fromUtf8(c.inOutput))) << (r.out + r.err).toStdString();
}

void PrintTo(const OptionCase& c, std::ostream* os) {
    *os << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLineOptions,
    ::testing::Values(OptionCase{"help", {QStringLiteral("--help")}, 0, "--headless"},
                      OptionCase{
                          "version", {QStringLiteral("--version")}, 0, "Vindo Velora Karvex koppeling"},
                      OptionCase{"unknown", {QStringLiteral("--fast")}, 2, "Onbekende optie: --fast"},
                      OptionCase{"folder_without_value",
                                 {QStringLiteral("--headless"), QStringLiteral("--folder")},
                                 2,
                                 "--folder verwacht een map"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(ExchangeFolders, AStoredFolderIsNeverReplacedAnEmptyOneIsFilled) {
    test::TempFolder dir;
    MemorySettings settings;
    settings.setText(Setting::w2wInkomende, QStringLiteral("/nowhere/S2C"));
    const QString programFolder = dir.path() + u'/';
    prepareExchangeFolders(programFolder, settings);
    EXPECT_EQ(settings.text(Setting::w2wInkomende), QStringLiteral("/nowhere/S2C"));
    EXPECT_EQ(settings.text(Setting::w2wUitgaande), programFolder + QStringLiteral("W2W/C2S"));
}

class PollingTimerTest : public ::testing::Test {
protected:
    MemorySettings settings;
    test::RecordingLog log;
    int cycles = 0;
    PollingTimer timer{settings, log, [this] { ++cycles; }};
};

TEST_F(PollingTimerTest, IsArmedWithTheIntervalAndZeroMeansNoTicks) {
    timer.arm();
    EXPECT_EQ(timer.intervalMs(), 10000);
    EXPECT_TRUE(timer.isTicking());
    for (const char* text : {"0", "abc", "-5"}) {
        settings.setText(Setting::Interval, QString::fromLatin1(text));
        timer.arm();
        EXPECT_TRUE(timer.isArmed());
        EXPECT_FALSE(timer.isTicking()) << text;
    }
}

TEST_F(PollingTimerTest, ATickRunsACycleOnlyWhileAutomatischIsTicked) {
    settings.setText(Setting::Interval, QStringLiteral("5"));
    timer.arm();
    timer.W2WTimerTimer();
    EXPECT_EQ(cycles, 0);
    settings.setChecked(Setting::Automatisch, true);
    timer.W2WTimerTimer();
    EXPECT_EQ(cycles, 1);
    EXPECT_EQ(timer.intervalMs(), 5000);
    settings.setText(Setting::Interval, QStringLiteral("0"));
    timer.W2WTimerTimer();
    EXPECT_EQ(timer.intervalMs(), 10000);
    EXPECT_EQ(cycles, 2);
}

TEST_F(PollingTimerTest, RealTicksArriveAtTheInterval) {
    settings.setText(Setting::Interval, QStringLiteral("1"));
    settings.setChecked(Setting::Automatisch, true);
    timer.arm();
    EXPECT_TRUE(QTest::qWaitFor([&] { return cycles >= 2; }, 5000));
}

TEST_F(PollingTimerTest, AnErrorOfTheTickIsAppendedAndTheLinesStay) {
    log.appendLine(QStringLiteral("earlier"));
    PollingTimer failing(settings, log, [] { throw Error(QStringLiteral("Not enough timers available")); });
    settings.setChecked(Setting::Automatisch, true);
    failing.W2WTimerTimer();
    EXPECT_EQ(log.lines,
              (QStringList{QStringLiteral("earlier"), QStringLiteral("Not enough timers available")}));
}

}  // namespace
}  // namespace vk
