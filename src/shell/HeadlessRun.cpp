#include "shell/HeadlessRun.h"

#include "platform/KeptLog.h"

#include "platform/Clock.h"
#include "platform/ServiceNotify.h"
#include "settings/Settings.h"
#include "settings/SettingsStorage.h"
#include "shell/ConsolePorts.h"
#include "shell/ExchangeFolders.h"
#include "shell/LinkFault.h"
#include "shell/Liveness.h"
#include "shell/PollingTimer.h"
#include "shell/ProgramFolderLock.h"
#include "shell/QtMessageRouting.h"
#include "shell/StopSignals.h"
#include "shell/UpdateConfirmation.h"
#include "w2w/OrderImport.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <limits>

namespace vk {

namespace {

// What the service manager hears of the run's progress: a keep-alive, and the liveness line (the
// last cycle, the counts) whenever it changed. Everything is sent from the thread that runs the
// cycles, from the cycle itself or from the event loop between cycles: a cycle stuck in a call
// that does not return sends nothing, and the watchdog takes it for what it is.
class ServiceReport {
public:
    explicit ServiceReport(ServiceNotify& notify) : notify_(notify) {}
    void attach(const w2w::ImportEngine& engine) { engine_ = &engine; }

    QString liveness() const {
        return livenessText(lastCycle_, engine_ != nullptr ? engine_->counts() : w2w::DocumentCounts{});
    }
    void alive() {
        notify_.keepAlive();
        notify_.status(liveness());
    }
    void cycleEnded(const QDateTime& at) {
        lastCycle_ = at;
        alive();
    }

private:
    ServiceNotify& notify_;
    const w2w::ImportEngine* engine_ = nullptr;
    std::optional<QDateTime> lastCycle_;
};

// The engine lets the event loop run once for every document it takes; the window-less run also
// says then that it makes progress. A long cycle over many documents thus never looks hung, and
// the longest silence within a cycle is the handling of one document.
class ProgressReportingPump final : public MessagePump {
public:
    explicit ProgressReportingPump(ServiceReport& report) : report_(report) {}
    void processPendingMessages() override {
        report_.alive();
        events_.processPendingMessages();
    }
    bool stopRequested() const override { return events_.stopRequested(); }

private:
    ServiceReport& report_;
    EventLoopPump events_;
};

}  // namespace

int keepAliveIntervalMs(int pollingMs, std::optional<std::chrono::microseconds> watchdog) {
    int ms = pollingMs > 0 ? pollingMs : 10000;
    if (watchdog) {
        const long long half = std::max<long long>(1, watchdog->count() / 2000);
        ms = static_cast<int>(
            std::min<long long>(ms, std::min<long long>(half, std::numeric_limits<int>::max())));
    }
    return ms;
}

int runHeadless(const CommandLine& cl) {
    const QDateTime runStart = QDateTime::currentDateTime();
    const QString folder = programFolder(cl);
    std::optional<ProgramFolderLock> folderLock;
    if (const std::optional<int> exitCode = claimProgramFolder(folder, folderLock)) {
        return *exitCode;
    }

    SystemClock clock;
    SettingsStorage storage(folder + SettingsStorage::kFileName.toString(), clock);
    const std::optional<QString> loadProblem = storage.LoadSettingsFile();
    MemorySettings settings;
    storage.RestoreSettings(settings);

    ConsoleLog console;
    KeptLog log(console, folder, clock);
    const QtMessageRouting::LogAttachment qtMessagesInTheLog(log);
    for (const std::optional<QString>& problem : {folderLock->unavailable(), loadProblem}) {
        if (problem) {
            log.appendLine(logTimestamp(clock.now()) + QStringLiteral(" - ") + *problem);
        }
    }
    KeptPacket packet;
    LogReplacingErrorHandler errors(log);
    ServiceNotify service;
    ServiceReport report(service);
    ProgressReportingPump pump(report);
    w2w::OrderImport link({settings, packet, log, errors, pump, clock}, folder);
    w2w::ImportEngine& engine = link.engine;
    engine.faultPoint = faultPointFromEnvironment();
    report.attach(engine);

    prepareExchangeFolders(folder, settings);
    removeLeftoversOfEarlierRuns(folder, settings, runStart, link.journal.notedAnswerFiles());
    // The folder is this run's and its exchange folders are there: a partner may drop documents.
    service.ready(report.liveness());

    // Every run that ends in order leaves its settings in the file.
    const auto endRun = [&] {
        service.stopping();
        if (const std::optional<QString> problem = storage.endRun(settings)) {
            std::fprintf(stderr, "Instellingen niet bewaard: %s\n", qPrintable(*problem));
        }
    };

    // A stop requested before the loop (or the one cycle) starts is honoured at this point; one
    // that arrives later is read by the loop.
    StopSignals stopSignals;
    if (cl.once) {
        if (!StopSignals::requested()) {
            engine.CheckXMLfiles();
            report.cycleEnded(clock.now());
        }
        endRun();
        return 0;
    }

    PollingTimer timer(settings, log, [&] {
        // a tick handled while a cycle pumps messages does nothing: cycles never nest
        if (engine.cycleRunning()) {
            return;
        }
        engine.CheckXMLfiles();
        report.cycleEnded(clock.now());
    });
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &QCoreApplication::quit);
    timer.arm();
    const UpdateConfirmation confirmation(QCoreApplication::applicationFilePath(), [&](const QString& text) {
        log.appendLine(logTimestamp(clock.now()) + QStringLiteral(" - ") + text);
    });
    // The keep-alive ticks in the event loop of the cycles: while a cycle blocks, it does not.
    QTimer keepAlive;
    if (service.active()) {
        keepAlive.setInterval(keepAliveIntervalMs(timer.intervalMs(), service.watchdogPeriod()));
        QObject::connect(&keepAlive, &QTimer::timeout, [&] { report.alive(); });
        keepAlive.start();
    }
    if (!StopSignals::requested()) {
        QCoreApplication::exec();
    }
    endRun();
    return 0;
}

}  // namespace vk
