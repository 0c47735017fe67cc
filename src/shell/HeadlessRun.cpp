#include "shell/HeadlessRun.h"

#include "platform/KeptLog.h"

#include "platform/Clock.h"
#include "settings/Settings.h"
#include "settings/SettingsStorage.h"
#include "shell/ConsolePorts.h"
#include "shell/ExchangeFolders.h"
#include "shell/PollingTimer.h"
#include "shell/ProgramFolderLock.h"
#include "shell/QtMessageRouting.h"
#include "shell/StopSignals.h"
#include "w2w/OrderImport.h"

#include <QCoreApplication>

namespace vk {

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
    EventLoopPump pump;
    w2w::OrderImport link({settings, packet, log, errors, pump, clock}, folder);
    w2w::ImportEngine& engine = link.engine;

    prepareExchangeFolders(folder, settings);
    removeLeftoversOfEarlierRuns(folder, settings, runStart, link.journal.notedAnswerFiles());

    // Every run that ends in order leaves its settings in the file.
    const auto endRun = [&] {
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
        }
        endRun();
        return 0;
    }

    PollingTimer timer(settings, log, [&] { engine.CheckXMLfiles(); });
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &QCoreApplication::quit);
    timer.arm();
    if (!StopSignals::requested()) {
        QCoreApplication::exec();
    }
    endRun();
    return 0;
}

}  // namespace vk
