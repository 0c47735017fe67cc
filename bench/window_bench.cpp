// The link inside its window on the offscreen platform:
//  1. one import cycle over N new-order documents (real handlers, embedded SQLite) run by the
//     window's polling tick, against the same cycle in the window-less run, best of R rounds each;
//     during the window's cycle a 1 ms timer measures the longest gap between two handled window
//     events;
//  2. appending L lines to Logboek: time and memory, for the widget the window uses and for the
//     alternatives it was chosen over.
//
//   bench_window [documents=5000] [rounds=3] [log lines=100000]

#include "BenchDocuments.h"
#include "platform/Clock.h"
#include "settings/Settings.h"
#include "shell/ConsolePorts.h"
#include "shell/LinkApplication.h"
#include "shell/THoofdscherm.h"
#include "shell/WidgetPorts.h"
#include "ui_Hoofdscherm.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>

#include <malloc.h>
#include <algorithm>
#include <cstdio>

using namespace vk;

namespace {

void dropDocuments(const QString& inbound, int count, int firstId) {
    for (int i = 0; i < count; ++i) {
        QFile f(inbound + QStringLiteral("/%1.s2c").arg(firstId + i));
        if (!f.open(QIODevice::WriteOnly) || f.write(bench::newOrder(firstId + i)) < 0) {
            std::fprintf(stderr, "cannot write a document\n");
            std::exit(1);
        }
    }
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
    double docsPerSecond = 0;
    double longestGapMs = 0;
};

class NoFolders final : public FolderPicker {
public:
    std::optional<QString> pickFolder(QWidget*, const QString&) override { return std::nullopt; }
};

class NoBoxes final : public MessageBoxes {
public:
    MessageBoxAnswer show(const MessageBoxRequest&) override { return MessageBoxAnswer::Ok; }
};

CycleFigures cycleInTheWindow(int documents, int round) {
    QTemporaryDir dir;
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
    dropDocuments(folder + QStringLiteral("W2W/S2C"), documents, round * documents + 1);
    window.ADO().open();  // the connect and the table creation are not the cycle's

    QElapsedTimer clockOfEvents;
    qint64 lastEvent = 0;
    qint64 longestGap = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(1);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clockOfEvents.nsecsElapsed();
        longestGap = std::max(longestGap, now - lastEvent);
        lastEvent = now;
    });
    probe.start();
    QCoreApplication::processEvents();

    QElapsedTimer elapsed;
    elapsed.start();
    clockOfEvents.start();
    window.W2WTimer().W2WTimerTimer();
    const qint64 ns = elapsed.nsecsElapsed();
    // the gap from the last event handled inside the cycle to the next one after it
    QCoreApplication::processEvents();
    probe.stop();
    if (window.engine().counts().handled != documents) {
        std::fprintf(stderr, "the window handled %d of %d documents\n", window.engine().counts().handled,
                     documents);
        std::exit(1);
    }
    return {documents / (ns / 1e9), longestGap / 1e6};
}

double cycleWithoutWindow(int documents, int round) {
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    QDir().mkpath(folder + QStringLiteral("W2W/S2C/Backups"));
    QDir().mkpath(folder + QStringLiteral("W2W/C2S"));
    SystemClock clock;
    MemorySettings settings;
    settings.setText(Setting::xLoginServer, QStringLiteral("sqlite:planning.db"));
    settings.setText(Setting::Gebruiker, QStringLiteral("7"));
    settings.setText(Setting::w2wInkomende, folder + QStringLiteral("W2W/S2C"));
    settings.setText(Setting::w2wUitgaande, folder + QStringLiteral("W2W/C2S"));
    std::FILE* devNull = std::fopen("/dev/null", "w");
    ConsoleLog log(devNull);
    KeptPacket packet;
    LogReplacingErrorHandler errors(log);
    EventLoopPump pump;
    w2w::OrderImport link({settings, packet, log, errors, pump, clock}, folder);
    w2w::ImportEngine& engine = link.engine;
    dropDocuments(folder + QStringLiteral("W2W/S2C"), documents, round * documents + 1);
    link.ado.open();

    QElapsedTimer elapsed;
    elapsed.start();
    engine.CheckXMLfiles();
    const qint64 ns = elapsed.nsecsElapsed();
    std::fclose(devNull);
    if (engine.counts().handled != documents) {
        std::fprintf(stderr, "the window-less run handled %d of %d documents\n", engine.counts().handled,
                     documents);
        std::exit(1);
    }
    return documents / (ns / 1e9);
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

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    LinkApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const int documents = argc > 1 ? std::atoi(argv[1]) : 5000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    const int lines = argc > 3 ? std::atoi(argv[3]) : 100000;

    std::printf("Import cycle over %d new orders (SQLite), best of %d rounds\n", documents, rounds);
    CycleFigures bestWindow;
    double worstGap = 0;
    double bestHeadless = 0;
    for (int r = 0; r < rounds; ++r) {
        const CycleFigures w = cycleInTheWindow(documents, 2 * r);
        const double h = cycleWithoutWindow(documents, 2 * r + 1);
        std::printf("  round %d: window %.0f docs/s (longest gap %.1f ms), window-less %.0f docs/s\n", r + 1,
                    w.docsPerSecond, w.longestGapMs, h);
        bestWindow.docsPerSecond = std::max(bestWindow.docsPerSecond, w.docsPerSecond);
        worstGap = std::max(worstGap, w.longestGapMs);
        bestHeadless = std::max(bestHeadless, h);
    }
    std::printf("  window %.0f docs/s, window-less %.0f docs/s, ratio %.2f (target 0.80)\n",
                bestWindow.docsPerSecond, bestHeadless, bestWindow.docsPerSecond / bestHeadless);
    std::printf("  longest gap between two handled window events during a cycle: %.1f ms (target 100)\n\n",
                worstGap);

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
    return 0;
}
