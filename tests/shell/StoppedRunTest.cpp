// The real program killed on a document's road (VELORA_LINK_FAULT), and the run after it on the same
// program folder, while a partner takes every answer out of the outbound folder as soon as it
// appears: every document that is answered gets exactly one answer, none is lost and none comes
// twice.

#include "planning/TemporaryKey.h"
#include "platform/Clock.h"
#include "shell/ClientProcess.h"
#include "shell/LinkFault.h"
#include "support/TempFolder.h"
#include "w2w/DocumentJournal.h"
#include "w2w/ImportEngine.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

namespace vk {
namespace {

using test::TempFolder;
using w2w::CyclePoint;

constexpr int kPatienceMs = 60000;

// A list as one line, for comparisons that say what they found.
std::string text(const QStringList& list) {
    return list.join(QStringLiteral(" | ")).toStdString();
}

TEST(LinkFault, EveryPointHasItsNameAndNoOtherTextNamesOne) {
    const std::pair<const char*, CyclePoint> names[] = {
        {"after-record", CyclePoint::AfterRecord},
        {"after-delete", CyclePoint::AfterDelete},
        {"after-save", CyclePoint::AfterSave},
        {"after-commit", CyclePoint::AfterCommit},
        {"answer-written", CyclePoint::AnswerWritten},
        {"answer-noted", CyclePoint::AnswerNoted},
        {"after-acknowledgement", CyclePoint::AfterAcknowledgement},
    };
    for (const auto& [name, point] : names) {
        EXPECT_EQ(cyclePointNamed(QString::fromLatin1(name)), point) << name;
    }
    for (const char* other : {"", "answer_noted", "Answer-Noted", "answer-noted ", "after"}) {
        EXPECT_FALSE(cyclePointNamed(QString::fromLatin1(other)).has_value()) << '"' << other << '"';
    }
}

// The partner's end of the outbound folder: it takes every answer away as soon as it is there, as
// the partner's system does. An answer written twice is then two answers, not one file written
// over. The answers are kept by name, each with its text, in the order taken.
class Partner {
public:
    Partner(QString outbound, QString takenTo)
        : outbound_(std::move(outbound)), takenTo_(std::move(takenTo)), thread_([this] { run(); }) {}
    ~Partner() { stop(); }
    Partner(const Partner&) = delete;
    Partner& operator=(const Partner&) = delete;

