#pragma once

#include "w2w/Answers.h"
#include "w2w/CurrentDocument.h"
#include "w2w/CycleState.h"
#include "w2w/DocumentHandlers.h"
#include "w2w/DocumentJournal.h"
#include "w2w/DocumentTake.h"
#include "w2w/Recovery.h"

#include <QString>
#include <QStringList>

namespace vk::w2w {

// The import engine: one call of CheckXMLfiles makes one pass over the inbound folder. It conducts
// the cycle; each stretch of a document's road has its own part: the recovery of what a stopped
// run left, the take, the handling (the handlers), the answer. The seams (CycleSeams) are the
// engine's own members, for tests to set.
class ImportEngine : public CycleSeams {
public:
    // journal: where documents in flight are recorded; without one nothing is recorded
    ImportEngine(ImportPorts ports, DocumentHandlers& handlers, DocumentJournal* journal = nullptr);
    ImportEngine(const ImportEngine&) = delete;
    ImportEngine& operator=(const ImportEngine&) = delete;

    // One cycle: first the documents that a stopped run left unanswered (from the journal), then
    // the inbound folder. Always returns true; no error of the cycle reaches the caller (only a
    // test's CycleInterrupted does). A call made while a cycle runs (a timer tick handled while
    // messages are pumped) returns at once. The window's messages run between every two steps;
    // when the program is asked to end meanwhile, the cycle ends after the step it is at, in order.
    bool CheckXMLfiles();
    bool cycleRunning() const { return running_; }
    const DocumentCounts& counts() const { return cycle_.counts; }

    // The last acknowledgement's lines (kept until the end of the cycle).
    const QStringList& acknowledgementLines() const { return cycle_.ackLines; }

    // leftover taken files of earlier runs removed between two pumps of the window's messages
    static constexpr int kLeftoversBetweenPumps = 64;

private:
    class Document;

    void runCycle();
    void recoverUnfinished();
    void listInboundFolder();
    template <class Body>
    void handleGuarded(const QString& name, Body body);
    void refuse(const QString& name);
    void handleDocument(const QString& path);
    void runKindHandler(const QString& kind);
    void settleSliceIfDue();
    // Lets the window's messages run; true once the program has been asked to end in this cycle.
    bool letTheWindowIn();

    CycleState cycle_;
    DocumentHandlers& handlers_;
    Answers answers_;
    Recovery recovery_;
    DocumentTake take_;
    bool running_ = false;
    bool firstCycle_ = true;
    bool outboundMissingSaid_ = false;
    bool stopRequested_ = false;  // in this cycle
};

}  // namespace vk::w2w
