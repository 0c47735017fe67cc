#include "shell/HeadlessRun.h"

#include "platform/Clock.h"
#include "settings/Settings.h"
#include "settings/SettingsStorage.h"
#include "shell/ConsolePorts.h"
#include "shell/ExchangeFolders.h"
#include "shell/PollingTimer.h"
#include "w2w/ImportEngine.h"
#include "w2w/OrderHandlers.h"

#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>

#include <unistd.h>
#include <csignal>

namespace vk {

namespace {

// SIGINT and SIGTERM end the run in order: the handler only writes a byte, which the event loop
// reads once the running cycle has finished.
int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

void installStopSignals() {
    if (signalPipe[0] < 0 && ::pipe(signalPipe) != 0) {
        return;
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

QString programFolder(const CommandLine& cl) {
    if (cl.folder.isEmpty()) {
        return programFolderOfExecutable();
    }
    QString folder = QDir::toNativeSeparators(QDir(cl.folder).absolutePath());
    if (!folder.endsWith(QDir::separator())) {
        folder += QDir::separator();
    }
    return folder;
}

}  // namespace

int runHeadless(const CommandLine& cl) {
    installStopSignals();
    const QString folder = programFolder(cl);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "Programmamap %s kan niet gemaakt worden\n", qPrintable(folder));
        return 1;
    }

    SystemClock clock;
    SettingsStorage storage(folder + SettingsStorage::kFileName.toString(), clock);
    const std::optional<QString> loadProblem = storage.LoadSettingsFile();
    MemorySettings settings;
    storage.RestoreSettings(settings);

    ConsoleLog log;
    if (loadProblem) {
        log.appendLine(logTimestamp(clock.now()) + QStringLiteral(" - ") + *loadProblem);
    }
    KeptPacket packet;
    LogReplacingErrorHandler errors(log);
    EventLoopPump pump;
    PlanningDatabase ado(settings, folder);
    TemporaryKeys keys(clock);
    PlanningRecord row(ado, settings, keys, clock);
    TransactionLog transactions(ado, settings, errors);
    w2w::OrderHandlers handlers(row, keys, transactions);
    w2w::ImportEngine engine({settings, packet, log, errors, pump, clock}, handlers);

    prepareExchangeFolders(folder, settings);

    // Every run that ends in order leaves its settings in the file.
    const auto endRun = [&] {
        if (const std::optional<QString> problem = storage.endRun(settings)) {
            std::fprintf(stderr, "Instellingen niet bewaard: %s\n", qPrintable(*problem));
        }
    };

    if (cl.once) {
        engine.CheckXMLfiles();
        endRun();
        return 0;
    }

    PollingTimer timer(settings, log, [&] { engine.CheckXMLfiles(); });
    QSocketNotifier stopNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, [&] {
        char byte;
        [[maybe_unused]] const auto got = ::read(signalPipe[0], &byte, 1);
        // Read while a cycle pumps messages, the request ends the event loop only once the
        // cycle has returned to it.
        QCoreApplication::quit();
    });
    timer.arm();
    QCoreApplication::exec();
    endRun();
    return 0;
}

}  // namespace vk
