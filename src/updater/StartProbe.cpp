#include "updater/StartProbe.h"

#include <QProcess>

namespace vk {

std::optional<QString> whyItDoesNotStart(const QString& program, const QString& workingFolder,
                                         std::chrono::milliseconds limit) {
    QProcess probe;
    probe.setWorkingDirectory(workingFolder);
    probe.setProcessChannelMode(QProcess::MergedChannels);
    probe.start(program, {QStringLiteral("--version")});
    if (!probe.waitForStarted(static_cast<int>(limit.count()))) {
        return QStringLiteral("het kan niet gestart worden (%1)").arg(probe.errorString());
    }
    if (!probe.waitForFinished(static_cast<int>(limit.count()))) {
        probe.kill();
        probe.waitForFinished(5000);
        return QStringLiteral("het antwoordt niet binnen %1 seconden")
            .arg(std::chrono::duration_cast<std::chrono::seconds>(limit).count());
    }
    const QString said = QString::fromLocal8Bit(probe.readAll().left(400)).simplified();
    if (probe.exitStatus() != QProcess::NormalExit) {
        return QStringLiteral("het is afgebroken (%1)").arg(said);
    }
    if (probe.exitCode() != 0) {
        return QStringLiteral("het stopt met exit code %1 (%2)").arg(probe.exitCode()).arg(said);
    }
    return std::nullopt;
}

}  // namespace vk
