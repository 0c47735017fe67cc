// The link inside its window on the offscreen platform:
//  1. import cycles over 1,000, 10,000 and 100,000 new-order documents (real handlers, embedded
//     SQLite, the log page in view), each run by the window's polling tick. A 1 ms timer on the main
//     thread notes every window event handled from the start of the cycle to its end, the work at its
//     end included: the cycle has ended when the tick has returned, no cycle runs and the inbound
//     folder holds no file of the cycle any more. The table shows the longest gap between two handled
//     events and the 99th percentile of the gaps, so that one sees whether the window's longest wait
//     grows with the cycle. The same cycle without the window gives the rate to compare with, up to
//     10,000 documents (--window-less: at every size).
//  2. appending lines to Logboek: time and memory, for the widget the window uses and for the
//     alternatives it was chosen over.
//
//   bench_window                           both: cycles 1000:3 10000:3 100000:1, then 100,000 lines
//   bench_window cycles [N[:R]]...         the cycles only: N documents, R rounds (3, 1 from 100,000)
//   bench_window log [lines=100000]        the log lines only
//   bench_window N [R=3 [lines=100000]]    one cycle size, then the log lines (0 lines: none)
//   --window-less, anywhere                the window-less comparison at every size
//
// Every round writes its documents into a temporary folder of its own ($TMPDIR, else /tmp), flushed
// to disk before the cycle starts, and removes the folder when it is done.

#include "BenchDocuments.h"
#include "platform/Clock.h"
#include "settings/Settings.h"
#include "shell/ConsolePorts.h"
#include "shell/LinkApplication.h"
#include "shell/THoofdscherm.h"
#include "shell/WidgetPorts.h"
#include "ui_Hoofdscherm.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

using namespace vk;

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::exit(1);
}

void flushFileSystemOf(const QString& folder) {
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || ::syncfs(fd) != 0) {
        fail("cannot flush the documents' file system");
    }
    ::close(fd);
}

// The documents are in the inbound folder before the cycle, as the partner's would be: one buffer
// reused for every file, one plain write each, and the file system flushed afterwards, so that the
// cycle's own flush of its answers does not write them as well. Returns the seconds taken.
double dropDocuments(const QString& inbound, int count, int firstId) {
    QElapsedTimer elapsed;
    elapsed.start();
    const QByteArray sample = bench::newOrder(0);
    const qsizetype idAt = sample.indexOf("<id>0</id>") + 4;
    const QByteArray tail = sample.mid(idAt + 1);
    QByteArray text = sample.left(idAt);
    const qsizetype headSize = text.size();
    text.reserve(sample.size() + 16);
    const QByteArray folder = QFile::encodeName(inbound);
    std::vector<char> path(static_cast<size_t>(folder.size()) + 32);
    char digits[16];
    for (int i = 0; i < count; ++i) {
        const int id = firstId + i;
        const char* digitsEnd = std::to_chars(digits, digits + sizeof digits, id).ptr;
        text.truncate(headSize);
        text.append(digits, digitsEnd - digits).append(tail);
        std::snprintf(path.data(), path.size(), "%s/%d.s2c", folder.constData(), id);
        const int fd = ::open(path.data(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, text.constData(), static_cast<size_t>(text.size())) != text.size()) {
            std::perror(path.data());
            std::exit(1);
        }
        ::close(fd);
    }
    flushFileSystemOf(inbound);
    return elapsed.nsecsElapsed() / 1e9;
}

// A file left in the inbound folder is a document not taken or one the cycle still holds under the
// link's name (until its answer is durable).
bool inboundEmpty(const QString& inbound) {
    return !QDirIterator(inbound, QDir::Files | QDir::Hidden | QDir::System).hasNext();
}

