// The window-less run under a service manager: the real program, started with NOTIFY_SOCKET naming
// a datagram socket of the test's own, as systemd starts a Type=notify service. The test reads what
// the link says: READY=1 once its folders are there, the liveness line as STATUS=, WATCHDOG=1 at
// every tick and after every document, nothing while a cycle is stuck, STOPPING=1 at SIGTERM.

#include "shell/ClientProcess.h"
#include "shell/HeadlessRun.h"
#include "shell/ProgramFolderLock.h"
#include "support/TempFolder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <limits>
#include <optional>

namespace vk {
namespace {

using test::TempFolder;

constexpr int kPatienceMs = 30000;

// A file descriptor that is closed with its owner.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// The service manager's end: an AF_UNIX datagram socket bound in a folder of the test's own.
class NotifySocket {
public:
    explicit NotifySocket(const QString& folder)
        : path_(QFile::encodeName(folder + QStringLiteral("/notify"))),
          fd_(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        EXPECT_GE(fd_.get(), 0) << std::strerror(errno);
        const sockaddr_un address = addressOf(path_);
        EXPECT_EQ(::bind(fd_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0)
            << std::strerror(errno);
    }

    QString path() const { return QFile::decodeName(path_); }

    // The next message, or none when none came within timeoutMs.
    std::optional<QByteArray> receive(int timeoutMs) {
        pollfd ready{fd_.get(), POLLIN, 0};
        if (::poll(&ready, 1, timeoutMs) <= 0) {
            return std::nullopt;
        }
        char buffer[4096];
        const ssize_t got = ::recv(fd_.get(), buffer, sizeof buffer, 0);
        if (got < 0) {
            ADD_FAILURE() << "recv: " << std::strerror(errno);
            return std::nullopt;
        }
        return QByteArray(buffer, got);
    }

    // Fills the socket's queue with messages of the test's own until it takes no more: the next
    // sender blocks until the test reads one.
    int fill() {
        filler_ = std::make_unique<Descriptor>(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        const sockaddr_un address = addressOf(path_);
        EXPECT_EQ(::connect(filler_->get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0)
            << std::strerror(errno);
        int sent = 0;
        while (::send(filler_->get(), kFiller.data(), kFiller.size(), MSG_DONTWAIT) >= 0) {
            ++sent;
        }
        EXPECT_EQ(errno, EAGAIN) << std::strerror(errno);
        return sent;
    }
    static constexpr std::string_view kFiller = "FILLER";

private:
    static sockaddr_un addressOf(const QByteArray& path) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        EXPECT_LT(static_cast<size_t>(path.size()), sizeof address.sun_path) << path.constData();
        std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
        return address;
    }

    QByteArray path_;
    Descriptor fd_;
    std::unique_ptr<Descriptor> filler_;
};

// One message's fields ("READY=1", "STATUS=...").
QStringList fieldsOf(const QByteArray& message) {
    return QString::fromUtf8(message).split(u'\n', Qt::SkipEmptyParts);
}

// What the link said, in order, one field a line.
struct Heard {
    QStringList fields;
    int count(const QString& field) const { return static_cast<int>(fields.count(field)); }
    QStringList statuses() const {
        QStringList lines;
        for (const QString& field : fields) {
            if (field.startsWith(QStringLiteral("STATUS="))) {
                lines << field.mid(7);
            }
        }
        return lines;
    }
};

// Reads messages until one holds the field wanted; everything read is added to heard. False when
// none came within the patience.
bool listenFor(NotifySocket& socket, Heard& heard, const QString& wanted, int timeoutMs = kPatienceMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        const std::optional<QByteArray> message = socket.receive(static_cast<int>(deadline.remainingTime()));
        if (!message) {
            break;
        }
        const QStringList fields = fieldsOf(*message);
        heard.fields << fields;
        if (fields.contains(wanted)) {
            return true;
        }
    }
    return false;
}

// Reads messages until the field wanted has not come for silenceMs; everything read is added to
// heard. False when every silence within the patience was shorter.
bool listenForSilence(NotifySocket& socket, Heard& heard, const QString& wanted, int silenceMs,
                      int patienceMs) {
    const QDeadlineTimer patience(patienceMs);
    QDeadlineTimer quiet(silenceMs);
    while (!patience.hasExpired()) {
        const auto wait = std::min(quiet.remainingTime(), patience.remainingTime());
        const std::optional<QByteArray> message = socket.receive(static_cast<int>(wait));
        if (!message) {
            if (quiet.hasExpired()) {
                return true;
            }
            continue;
        }
        const QStringList fields = fieldsOf(*message);
        heard.fields << fields;
        if (fields.contains(wanted)) {
            quiet.setRemainingTime(silenceMs);
        }
    }
    return false;
}

// Everything that comes within ms.
void listenDuring(NotifySocket& socket, Heard& heard, int ms) {
    const QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        if (const std::optional<QByteArray> message =
                socket.receive(static_cast<int>(deadline.remainingTime()))) {
            heard.fields << fieldsOf(*message);
        }
    }
}

// Everything that is waiting in the socket now.
void drain(NotifySocket& socket, Heard& heard) {
    while (const std::optional<QByteArray> message = socket.receive(0)) {
        heard.fields << fieldsOf(*message);
    }
}

// The link's liveness line after a cycle, with its counts of handled and refused documents.
const QRegularExpression kLivenessAfterCycle(
    QStringLiteral("^Laatste cyclus \\d\\d-\\d\\d-\\d{4} \\d\\d:\\d\\d:\\d\\d \u00b7 (\\d+) verwerkt \u00b7 "
                   "(\\d+) geweigerd$"));
const QString kLivenessBeforeCycle = QStringLiteral("Nog geen cyclus");

// A program folder as ./run lays it out: the embedded SQLite database, Interval 1 second unless
// told otherwise.
void writeSettings(const TempFolder& dir, bool automatisch, const QString& folder = QString(),
                   int intervalSeconds = 1) {
    const QString prefix = folder.isEmpty() ? QString() : folder + u'/';
    dir.write(
        prefix + QStringLiteral("VeloraKarvex.xml"),
        QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\n<Configuration><Hoofdscherm>"
                          "<xLoginServer_Text>sqlite:planning.db</xLoginServer_Text>"
                          "<Debiteur_Text>1024</Debiteur_Text><Gebruiker_Text>7</Gebruiker_Text>"
                          "<Interval_Text>") +
            QByteArray::number(intervalSeconds) + QByteArrayLiteral("</Interval_Text><Automatisch_Checked>") +
            (automatisch ? "TRUE" : "FALSE") +
            QByteArrayLiteral("</Automatisch_Checked></Hoofdscherm></Configuration>"));
}

// The partner's sample documents, dropped into the inbound folder; returns how many.
int dropSamples(const TempFolder& dir, const QStringList& names) {
    dir.mkdir(QStringLiteral("W2W/S2C"));
    for (const QString& name : names) {
        const QString from = QStringLiteral(VK_SAMPLES_DIR "/new/") + name;
        EXPECT_TRUE(QFile::copy(from, dir.file(QStringLiteral("W2W/S2C/") + name))) << from.toStdString();
    }
    return static_cast<int>(names.size());
}

void startLink(QProcess& link, const NotifySocket& socket, const QStringList& arguments,
               const QList<std::pair<QString, QString>>& more = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("NOTIFY_SOCKET"), socket.path());
    for (const char* name : {"WATCHDOG_USEC", "WATCHDOG_PID"}) {
        env.remove(QString::fromLatin1(name));
    }
    for (const auto& [name, value] : more) {
        env.insert(name, value);
    }
    link.setProcessEnvironment(env);
    link.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    link.start(QStringLiteral(VK_CLIENT_PATH), arguments);
    ASSERT_TRUE(link.waitForStarted(kPatienceMs));
}

