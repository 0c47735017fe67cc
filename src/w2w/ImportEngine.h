#pragma once

#include "platform/Clock.h"
#include "platform/FileMove.h"
#include "platform/InboundFile.h"
#include "platform/WindowPorts.h"
#include "settings/Settings.h"
#include "w2w/DocumentJournal.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

namespace vk::w2w {

class ImportEngine;

// The points of a document's road where a run may be stopped. Tests stop it there.
enum class CyclePoint {
    AfterRecord,
    AfterDelete,
    AfterSave,
    AfterCommit,
    AnswerWritten,  // the answer's temporary file is complete, not yet noted
    AnswerNoted,    // noted in the record, not yet renamed into place
    AfterAcknowledgement,
};

// Thrown by a test at a fault point to stop the run as a kill would: nothing of the link catches it.
struct CycleInterrupted {};

// Where the handling of the two document kinds plugs into the cycle. A handler reads the
// document through engine.packetText(), answers with engine.WriteAcknowledgement() and may log
// through engine.logError(); an exception it lets out refuses the document with a "WOB".
class DocumentHandlers {
public:
    virtual ~DocumentHandlers() = default;
    virtual void handleNewOrder(ImportEngine& engine) = 0;   // kind "ADD"
    virtual void handleAmendment(ImportEngine& engine) = 0;  // kind "UPD"
    // Whether the document of a record was saved: a planning row carries its key and order
    // number. Raises an error when that cannot be told (no database).
    virtual bool documentSaved(const JournalRecord& record) {
        Q_UNUSED(record);
        return false;
    }
    // A cycle starts: the database connection is checked before its first use in the cycle.
    virtual void cycleStarts() {}
};

// What the cycle reaches of the window.
struct ImportPorts {
    const Settings& settings;
    PacketView& packet;
    LogView& log;
    GeneralErrorHandler& errors;
    MessagePump& pump;
    const Clock& clock;
};

// What the engine did with the documents it took, over all its cycles.
struct DocumentCounts {
    int handled = 0;  // taken and handled to the end of their kind's handling
    int refused = 0;  // refused with an error line and a "WOB"
};

// The import engine: one call of CheckXMLfiles makes one pass over the inbound folder.
class ImportEngine {
public:
    // journal: where documents in flight are recorded; without one nothing is recorded
    ImportEngine(ImportPorts ports, DocumentHandlers& handlers, DocumentJournal* journal = nullptr);

    // One cycle: first the documents that a stopped run left unanswered (from the journal), then
    // the inbound folder. Always returns true; no error of the cycle reaches the caller (only a
    // test's CycleInterrupted does). A call made while a cycle runs (a timer tick handled while
    // messages are pumped) returns at once.
    bool CheckXMLfiles();
    bool cycleRunning() const { return running_; }
    const DocumentCounts& counts() const { return counts_; }

    // For the document handlers, during a cycle:
    const QString& packetText() const { return packetText_; }
    QString tagValue(QStringView tag) const;
    const QString& currentEntryName() const { return entryName_; }
    const Settings& settings() const { return ports_.settings; }
    const Clock& clock() const { return ports_.clock; }
    // Writes the acknowledgement of the given kind for the inbound file name, echoing the
    // "<id>" of the packet text. Raises a FileError when the file cannot be written.
    void WriteAcknowledgement(const QString& kind, const QString& entryName);
    // The temporary key drawn for the document's planning row when it was recorded; empty
    // without a journal.
    const QString& documentKey() const;
    // The handlers pass the points of their work here.
    void reachedPoint(CyclePoint point);
    std::function<void(CyclePoint)> faultPoint;

    // timestamp + " - W2W XML: " + message
    void logError(const QString& message);
    // the local date and time as the log lines start: "dd-mm-yyyy hh:mm:ss"
    QString timestamp() const;

    // The machine's boot, noted with every answer put in place; tests give another.
    QByteArray bootId = currentBootId();

    // Deletes an inbound file once it is taken (without a journal): false when another reader took
    // it first, a FileError for any other failure. Replaceable so that tests can make a file
    // undeletable.
    std::function<bool(const QString& path)> removeInboundFile = removeDeliveredFile;
    // With a journal, an inbound file is taken by moving it to a name of this link's own in the
    // same folder (claimedPath), removed once its record is done: a run that stops in between
    // knows whether it took the file or another link on the same folder did. Same contract.
    std::function<bool(const QString& path, const QString& claimedPath)> claimInboundFile =
        claimDeliveredFile;

    // The last acknowledgement's lines (kept until the end of the cycle).
    const QStringList& acknowledgementLines() const { return ackLines_; }

private:
    void runCycle();
    void logLine(const QString& line);
    void recoverUnfinished();
    void finishNotedAnswer(const JournalRecord& record);
    [[noreturn]] void waitForAnswerSpace(const JournalRecord& record, const std::exception& error);
    bool stillInTheFolder(const QString& path, const QString& packetText) const;
    template <class Body>
    void handleGuarded(const QString& name, Body body);
    void processEntry(const QString& name);
    [[noreturn]] void refuseForGood(const QString& name, const QString& path, const FileError& error);
    void forgetAllBut(const QSet<QString>& listed);
    void handleDocument(const QString& path);
    void runKindHandler(const QString& kind);
    void refuse(const QString& name);
    void dropRecord();
    void settleAnswered();
    void releaseClaim(const QString& claimedPath);
    QString claimedPathFor(const QString& name) const;
    bool isClaimOfThisLink(const QString& name) const;
    QString backupFolder();

    ImportPorts ports_;
    DocumentHandlers& handlers_;
    DocumentJournal* journal_;
    bool running_ = false;
    std::optional<JournalRecord> record_;  // of the document being handled
    struct Answered {
        qint64 id;
        QString claimedPath;
    };
    std::vector<Answered> answered_;  // the records answered in this cycle, still kept
    QString claimSuffix_;             // of the names this link takes files under
    // the names of the files taken so whose records are open (by name: the inbound setting may
    // spell the folder otherwise than when the record was made)
    QSet<QString> claims_;
    bool firstCycle_ = true;
    bool outboundMissingSaid_ = false;
    StabilityLooks looks_;
    QSet<qint64> unreachableReported_;
    QSet<qint64> unwritableReported_;
    // by inbound file name: the causes said of a file that waits, and the look of a file refused
    // for good that could not be moved out of the folder
    QHash<QString, QSet<int>> postponedReported_;
    QHash<QString, EntryLook> leftAlone_;
    DocumentCounts counts_;

    // state of one cycle
    QString inbound_;
    QString outbound_;
    QStringList ackLines_;
    QString entryName_;
    std::optional<QString> backupFolder_;
    // The packet text stays after the cycle, as the packet view shows it. It belongs to the
    // current entry only once that entry's file has been loaded.
    QString packetText_;
    bool packetIsCurrent_ = false;
};

}  // namespace vk::w2w