// Until the cycle has ended: nothing of it still runs or holds a file. Whatever of it is left to the
// event loop after the tick has returned runs here. Says whether there was any.
bool awaitEndOfCycle(const w2w::ImportEngine& engine, const QString& inbound) {
    const QDeadlineTimer deadline(std::chrono::minutes(2));
    bool waited = false;
    while (engine.cycleRunning() || !inboundEmpty(inbound)) {
        if (deadline.hasExpired()) {
            fail("the cycle left files in the inbound folder");
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        waited = true;
    }
    return waited;
}

void writeSettingsFile(const QString& folder) {
    QFile f(folder + QStringLiteral("VeloraKarvex.xml"));
    if (!f.open(QIODevice::WriteOnly)) {
        std::exit(1);
    }
    // Automatisch ticked, and an interval long enough that only the benchmark's own tick runs
    f.write(
        "<Configuration><Hoofdscherm><xLoginServer_Text>sqlite:planning.db</xLoginServer_Text>"
        "<Interval_Text>3600</Interval_Text><Automatisch_Checked>TRUE</Automatisch_Checked>"
        "<Gebruiker_Text>7</Gebruiker_Text></Hoofdscherm></Configuration>");
}

// Bytes in use on the heap: unlike the resident size, not hidden by memory that earlier work freed.
double heapMiB() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

struct CycleFigures {
    double writeSeconds = 0;
    double docsPerSecond = 0;
    double longestGapMs = 0;
    double endGapMs = 0;  // the gap that the cycle's end closed
    double p99GapMs = 0;
    size_t gaps = 0;
};

class NoFolders final : public FolderPicker {
public:
    std::optional<QString> pickFolder(QWidget*, const QString&) override { return std::nullopt; }
};

class NoBoxes final : public MessageBoxes {
public:
    MessageBoxAnswer show(const MessageBoxRequest&) override { return MessageBoxAnswer::Ok; }
};

// The gaps between two window events handled on the main thread, sampled by a 1 ms timer there:
// its timeouts come only when the thread gets back to its event loop, as the window's own events
// would. The first gap runs from start().
class EventGaps {
public:
    explicit EventGaps(size_t expected) {
        gaps_.reserve(expected);
        probe_.setTimerType(Qt::PreciseTimer);
        probe_.setInterval(1);
        QObject::connect(&probe_, &QTimer::timeout, [this] {
            if (clock_.isValid()) {
                closeGap();
            }
        });
        probe_.start();
    }

    void start() {
        clock_.start();
        last_ = 0;
    }

    // The gap up to now, as though an event were handled now; returns the time since start().
    qint64 closeGap() {
        const qint64 now = clock_.nsecsElapsed();
        if (now > last_) {
            gaps_.push_back(now - last_);
            last_ = now;
        }
        return now;
    }

    qint64 lastEventNs() const { return last_; }

    void stop() {
        probe_.stop();
        clock_.invalidate();
    }

    double longestMs() const {
        return gaps_.empty() ? 0 : *std::max_element(gaps_.begin(), gaps_.end()) / 1e6;
    }

    double percentileMs(double share) const {
        if (gaps_.empty()) {
            return 0;
        }
        std::vector<qint64> sorted = gaps_;
        const size_t rank = std::min(sorted.size() - 1, static_cast<size_t>(share * sorted.size()));
        std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(rank), sorted.end());
        return sorted[rank] / 1e6;
    }

    size_t count() const { return gaps_.size(); }

private:
    QTimer probe_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    std::vector<qint64> gaps_;
};

CycleFigures cycleInTheWindow(int documents, int firstId) {
    QTemporaryDir dir;
    if (!dir.isValid()) {
        fail("cannot make a temporary folder");
    }
    const QString folder = dir.path() + u'/';
    writeSettingsFile(folder);
    SystemClock clock;
    NoBoxes boxes;
    NoFolders folders;
    THoofdscherm window({folder,
                         QStringLiteral("bench"),
                         clock,
                         boxes,
                         folders,
                         [](const QString&) { return QStringLiteral("1"); },
                         {},
                         {}});
    window.start();
    // the user watches the log while the cycle runs
    window.form().RzPageControl1->setCurrentIndex(2);
    const QString inbound = folder + QStringLiteral("W2W/S2C");
    CycleFigures figures;
    figures.writeSeconds = dropDocuments(inbound, documents, firstId);
    window.ADO().open();  // the connect and the table creation are not the cycle's

    EventGaps gaps(static_cast<size_t>(documents) * 4 + 4096);
    QCoreApplication::processEvents();  // nor is what the start left for the event loop

    gaps.start();
    window.W2WTimer().W2WTimerTimer();
    // Back in the event loop, the window handles its events again: the tick's return closes a gap.
    const qint64 lastInside = gaps.lastEventNs();
    qint64 ns = gaps.closeGap();
    figures.endGapMs = (ns - lastInside) / 1e6;
    if (awaitEndOfCycle(window.engine(), inbound)) {
        ns = gaps.closeGap();
    }
    gaps.stop();
    if (window.engine().counts().handled != documents) {
        std::fprintf(stderr, "the window handled %d of %d documents\n", window.engine().counts().handled,
                     documents);
        std::exit(1);
    }
    figures.docsPerSecond = documents / (ns / 1e9);
    figures.longestGapMs = gaps.longestMs();
    figures.p99GapMs = gaps.percentileMs(0.99);
    figures.gaps = gaps.count();
    return figures;
}

