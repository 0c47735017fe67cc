#pragma once

#include "w2w/CycleState.h"

#include <QSet>
#include <QString>

#include <exception>
#include <vector>

namespace vk::w2w {

// The answer's stretch of a document's road: the answer written and noted in the record, put in
// place, and settled. An answer is settled once it is durable: its record is marked done and its
// taken file goes. Answers are settled in slices as the cycle goes, each slice after one flush of
// the outbound folder's file system, so that the window never waits for more than one flush and a
// few removals at a time.
class Answers {
public:
    // answers settled together after one flush
    static constexpr int kSettleEvery = 32;
    // taken files removed between two pumps of the window's messages
    static constexpr int kRemovalsBetweenPumps = 16;

    explicit Answers(CycleState& cycle) : cycle_(cycle) {}

    // Writes the acknowledgement of the given kind for the inbound file name (see CurrentDocument).
    void write(const QString& kind, const QString& entryName);
    // The answer that a stopped run noted as about to be put in place.
    void finishNoted(const JournalRecord& record);
    // An answer that cannot be written yet is not replaced by another: the record stays, and a
    // later cycle writes it. One line for each record.
    [[noreturn]] void waitForSpace(const JournalRecord& record, const std::exception& error);

    // A slice is full: it is settled now.
    bool sliceDue() const { return answered_.size() >= kSettleEvery; }
    // Settles every answer written so far. Should the flush fail, the records stay, and a later
    // cycle writes the same answers again.
    void settle();
    // A stopped run settles nothing.
    void discard() { answered_.clear(); }

private:
    void answered(const JournalRecord& record);

    struct Answered {
        qint64 id;
        QString claimedPath;
    };
    CycleState& cycle_;
    std::vector<Answered> answered_;  // answers on disk whose records are still open
    QSet<qint64> unwritableReported_;
};

}  // namespace vk::w2w
