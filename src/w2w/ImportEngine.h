#pragma once

#include "platform/Clock.h"
#include "platform/InboundFile.h"
#include "platform/WindowPorts.h"
#include "settings/Settings.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace vk::w2w {

class ImportEngine;

// Where the handling of the two document kinds plugs into the cycle. A handler reads the
// document through engine.packetText(), answers with engine.WriteAcknowledgement() and may log
// through engine.logError(); an exception it lets out refuses the document with a "WOB".
class DocumentHandlers {
public:
    virtual ~DocumentHandlers() = default;
    virtual void handleNewOrder(ImportEngine& engine) = 0;   // kind "ADD"
    virtual void handleAmendment(ImportEngine& engine) = 0;  // kind "UPD"
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
    ImportEngine(ImportPorts ports, DocumentHandlers& handlers);

    // One cycle. Always returns true; no error of the cycle reaches the caller. A call made while
    // a cycle runs (a timer tick handled while messages are pumped) returns at once.
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
    // timestamp + " - W2W XML: " + message
    void logError(const QString& message);
    // the local date and time as the log lines start: "dd-mm-yyyy hh:mm:ss"
    QString timestamp() const;

    // Deletes an inbound file once it is taken: false when another reader took it first, a
    // FileError for any other failure. Replaceable so that tests can make a file undeletable.
    std::function<bool(const QString& path)> removeInboundFile = removeDeliveredFile;

    // The last acknowledgement's lines (kept until the end of the cycle).
    const QStringList& acknowledgementLines() const { return ackLines_; }

private:
    void runCycle();
    void handleEntry(const QString& name);
    void processEntry(const QString& name);
    QString backupFolder();

    ImportPorts ports_;
    DocumentHandlers& handlers_;
    bool running_ = false;
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
