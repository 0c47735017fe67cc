#include "shell/ProgramFolderLock.h"

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

}  // namespace vk