    // Stops looking, after one last look.
    void stop() {
        if (thread_.joinable()) {
            stopping_ = true;
            thread_.join();
            takeWhatIsThere();
        }
    }
    QMap<QString, QList<QByteArray>> taken() const {
        const std::lock_guard lock(mutex_);
        return taken_;
    }
    int count() const {
        const std::lock_guard lock(mutex_);
        int answers = 0;
        for (const QList<QByteArray>& texts : taken_) {
            answers += static_cast<int>(texts.size());
        }
        return answers;
    }

private:
    void run() {
        while (!stopping_) {
            takeWhatIsThere();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    void takeWhatIsThere() {
        const QStringList answers =
            QDir(outbound_).entryList({QStringLiteral("*.c2s")}, QDir::Files | QDir::Hidden);
        for (const QString& name : answers) {
            const QString to = takenTo_ + u'/' + name + u'.' + QString::number(++taken_count_);
            // the answer appears by a rename, whole: moved away, it is read at leisure
            if (std::rename(QFile::encodeName(outbound_ + u'/' + name).constData(),
                            QFile::encodeName(to).constData()) != 0) {
                continue;
            }
            const QByteArray text = test::readAll(to);
            const std::lock_guard lock(mutex_);
            taken_[name] << text;
        }
    }

    const QString outbound_;
    const QString takenTo_;
    int taken_count_ = 0;  // the partner's thread's own, and the last look's after it ended
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    QMap<QString, QList<QByteArray>> taken_;
    std::thread thread_;  // last: it starts once everything it uses is there
};

enum class KilledRun { Headless, Window };
enum class NextRun { Once, PollingUntilSigterm };

struct StopCase {
    const char* name;
    KilledRun killed;
    NextRun next;
};

void PrintTo(const StopCase& c, std::ostream* out) {
    *out << c.name;
}

class RunStoppedBetweenNoteAndRename : public ::testing::TestWithParam<StopCase> {
protected:
    RunStoppedBetweenNoteAndRename() {
        // the embedded database, Automatisch with an Interval of 1 second (for the window and the
        // polling run; --once runs its cycle whatever Automatisch says)
        dir.write(QStringLiteral("VeloraKarvex.xml"),
                  "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\n<Configuration><Hoofdscherm>"
                  "<xLoginServer_Text>sqlite:planning.db</xLoginServer_Text>"
                  "<Debiteur_Text>1024</Debiteur_Text><Gebruiker_Text>7</Gebruiker_Text>"
                  "<Interval_Text>1</Interval_Text><Automatisch_Checked>TRUE</Automatisch_Checked>"
                  "</Hoofdscherm></Configuration>");
        inbound = dir.mkdir(QStringLiteral("W2W/S2C"));
        outbound = dir.mkdir(QStringLiteral("W2W/C2S"));
        takenTo = dir.mkdir(QStringLiteral("partner"));
        // two new orders, one with an impossible pickup month (refused), one of an unknown kind (taken
        // without an answer)
        for (const char* name : {"4711.s2c", "4712.s2c", "fout.s2c", "onbekend.s2c"}) {
            const QString from = QStringLiteral(VK_SAMPLES_DIR "/new/") + QString::fromLatin1(name);
            EXPECT_TRUE(QFile::copy(from, inbound + u'/' + QString::fromLatin1(name))) << name;
        }
    }

    QStringList leftTemporaryFiles() const {
        QStringList left;
        for (const QString& folder : {dir.path(), outbound, inbound + QStringLiteral("/Backups"),
                                      outbound + QStringLiteral("/Backups")}) {
            for (const QString& name :
                 QDir(folder).entryList({QStringLiteral(".vk-tmp-*")}, QDir::Files | QDir::Hidden)) {
                left << QFileInfo(folder + u'/' + name).canonicalFilePath();
            }
        }
        return left;
    }

    w2w::DocumentJournal journal() {
        return w2w::DocumentJournal(dir.file(w2w::DocumentJournal::kFileName.toString()), keys);
    }

    // The link with its fault: it must end by SIGKILL, never in order.
    void runUntilKilled(KilledRun how) {
        QProcess link;
        QProcessEnvironment env = how == KilledRun::Window ? test::offscreenEnvironment()
                                                           : QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VELORA_LINK_FAULT"), QStringLiteral("answer-noted"));
        link.setProcessEnvironment(env);
        link.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QStringList arguments{QStringLiteral("--folder"), dir.path()};
        if (how == KilledRun::Headless) {
            arguments << QStringLiteral("--headless") << QStringLiteral("--once");
        }
        link.start(QStringLiteral(VK_CLIENT_PATH), arguments);
        const bool ended = link.waitForFinished(kPatienceMs);
        if (!ended) {
            link.kill();
            link.waitForFinished(kPatienceMs);
        }
        ASSERT_TRUE(ended) << "the link never reached its fault point";
        EXPECT_EQ(link.exitStatus(), QProcess::CrashExit);
        ASSERT_EQ(link.exitCode(), SIGKILL) << "ended by another signal or in order";
    }

    void runOnce() {
        const test::ProcessResult run = test::runClient(
            {QStringLiteral("--headless"), QStringLiteral("--once"), QStringLiteral("--folder"), dir.path()});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    }

    // The polling run, stopped by SIGTERM once the partner has every answer (or the patience is over).
    void runPollingUntilAnswered(const Partner& partner, int answers) {
        QProcess link;
        link.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        link.start(QStringLiteral(VK_CLIENT_PATH),
                   {QStringLiteral("--headless"), QStringLiteral("--folder"), dir.path()});
        ASSERT_TRUE(test::waitUntilReady(link, dir.path()));
        const QDeadlineTimer deadline(kPatienceMs);
        while (partner.count() < answers && !deadline.hasExpired() && !link.waitForFinished(20)) {
        }
        EXPECT_EQ(link.state(), QProcess::Running);
        link.terminate();
        ASSERT_TRUE(link.waitForFinished(kPatienceMs));
        EXPECT_EQ(link.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(link.exitCode(), 0);
    }

    TempFolder dir;
    SystemClock clock;
    TemporaryKeys keys{clock};
    QString inbound;
    QString outbound;
    QString takenTo;
};

// The run is killed right after the journal noted the answer's temporary file, before the rename:
// the next start's clean-up of temporary files must leave that file to the recovery, which puts it
// in place. Were it removed, the recovery would take the answer for renamed and taken by the
// partner, and the document would stay unanswered.
TEST_P(RunStoppedBetweenNoteAndRename, TheNextRunPutsTheNotedAnswerInPlaceOnce) {
    const StopCase& c = GetParam();
    Partner partner(outbound, takenTo);

    runUntilKilled(c.killed);
    if (HasFatalFailure()) {
        return;
    }
    EXPECT_EQ(partner.count(), 0) << "no answer was in place before the kill";
    const QSet<QString> noted = journal().notedAnswerFiles();
    ASSERT_EQ(noted.size(), 1);
    const QString temporary = *noted.begin();
    EXPECT_EQ(text(leftTemporaryFiles()), text({QFileInfo(temporary).canonicalFilePath()}))
        << "the noted file is the one in the folder";
    EXPECT_EQ(QFileInfo(temporary).canonicalPath(), QFileInfo(outbound).canonicalFilePath());
    EXPECT_TRUE(QFileInfo(temporary).fileName().startsWith(QStringLiteral(".vk-tmp-")));
    // The clean-up leaves alone what may be a write of a run beside it (a file changed since its
    // start); a file of the killed run is older. Made a minute older, so that the next run surely
    // finds it older than its own start.
    const timespec times[2] = {{0, UTIME_OMIT}, {::time(nullptr) - 60, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(temporary).constData(), times, 0), 0);
    ASSERT_LT(QFileInfo(temporary).lastModified(), QDateTime::currentDateTime().addSecs(-30));

    if (c.next == NextRun::Once) {
        runOnce();
    } else {
        runPollingUntilAnswered(partner, 3);
    }
    // a further run finds nothing left to answer
    runOnce();
    partner.stop();

    const QMap<QString, QList<QByteArray>> taken = partner.taken();
    EXPECT_EQ(text(taken.keys()), "4711.c2s | 4712.c2s | fout.c2s");
    const std::pair<const char*, const char*> expected[] = {
        {"4711.c2s", "<kind>BOB</kind>"},
        {"4712.c2s", "<kind>BOB</kind>"},
        {"fout.c2s", "<kind>WOB</kind>"},
    };
    for (const auto& [name, kind] : expected) {
        const QList<QByteArray> answers = taken.value(QString::fromLatin1(name));
        ASSERT_EQ(answers.size(), 1) << name << " answered " << answers.size() << " times";
        EXPECT_TRUE(answers.first().contains(kind)) << name << ": " << answers.first().toStdString();
    }
    EXPECT_EQ(text(leftTemporaryFiles()), "");
    EXPECT_TRUE(journal().pending().empty()) << "every document's outcome is final";
    EXPECT_EQ(text(QDir(inbound).entryList(QDir::Files | QDir::Hidden)), "")
        << "every document taken, and no taken file left";

    // each new order saved once
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("stopped-run"));
        db.setDatabaseName(dir.file(QStringLiteral("planning.db")));
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(QStringLiteral("SELECT pla_extern FROM planning ORDER BY pla_extern")));
        QList<int> orders;
        while (q.next()) {
            orders << q.value(0).toInt();
        }
        EXPECT_EQ(orders, (QList<int>{4711, 4712}));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("stopped-run"));
}

INSTANTIATE_TEST_SUITE_P(
    Runs, RunStoppedBetweenNoteAndRename,
    ::testing::Values(StopCase{"HeadlessThenOnce", KilledRun::Headless, NextRun::Once},
                      StopCase{"HeadlessThenPolling", KilledRun::Headless, NextRun::PollingUntilSigterm},
                      StopCase{"WindowThenOnce", KilledRun::Window, NextRun::Once},
                      StopCase{"WindowThenPolling", KilledRun::Window, NextRun::PollingUntilSigterm}),
    [](const ::testing::TestParamInfo<StopCase>& c) { return std::string(c.param.name); });

}  // namespace
}  // namespace vk
