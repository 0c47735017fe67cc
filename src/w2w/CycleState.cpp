#include "w2w/CycleState.h"

#include "platform/FileNames.h"
#include "platform/Paths.h"

#include <QFileInfo>

#include <unistd.h>

namespace vk::w2w {

CycleState::CycleState(ImportPorts ports_, DocumentJournal* journal_, const CycleSeams& seams_)
    : ports(ports_),
      journal(journal_),
      seams(seams_),
      claimedNames(journal_ != nullptr ? journal_->path() : QString()) {}

QString CycleState::inboundPath(const QString& name) const {
    return joinPath(inbound, name);
}

QString CycleState::timestamp() const {
    return logTimestamp(ports.clock.now());
}

void CycleState::logError(const QString& message) {
    logLine(timestamp() + QStringLiteral(" - W2W XML: ") + message);
}

void CycleState::logLine(const QString& line) {
    ports.log.appendLine(readableFileName(line));
}

void CycleState::reachedPoint(CyclePoint point) {
    if (seams.faultPoint) {
        seams.faultPoint(point);
    }
}

bool CycleState::pumpAndAskStop() {
    ports.pump.processPendingMessages();
    return ports.pump.stopRequested();
}

void CycleState::dropRecord() {
    if (record) {
        journal->remove(*record);
        releaseClaim(record->claimedPath);
        record.reset();
    }
}

void CycleState::releaseClaim(const QString& claimedPath) {
    if (!claimedPath.isEmpty()) {
        ::unlink(encodeFileName(claimedPath).constData());
        claims.remove(QFileInfo(claimedPath).fileName());
    }
}

}  // namespace vk::w2w
