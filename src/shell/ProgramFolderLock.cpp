#include "shell/ProgramFolderLock.h"

#include <QDir>

#include <cstdio>

namespace vk {

ProgramFolderLock::ProgramFolderLock(const QString& programFolder)
    : lock_(programFolder + kFileName.toString()) {
    lock_.setStaleLockTime(0);
    if (lock_.tryLock(0)) {
        return;
    }
    if (lock_.error() == QLockFile::LockFailedError) {
        qint64 pid = 0;
        QString host;
        QString application;
        lock_.getLockInfo(&pid, &host, &application);
        takenBy_ = QStringLiteral(
                       "De programmamap %1 is al in gebruik door een andere koppeling (proces %2 op %3); "
                       "deze koppeling start niet.")
                       .arg(programFolder)
                       .arg(pid)
                       .arg(host.isEmpty() ? QStringLiteral("onbekende computer") : host);
        return;
    }
    unavailable_ = QStringLiteral(
                       "De programmamap %1 kan niet vergrendeld worden; start geen tweede koppeling "
                       "op deze map.")
                       .arg(programFolder);
}

std::optional<int> claimProgramFolder(const QString& programFolder, std::optional<ProgramFolderLock>& lock) {
    if (!QDir().mkpath(programFolder)) {
        std::fprintf(stderr, "Programmamap %s kan niet gemaakt worden\n", qPrintable(programFolder));
        return 1;
    }
    lock.emplace(programFolder);
    if (const std::optional<QString> taken = lock->takenBy()) {
        std::fprintf(stderr, "%s\n", qPrintable(*taken));
        return ProgramFolderLock::kTakenExitCode;
    }
    return std::nullopt;
}

}  // namespace vk