// A watchdog period short enough for a test to see several of them pass.
constexpr int kWatchdogMs = 2000;

// Starts the link as the service manager does when it watches it with that period.
void startWatchedLink(QProcess& link, const NotifySocket& socket, const QStringList& arguments) {
    startLink(link, socket, arguments,
              {{QStringLiteral("WATCHDOG_USEC"), QString::number(kWatchdogMs * 1000)}});
}

void expectOrderlyEnd(QProcess& link) {
    ASSERT_TRUE(link.waitForFinished(kPatienceMs));
    EXPECT_EQ(link.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(link.exitCode(), 0);
}

// Whether a thread of the process is inside a sendmsg call (a send to a full socket waits there).
bool inSendmsg(qint64 pid) {
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile syscall(tasks.filePath(task + QStringLiteral("/syscall")));
        if (syscall.open(QIODevice::ReadOnly) &&
            syscall.readAll().split(' ').value(0).trimmed() == QByteArray::number(SYS_sendmsg)) {
            return true;
        }
    }
    return false;
}

// READY=1 is the link's first word, and it comes only when the folder is the link's and its
// exchange folders are there. The test fills the socket first, so that the link's first message
// holds it in its send: what exists at that moment is what existed when it spoke.
TEST(ServiceNotify, ReadyComesOnlyOnceTheFoldersExist) {
    TempFolder dir;
    const QString folder = dir.file(QStringLiteral("koppeling"));
    NotifySocket socket(dir.path());
    ASSERT_GT(socket.fill(), 0);

    QProcess link;
    startLink(link, socket, {QStringLiteral("--headless"), QStringLiteral("--folder"), folder});
    const QDeadlineTimer deadline(kPatienceMs);
    while (!inSendmsg(link.processId())) {
        ASSERT_FALSE(deadline.hasExpired()) << "the link never spoke";
        ASSERT_FALSE(link.waitForFinished(10)) << "the link ended without a word";
    }
    for (const char* made : {"W2W/S2C", "W2W/S2C/Backups", "W2W/C2S", "W2W/C2S/Backups"}) {
        EXPECT_TRUE(QFileInfo(folder + u'/' + QString::fromLatin1(made)).isDir()) << made;
    }
    EXPECT_TRUE(QFileInfo::exists(folder + u'/' + ProgramFolderLock::kFileName.toString()));

    Heard heard;
    ASSERT_TRUE(listenFor(socket, heard, QStringLiteral("READY=1")));
    heard.fields.removeAll(QString::fromLatin1(NotifySocket::kFiller));
    EXPECT_EQ(heard.fields,
              (QStringList{QStringLiteral("READY=1"), QStringLiteral("STATUS=") + kLivenessBeforeCycle}));

    link.terminate();
    EXPECT_TRUE(listenFor(socket, heard, QStringLiteral("STOPPING=1")));
    expectOrderlyEnd(link);
}