double cycleWithoutWindow(int documents, int firstId) {
    QTemporaryDir dir;
    if (!dir.isValid()) {
        fail("cannot make a temporary folder");
    }
    const QString folder = dir.path() + u'/';
    const QString inbound = folder + QStringLiteral("W2W/S2C");
    QDir().mkpath(inbound + QStringLiteral("/Backups"));
    QDir().mkpath(folder + QStringLiteral("W2W/C2S"));
    SystemClock clock;
    MemorySettings settings;
    settings.setText(Setting::xLoginServer, QStringLiteral("sqlite:planning.db"));
    settings.setText(Setting::Gebruiker, QStringLiteral("7"));
    settings.setText(Setting::w2wInkomende, inbound);
    settings.setText(Setting::w2wUitgaande, folder + QStringLiteral("W2W/C2S"));
    std::FILE* devNull = std::fopen("/dev/null", "w");
    ConsoleLog log(devNull);
    KeptPacket packet;
    LogReplacingErrorHandler errors(log);
    EventLoopPump pump;
    w2w::OrderImport link({settings, packet, log, errors, pump, clock}, folder);
    w2w::ImportEngine& engine = link.engine;
    dropDocuments(inbound, documents, firstId);
    link.ado.open();

    QElapsedTimer elapsed;
    elapsed.start();
    engine.CheckXMLfiles();
    awaitEndOfCycle(engine, inbound);
    const qint64 ns = elapsed.nsecsElapsed();
    std::fclose(devNull);
    if (engine.counts().handled != documents) {
        std::fprintf(stderr, "the window-less run handled %d of %d documents\n", engine.counts().handled,
                     documents);
        std::exit(1);
    }
    return documents / (ns / 1e9);
}

struct CycleSize {
    int documents = 0;
    int rounds = 0;
};

struct CycleRow {
    CycleSize size;
    double windowDocsPerSecond = 0;      // best round
    double windowLessDocsPerSecond = 0;  // best round; 0: not run
    double longestGapMs = 0;             // worst round
    double p99GapMs = 0;                 // worst round
};

constexpr int kWindowLessUpTo = 10000;

