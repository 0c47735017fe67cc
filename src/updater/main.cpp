// VeloraUpdater: installs a new version of the link that the link downloaded, and starts it; with
// --recover, run before every start of the link, it settles an update that was ended half way.
#include "updater/Rollback.h"
#include "updater/Updater.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

// The waits can be shortened for the updater's tests; a release uses the defaults.
std::chrono::milliseconds fromEnvironment(const char* name, std::chrono::milliseconds otherwise) {
    bool ok = false;
    const qint64 ms = qEnvironmentVariable(name).toLongLong(&ok);
    return ok && ms >= 0 ? std::chrono::milliseconds(ms) : otherwise;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    vk::SystemClock clock;
    vk::UpdaterLog log(clock);
    if (arguments.size() != 2) {
        log.line(QStringLiteral("Gebruik: VeloraUpdater '<pad van de download>' of VeloraUpdater --recover"));
        return static_cast<int>(vk::UpdaterExit::BadCall);
    }
    vk::UpdaterTimings timings;
    timings.lockWait = fromEnvironment("VELORA_UPDATER_LOCK_WAIT_MS", timings.lockWait);
    timings.startWait = fromEnvironment("VELORA_UPDATER_START_WAIT_MS", timings.startWait);
    timings.holdTime = fromEnvironment("VELORA_UPDATER_HOLD_MS", timings.holdTime);
    if (arguments.at(1) == QLatin1StringView("--recover")) {
        vk::RecoveryTimings recovery;
        recovery.lockWait = fromEnvironment("VELORA_UPDATER_RECOVER_WAIT_MS", recovery.lockWait);
        try {
            vk::recoverInstallation(log, QCoreApplication::applicationDirPath(), recovery);
        } catch (const vk::Error& error) {
            // a start must never be kept from the link: what could not be done is said
            log.line(error.message());
        }
        return 0;
    }
    vk::Updater updater(log, timings, QCoreApplication::applicationDirPath());
    return static_cast<int>(updater.run(arguments.at(1)));
}