// Between cycles the keep-alive comes at every tick of the polling interval, whether Automatisch
// is ticked (the cycles run) or not (nothing runs, and the link must not pass for hung); the
// liveness line follows the cycles. SIGTERM gives STOPPING=1, the last word.
struct TickCase {
    const char* name;
    bool automatisch;
    bool cyclesRun;
};

void PrintTo(const TickCase& tick, std::ostream* out) {
    *out << "Automatisch " << tick.name;
}

class ServiceNotifyTicks : public ::testing::TestWithParam<TickCase> {};

TEST_P(ServiceNotifyTicks, KeepAliveAtEveryTickAndStoppingAtSigterm) {
    TempFolder dir;
    writeSettings(dir, GetParam().automatisch);
    NotifySocket socket(dir.path());
    QProcess link;
    startLink(link, socket, {QStringLiteral("--headless"), QStringLiteral("--folder"), dir.path()});

    Heard heard;
    ASSERT_TRUE(listenFor(socket, heard, QStringLiteral("READY=1")));
    constexpr int kTicks = 3;
    for (int tick = 0; tick < kTicks; ++tick) {
        ASSERT_TRUE(listenFor(socket, heard, QStringLiteral("WATCHDOG=1"))) << "tick " << tick;
    }
    link.terminate();
    ASSERT_TRUE(listenFor(socket, heard, QStringLiteral("STOPPING=1")));
    expectOrderlyEnd(link);
    drain(socket, heard);

    EXPECT_EQ(heard.fields.first(), QStringLiteral("READY=1"));
    EXPECT_EQ(heard.fields.last(), QStringLiteral("STOPPING=1"));
    EXPECT_EQ(heard.count(QStringLiteral("STOPPING=1")), 1);
    EXPECT_GE(heard.count(QStringLiteral("WATCHDOG=1")), kTicks);
    const QStringList statuses = heard.statuses();
    ASSERT_FALSE(statuses.isEmpty());
    if (GetParam().cyclesRun) {
        const QRegularExpressionMatch last = kLivenessAfterCycle.match(statuses.last());
        ASSERT_TRUE(last.hasMatch()) << statuses.last().toStdString();
        EXPECT_EQ(last.captured(1), QStringLiteral("0"));
        EXPECT_EQ(last.captured(2), QStringLiteral("0"));
    } else {
        EXPECT_EQ(statuses, QStringList{kLivenessBeforeCycle});
    }
}

