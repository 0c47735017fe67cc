#pragma once

#include "platform/Clock.h"
#include "platform/InboundFile.h"
#include "platform/WindowPorts.h"
#include "settings/Settings.h"
#include "w2w/ClaimedNames.h"
#include "w2w/CurrentDocument.h"
#include "w2w/DocumentJournal.h"

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace vk::w2w {

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

// The parts of the cycle that tests replace.
struct CycleSeams {
    // Called at every point of a document's road; a test stops the run there.
    std::function<void(CyclePoint)> faultPoint;
    // The machine's boot, noted with every answer put in place; tests give another.
    QByteArray bootId = currentBootId();
    // Deletes an inbound file once it is taken (without a journal): false when another reader took
    // it first, a FileError for any other failure. Tests make a file undeletable here.
    std::function<bool(const QString& path)> removeInboundFile = removeDeliveredFile;
    // With a journal, an inbound file is taken by moving it to a name of this link's own in the
    // same folder (ClaimedNames), removed once its record is done: a run that stops in between
    // knows whether it took the file or another link on the same folder did. Same contract; a
    // FileRefusedForGood when the file can never be moved under that name.
    std::function<bool(const QString& path, const QString& claimedPath)> claimInboundFile =
        claimDeliveredFile;
};

// What the stretches of a document's road share: the ports, the journal, the folders of the
// cycle, the document in hand and the names of the files this link has taken.
class CycleState {
public:
    CycleState(ImportPorts ports, DocumentJournal* journal, const CycleSeams& seams);

    const ImportPorts ports;
    DocumentJournal* const journal;  // none: nothing is recorded
    const CycleSeams& seams;
    const ClaimedNames claimedNames;

    // read from the settings when the cycle starts
    QString inbound;
    QString outbound;

    // The document in hand. The packet text stays after the cycle, as the packet view shows it; it
    // belongs to the current entry only once that entry's file has been loaded.
    QString entryName;
    QString packetText;
    bool packetIsCurrent = false;
    std::optional<JournalRecord> record;
    QStringList ackLines;  // of the last answer, kept until the end of the cycle

    // The names of the files taken whose records are open (by name: the inbound setting may spell
    // the folder otherwise than when the record was made).
    QSet<QString> claims;
    DocumentCounts counts;

    QString inboundPath(const QString& name) const;
    // the local date and time as the log lines start: "dd-mm-yyyy hh:mm:ss"
    QString timestamp() const;
    // timestamp + " - W2W XML: " + message
    void logError(const QString& message);
    // A file name that is not valid UTF-8 is shown readably.
    void logLine(const QString& line);
    void reachedPoint(CyclePoint point);
    // Lets the window's messages run; true when the program has been asked to end since.
    bool pumpAndAskStop();

    // The record of the document in hand goes (its outcome is final), and its taken file with it.
    void dropRecord();
    // The taken file of a record that is done goes; one left behind goes at the next run's start.
    void releaseClaim(const QString& claimedPath);
};

}  // namespace vk::w2w
