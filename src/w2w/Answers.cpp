#include "w2w/Answers.h"

#include "platform/Errors.h"
#include "platform/FileNames.h"
#include "platform/FileReplace.h"
#include "platform/Paths.h"
#include "w2w/Acknowledgement.h"
#include "w2w/CycleOutcomes.h"
#include "w2w/W2WFormat.h"

#include <cerrno>
#include <cstdio>
#include <functional>
#include <utility>

namespace vk::w2w {

void Answers::write(const QString& kind, const QString& entryName) {
    CycleState& c = cycle_;
    // A file that could not be loaded is refused without an order number: the packet text then
    // still belongs to an earlier document, whose number must not be refused in its place.
    const QString id = c.packetIsCurrent ? GetTagValue(u"<id>", c.packetText) : QString();
    // An empty setting names no folder (not the root of the file system).
    if (c.outbound.isEmpty()) {
        throw FileError(QStringLiteral("Er is geen map voor uitgaande bestanden ingesteld; het antwoord op "
                                       "\"%1\" kan niet geschreven worden")
                            .arg(entryName));
    }
    if (c.record && kind == kRefused && !c.record->refused) {
        // once refused, always refused: a later look must not handle the document again
        c.journal->markRefused(*c.record);
    }
    // The record notes the answer's temporary file just before it is renamed into place, so that a
    // run stopped around the rename neither loses the answer nor writes it twice.
    std::function<void(const QString&)> noteAnswer;
    if (c.record) {
        noteAnswer = [&](const QString& temporaryPath) {
            c.reachedPoint(CyclePoint::AnswerWritten);
            c.journal->noteAnswer(
                *c.record,
                AnswerNote{temporaryPath, acknowledgementPath(c.outbound, entryName), c.seams.bootId, kind});
            c.reachedPoint(CyclePoint::AnswerNoted);
        };
    }
    writeAcknowledgementFile(c.ackLines, c.outbound, entryName, kind, id, noteAnswer);
    c.reachedPoint(CyclePoint::AfterAcknowledgement);
    if (c.record) {
        answered(*c.record);
    }
}

void Answers::answered(const JournalRecord& record) {
    answered_.push_back({record.id, record.claimedPath});
    cycle_.record.reset();
}

// The record says that the answer's temporary file was about to be renamed into place. In the same
// boot, what the stopped run wrote is still there: a temporary file left means the rename did not
// happen, and it happens now; none left means the answer is in place (the partner may have taken
// it already), and nothing is written. After a restart of the machine what was written may be lost
// with the page cache: the answer is written again (a repeat is possible, a loss is not).
void Answers::finishNoted(const JournalRecord& record) {
    const AnswerNote& note = *record.answer;
    if (cycle_.seams.bootId.isEmpty() || note.bootId != cycle_.seams.bootId) {
        try {
            write(note.kind, record.entryName);
        } catch (const FileError& error) {
            waitForSpace(record, error);
        }
        return;
    }
    if (fileExists(note.temporaryPath) && ::rename(encodeFileName(note.temporaryPath).constData(),
                                                   encodeFileName(note.finalPath).constData()) != 0) {
        waitForSpace(
            record,
            FileError(
                QStringLiteral("Cannot create file \"%1\". %2").arg(note.finalPath, systemErrorText(errno))));
    }
    cycle_.ackLines = acknowledgementLines(note.kind, GetTagValue(u"<id>", cycle_.packetText));
    answered(record);
}

void Answers::waitForSpace(const JournalRecord& record, const std::exception& error) {
    if (!unwritableReported_.contains(record.id)) {
        unwritableReported_.insert(record.id);
        cycle_.logError(
            QStringLiteral("Het antwoord op \"%1\" kan nog niet geschreven worden; het volgt zodra "
                           "dat kan: %2")
                .arg(cycle_.inboundPath(record.entryName), errorMessage(error)));
    }
    cycle_.record.reset();
    throw Unfinished();
}

void Answers::settle() {
    if (answered_.empty()) {
        return;
    }
    const std::vector<Answered> slice = std::exchange(answered_, {});
    if (!flushFileSystemOf(cycle_.outbound)) {
        return;  // their records stay open
    }
    for (const Answered& answer : slice) {
        cycle_.journal->markDone(answer.id);
    }
    cycle_.journal->tidy();
    for (std::size_t i = 0; i < slice.size(); ++i) {
        if (i > 0 && i % kRemovalsBetweenPumps == 0) {
            cycle_.ports.pump.processPendingMessages();
        }
        cycle_.releaseClaim(slice[i].claimedPath);
    }
}

}  // namespace vk::w2w