INSTANTIATE_TEST_SUITE_P(Automatisch, ServiceNotifyTicks,
                         ::testing::Values(TickCase{"Off", false, false}, TickCase{"On", true, true}),
                         [](const ::testing::TestParamInfo<TickCase>& tick) { return tick.param.name; });

// With documents waiting, every document the cycle takes gives a keep-alive, and the cycle's end
// one more with the liveness line and the run's counts.
TEST(ServiceNotify, KeepAliveAfterEveryDocumentAndTheLivenessLineAsStatus) {
    TempFolder dir;
    writeSettings(dir, false);
    // two new orders, one with an impossible pickup month (refused), one of an unknown kind
    const int documents = dropSamples(dir, {QStringLiteral("4711.s2c"), QStringLiteral("4712.s2c"),
                                            QStringLiteral("fout.s2c"), QStringLiteral("onbekend.s2c")});
    NotifySocket socket(dir.path());
    QProcess link;
    startLink(
        link, socket,
        {QStringLiteral("--headless"), QStringLiteral("--once"), QStringLiteral("--folder"), dir.path()});
    expectOrderlyEnd(link);
    Heard heard;
    drain(socket, heard);

    ASSERT_FALSE(heard.fields.isEmpty());
    EXPECT_EQ(heard.fields.mid(0, 2),
              (QStringList{QStringLiteral("READY=1"), QStringLiteral("STATUS=") + kLivenessBeforeCycle}));
    EXPECT_EQ(heard.fields.last(), QStringLiteral("STOPPING=1"));
    EXPECT_EQ(heard.count(QStringLiteral("WATCHDOG=1")), documents + 1)
        << heard.fields.join(u'|').toStdString();
    const QStringList statuses = heard.statuses();
    ASSERT_FALSE(statuses.isEmpty());
    const QRegularExpressionMatch last = kLivenessAfterCycle.match(statuses.last());
    ASSERT_TRUE(last.hasMatch()) << statuses.last().toStdString();
    EXPECT_EQ(last.captured(1), QStringLiteral("3"));
    EXPECT_EQ(last.captured(2), QStringLiteral("1"));
    EXPECT_TRUE(QFileInfo::exists(dir.file(QStringLiteral("W2W/C2S/4712.c2s"))));
}

// A cycle stuck in a call that does not return sends no keep-alive, however long it is stuck: the
// watchdog is to see it. The link's database is held by another connection's exclusive
// transaction, so that the connect of the first document waits for it; only when the test lets go
// does the link go on, with the keep-alive of the next document. The watchdog's period is 2
// seconds; the test listens for three periods.
// Holds the link's SQLite database with an exclusive transaction for as long as it lives, so that
// the link's connect waits for it (up to its wait limit of 30 s).
class HeldDatabase {
public:
    explicit HeldDatabase(const TempFolder& dir) {
        QFile empty(dir.file(QStringLiteral("planning.db")));
        if (!empty.open(QIODevice::WriteOnly)) {
            throw std::runtime_error("cannot make planning.db");
        }
        empty.close();
        QSqlDatabase holder = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kName);
        holder.setDatabaseName(dir.file(QStringLiteral("planning.db")));
        if (!holder.open() || !QSqlQuery(holder).exec(QStringLiteral("BEGIN EXCLUSIVE"))) {
            throw std::runtime_error("cannot hold planning.db");
        }
    }
    ~HeldDatabase() { letGo(); }
    void letGo() {
        if (!QSqlDatabase::contains(kName)) {
            return;
        }
        {
            QSqlDatabase holder = QSqlDatabase::database(kName);
            QSqlQuery(holder).exec(QStringLiteral("ROLLBACK"));
            holder.close();
        }
        QSqlDatabase::removeDatabase(kName);
    }

private:
    static constexpr QLatin1StringView kName{"service-notify-holder"};
};