CycleRow runCycles(CycleSize size, bool windowLess) {
    CycleRow row;
    row.size = size;
    for (int r = 0; r < size.rounds; ++r) {
        // ids of their own for every round and run, as a partner's would be
        const CycleFigures w = cycleInTheWindow(size.documents, 2 * r * size.documents + 1);
        std::printf(
            "  %d documents, round %d: written in %.1f s; window %.0f docs/s, longest gap %.1f ms "
            "(closed at the end: %.1f ms), p99 %.2f ms of %zu gaps",
            size.documents, r + 1, w.writeSeconds, w.docsPerSecond, w.longestGapMs, w.endGapMs, w.p99GapMs,
            w.gaps);
        std::fflush(stdout);
        row.windowDocsPerSecond = std::max(row.windowDocsPerSecond, w.docsPerSecond);
        row.longestGapMs = std::max(row.longestGapMs, w.longestGapMs);
        row.p99GapMs = std::max(row.p99GapMs, w.p99GapMs);
        if (windowLess) {
            const double h = cycleWithoutWindow(size.documents, (2 * r + 1) * size.documents + 1);
            std::printf("; window-less %.0f docs/s", h);
            row.windowLessDocsPerSecond = std::max(row.windowLessDocsPerSecond, h);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    return row;
}

void printCycleTable(const std::vector<CycleRow>& rows) {
    std::printf(
        "\n  documents  rounds  window docs/s  window-less docs/s  ratio  longest gap ms  p99 gap ms\n");
    bool skipped = false;
    for (const CycleRow& row : rows) {
        char windowLess[32] = "-";
        char ratio[16] = "-";
        if (row.windowLessDocsPerSecond > 0) {
            std::snprintf(windowLess, sizeof windowLess, "%.0f", row.windowLessDocsPerSecond);
            std::snprintf(ratio, sizeof ratio, "%.2f", row.windowDocsPerSecond / row.windowLessDocsPerSecond);
        } else {
            skipped = true;
        }
        std::printf("  %9d  %6d  %13.0f  %18s  %5s  %14.1f  %10.2f\n", row.size.documents, row.size.rounds,
                    row.windowDocsPerSecond, windowLess, ratio, row.longestGapMs, row.p99GapMs);
    }
    std::printf(
        "  docs/s: the best round; ratio: window / window-less (target 0.80); longest gap: the worst round "
        "(target 100 ms);\n  p99 gap: the 99th percentile of one round's gaps, the worst round's\n");
    if (skipped) {
        std::printf("  window-less: not run above %d documents (--window-less runs it)\n", kWindowLessUpTo);
    }
}

QString logLine(int i) {
    return QStringLiteral("10-12-2026 14:%1:%2 Verbinding W2W ADD XML: C:\\Vindo\\Karvex\\W2W\\S2C\\%3.s2c")
        .arg(i / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(i % 60, 2, 10, QLatin1Char('0'))
        .arg(100000 + i);
}

struct LogFigures {
    double seconds = 0;
    double mib = 0;
    double lastAppendMs = 0;
    double replaceMs = 0;
};

// Appends the lines to a visible text widget the size of Logboek, letting the window paint now and
// then as the event loop would between cycles.
template <class Append, class Replace>
LogFigures appendLines(
    QWidget& widget, int lines, Append append, Replace replace, const std::function<void()>& settle = [] {}) {
    widget.resize(797, 376);
    widget.show();
    QCoreApplication::processEvents();
    const double before = heapMiB();
    QElapsedTimer elapsed;
    elapsed.start();
    for (int i = 0; i < lines; ++i) {
        append(logLine(i));
        if (i % 1000 == 999) {
            QCoreApplication::processEvents();
        }
    }
    settle();
    QCoreApplication::processEvents();
    LogFigures figures;
    figures.seconds = elapsed.nsecsElapsed() / 1e9;
    figures.mib = heapMiB() - before;
    QElapsedTimer one;
    one.start();
    append(logLine(lines));
    settle();
    QCoreApplication::processEvents();
    figures.lastAppendMs = one.nsecsElapsed() / 1e6;
    one.restart();
    replace(QStringLiteral("Verbinding met de database verbroken"));
    QCoreApplication::processEvents();
    figures.replaceMs = one.nsecsElapsed() / 1e6;
    return figures;
}

void printLog(const char* name, const LogFigures& f) {
    std::printf("  %-44s %7.2f s  %7.1f MiB  next line %6.2f ms  replace %7.2f ms\n", name, f.seconds, f.mib,
                f.lastAppendMs, f.replaceMs);
}

// A count on the command line: digits only, from `least` on.
bool readCount(const char* text, int least, int& value) {
    const char* end = text + std::strlen(text);
    const auto [at, error] = std::from_chars(text, end, value);
    return error == std::errc() && at == end && value >= least;
}

struct Options {
    std::vector<CycleSize> cycles;
    int logLines = 0;
    bool windowLessEverywhere = false;
};

int defaultRounds(int documents) {
    return documents >= 100000 ? 1 : 3;
}

std::optional<Options> readOptions(const QStringList& arguments) {
    Options options;
    std::vector<QByteArray> words;
    for (const QString& argument : arguments) {
        if (argument == QStringLiteral("--window-less")) {
            options.windowLessEverywhere = true;
        } else {
            words.push_back(argument.toLocal8Bit());
        }
    }
    constexpr int kLines = 100000;
    const std::vector<CycleSize> standard{{1000, 3}, {10000, 3}, {100000, 1}};
    if (words.empty()) {
        options.cycles = standard;
        options.logLines = kLines;
    } else if (words[0] == "cycles") {
        for (size_t i = 1; i < words.size(); ++i) {
            const qsizetype colon = words[i].indexOf(':');
            CycleSize size;
            if (!readCount(words[i].left(colon < 0 ? words[i].size() : colon).constData(), 1,
                           size.documents)) {
                return std::nullopt;
            }
            size.rounds = defaultRounds(size.documents);
            if (colon >= 0 && !readCount(words[i].mid(colon + 1).constData(), 1, size.rounds)) {
                return std::nullopt;
            }
            options.cycles.push_back(size);
        }
        if (options.cycles.empty()) {
            options.cycles = standard;
        }
    } else if (words[0] == "log") {
        options.logLines = kLines;
        if (words.size() > 2 ||
            (words.size() == 2 && !readCount(words[1].constData(), 1, options.logLines))) {
            return std::nullopt;
        }
    } else {
        CycleSize size{0, 3};
        options.logLines = kLines;
        if (words.size() > 3 || !readCount(words[0].constData(), 1, size.documents) ||
            (words.size() > 1 && !readCount(words[1].constData(), 1, size.rounds)) ||
            (words.size() > 2 && !readCount(words[2].constData(), 0, options.logLines))) {
            return std::nullopt;
        }
        options.cycles.push_back(size);
    }
    return options;
}

void runLogLines(int lines) {
    std::printf("Appending %d lines to the log\n", lines);
    {
        QPlainTextEdit edit;
        edit.setLineWrapMode(QPlainTextEdit::WidgetWidth);
        edit.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        edit.setUndoRedoEnabled(false);
        PlainTextLog log(edit);
        printLog("Logboek: QPlainTextEdit, no undo, refreshes",
                 appendLines(
                     edit, lines, [&](const QString& l) { log.appendLine(l); },
                     [&](const QString& t) { log.replaceText(t); }, [&] { log.flush(); }));
    }
    {
        QPlainTextEdit edit;
        edit.setLineWrapMode(QPlainTextEdit::WidgetWidth);
        edit.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        edit.setUndoRedoEnabled(false);
        printLog("QPlainTextEdit, a line at a time, no undo",
                 appendLines(
                     edit, lines, [&](const QString& l) { edit.appendPlainText(l); },
                     [&](const QString& t) { edit.setPlainText(t); }));
    }
    {
        QPlainTextEdit edit;
        edit.setLineWrapMode(QPlainTextEdit::WidgetWidth);
        edit.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        printLog("QPlainTextEdit, a line at a time, with undo",
                 appendLines(
                     edit, lines, [&](const QString& l) { edit.appendPlainText(l); },
                     [&](const QString& t) { edit.setPlainText(t); }));
    }
    {
        const int fewer = std::min(lines, 20000);
        QTextEdit edit;
        edit.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        edit.setUndoRedoEnabled(false);
        const LogFigures f = appendLines(
            edit, fewer, [&](const QString& l) { edit.append(l); },
            [&](const QString& t) { edit.setPlainText(t); });
        char name[64];
        std::snprintf(name, sizeof name, "QTextEdit, no undo history (%d lines)", fewer);
        printLog(name, f);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    LinkApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const std::optional<Options> options = readOptions(QCoreApplication::arguments().mid(1));
    if (!options) {
        std::fprintf(
            stderr,
            "usage: bench_window [cycles [N[:R]]... | log [lines] | N [R [lines]]] [--window-less]\n");
        return 2;
    }

    if (!options->cycles.empty()) {
        std::printf("Import cycles run by the window's tick (offscreen, SQLite, the log page in view)\n");
        std::fflush(stdout);
        QElapsedTimer took;
        took.start();
        std::vector<CycleRow> rows;
        for (const CycleSize& size : options->cycles) {
            rows.push_back(
                runCycles(size, options->windowLessEverywhere || size.documents <= kWindowLessUpTo));
        }
        printCycleTable(rows);
        std::printf("  (the cycles took %.0f s with writing and removing the documents)\n\n",
                    took.nsecsElapsed() / 1e9);
        std::fflush(stdout);
    }
    if (options->logLines > 0) {
        runLogLines(options->logLines);
    }
    return 0;
}