TEST(ServiceNotify, ACycleThatBlocksSendsNoKeepAlive) {
    TempFolder dir;
    writeSettings(dir, false);
    const int documents = dropSamples(dir, {QStringLiteral("4711.s2c"), QStringLiteral("4712.s2c")});

    HeldDatabase held(dir);

    NotifySocket socket(dir.path());
    QProcess link;
    startWatchedLink(
        link, socket,
        {QStringLiteral("--headless"), QStringLiteral("--once"), QStringLiteral("--folder"), dir.path()});
    Heard heard;
    ASSERT_TRUE(listenFor(socket, heard, QStringLiteral("READY=1")));
    // the first document is taken; its connect waits for the database
    ASSERT_TRUE(listenFor(socket, heard, QStringLiteral("WATCHDOG=1")));

    Heard whileBlocked;
    EXPECT_FALSE(listenFor(socket, whileBlocked, QStringLiteral("WATCHDOG=1"), 3 * kWatchdogMs))
        << whileBlocked.fields.join(u'|').toStdString();
    EXPECT_EQ(link.state(), QProcess::Running);
    EXPECT_TRUE(QDir(dir.file(QStringLiteral("W2W/C2S"))).entryList(QDir::Files).isEmpty())
        << "the database did not hold the link";

    held.letGo();

    ASSERT_TRUE(listenFor(socket, heard, QStringLiteral("WATCHDOG=1")));  // the next document
    ASSERT_TRUE(listenFor(socket, heard, QStringLiteral("STOPPING=1")));
    expectOrderlyEnd(link);
    for (const char* answer : {"W2W/C2S/4711.c2s", "W2W/C2S/4712.c2s"}) {
        EXPECT_TRUE(test::readAll(dir.file(QString::fromLatin1(answer))).contains("<kind>BOB</kind>"))
            << answer;
    }
    EXPECT_EQ(documents, 2);
}

// The same in the polling run, as a service runs: between cycles the keep-alive ticks in the event
// loop of the cycles (every second here, the interval), so that it falls silent with a cycle that
// blocks; a keep-alive from a thread of its own would hide the hang from the watchdog. Once the
// database lets go, the cycle ends and the keep-alives come again.
TEST(ServiceNotify, APollingRunWhoseCycleBlocksSendsNoKeepAlive) {
    TempFolder dir;
    writeSettings(dir, true);
    dropSamples(dir, {QStringLiteral("4711.s2c"), QStringLiteral("4712.s2c")});
    const QString inbound = dir.file(QStringLiteral("W2W/S2C"));
    const QString outbound = dir.file(QStringLiteral("W2W/C2S"));

    HeldDatabase held(dir);

    NotifySocket socket(dir.path());
    QProcess link;
    startWatchedLink(link, socket, {QStringLiteral("--headless"), QStringLiteral("--folder"), dir.path()});
    Heard heard;
    ASSERT_TRUE(listenFor(socket, heard, QStringLiteral("READY=1")));
    // The first tick's cycle takes a document and its connect waits for the database (up to the
    // link's wait limit of 30 s): three periods without a keep-alive must come well before that.
    // Until then the keep-alive comes every second.
    ASSERT_TRUE(listenForSilence(socket, heard, QStringLiteral("WATCHDOG=1"), 3 * kWatchdogMs, 20000))
        << "the keep-alive went on while the cycle was blocked: " << heard.fields.join(u'|').toStdString();
    // the silence was the blocked cycle: a document taken, none answered, the link still there
    EXPECT_EQ(link.state(), QProcess::Running);
    EXPECT_LT(QDir(inbound).entryList({QStringLiteral("*.s2c")}, QDir::Files).size(), 2)
        << "no document was taken";
    EXPECT_TRUE(QDir(outbound).entryList(QDir::Files).isEmpty()) << "the database did not hold the link";

    held.letGo();

    const QDeadlineTimer answered(kPatienceMs);
    while (QDir(outbound).entryList({QStringLiteral("*.c2s")}, QDir::Files).size() < 2) {
        ASSERT_FALSE(answered.hasExpired()) << "the documents were not answered";
        ASSERT_FALSE(link.waitForFinished(20)) << "the link ended";
    }
    // after the cycle the keep-alives go on
    for (int tick = 0; tick < 3; ++tick) {
        Heard after;
        ASSERT_TRUE(listenFor(socket, after, QStringLiteral("WATCHDOG=1"))) << "tick " << tick;
        heard.fields << after.fields;
    }
    link.terminate();
    ASSERT_TRUE(listenFor(socket, heard, QStringLiteral("STOPPING=1")));
    expectOrderlyEnd(link);
    for (const char* answer : {"W2W/C2S/4711.c2s", "W2W/C2S/4712.c2s"}) {
        EXPECT_TRUE(test::readAll(dir.file(QString::fromLatin1(answer))).contains("<kind>BOB</kind>"))
            << answer;
    }
    const QStringList statuses = heard.statuses();
    ASSERT_FALSE(statuses.isEmpty());
    const QRegularExpressionMatch last = kLivenessAfterCycle.match(statuses.last());
    ASSERT_TRUE(last.hasMatch()) << statuses.last().toStdString();
    EXPECT_EQ(last.captured(1), QStringLiteral("2"));
}

// The keep-alive's pace: the polling interval (10 s for 0), and never longer than half the
// watchdog's period, however long the interval.
TEST(ServiceNotify, TheKeepAliveComesAtTheIntervalAndTwiceInEveryWatchdogPeriod) {
    using std::chrono::microseconds;
    struct Case {
        const char* name;
        int pollingMs;
        std::optional<microseconds> watchdog;
        int expectedMs;
    };
    constexpr int kMaxInt = std::numeric_limits<int>::max();
    const Case cases[] = {
        {"no watchdog: the interval", 5000, std::nullopt, 5000},
        {"no watchdog, no interval: 10 s", 0, std::nullopt, 10000},
        {"no watchdog, an interval of an hour", 3600000, std::nullopt, 3600000},
        {"an interval of an hour, a watchdog of 2 s", 3600000, microseconds(2000000), 1000},
        {"no interval, a watchdog of 4 s", 0, microseconds(4000000), 2000},
        {"no interval, a watchdog of 30 s", 0, microseconds(30000000), 10000},
        {"an interval shorter than half the period", 1000, microseconds(30000000), 1000},
        {"an interval of exactly half the period", 1500, microseconds(3000000), 1500},
        {"an interval just over half the period", 1501, microseconds(3000000), 1500},
        {"half the period not a whole millisecond", 10000, microseconds(2999), 1},
        {"a watchdog shorter than 2 ms", 10000, microseconds(1000), 1},
        {"a watchdog longer than an int of milliseconds", kMaxInt, microseconds(10'000'000'000'000), kMaxInt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(keepAliveIntervalMs(c.pollingMs, c.watchdog), c.expectedMs) << c.name;
    }
}

// The same as the service manager sees it: with an interval of an hour and a watchdog of 2 s, the
// keep-alive still comes (at least once a period is what the watchdog needs; every second is what
// the link does), and no cycle runs for it.
TEST(ServiceNotify, ALongIntervalStillKeepsTheWatchdogFed) {
    TempFolder dir;
    writeSettings(dir, true, QString(), 3600);
    NotifySocket socket(dir.path());
    QProcess link;
    startWatchedLink(link, socket, {QStringLiteral("--headless"), QStringLiteral("--folder"), dir.path()});
    Heard heard;
    ASSERT_TRUE(listenFor(socket, heard, QStringLiteral("READY=1")));
    Heard periods;
    listenDuring(socket, periods, 3 * kWatchdogMs);
    EXPECT_GE(periods.count(QStringLiteral("WATCHDOG=1")), 3) << periods.fields.join(u'|').toStdString();
    EXPECT_TRUE(periods.statuses().isEmpty()) << "no cycle ran";
    link.terminate();
    ASSERT_TRUE(listenFor(socket, heard, QStringLiteral("STOPPING=1")));
    expectOrderlyEnd(link);
}

// A stop that the link cannot act on within its grace period (the cycle waits for the database)
// ends the program with code 5; the service manager still hears that it is stopping.
TEST(ServiceNotify, AStopThatCannotWaitStillSaysStopping) {
    TempFolder dir;
    writeSettings(dir, false);
    dropSamples(dir, {QStringLiteral("4711.s2c")});
    HeldDatabase held(dir);
    NotifySocket socket(dir.path());
    QProcess link;
    startLink(
        link, socket,
        {QStringLiteral("--headless"), QStringLiteral("--once"), QStringLiteral("--folder"), dir.path()});
    Heard heard;
    ASSERT_TRUE(listenFor(socket, heard, QStringLiteral("READY=1")));
    ASSERT_TRUE(listenFor(socket, heard, QStringLiteral("WATCHDOG=1")));  // the document is taken
    link.terminate();
    ASSERT_TRUE(link.waitForFinished(20000)) << "ended within 20 s of the stop signal";
    EXPECT_EQ(link.exitCode(), 5);
    EXPECT_TRUE(listenFor(socket, heard, QStringLiteral("STOPPING=1"), 1000))
        << heard.fields.join(u'|').toStdString();
}

}  // namespace
}  // namespace vk
