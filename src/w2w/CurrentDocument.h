#pragma once

#include "platform/Clock.h"
#include "settings/Settings.h"
#include "w2w/W2WFormat.h"

#include <QString>
#include <QStringView>

namespace vk::w2w {

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

// What the handling of one document reaches of it while the cycle handles it: its text and tags,
// its key, its answer, the log and the fault points. Nothing else of the cycle.
class CurrentDocument {
public:
    virtual ~CurrentDocument() = default;

    virtual const QString& packetText() const = 0;
    // The text of the first element of that tag in the document ("<id>", "<kind>", ...).
    QString tagValue(QStringView tag) const;
    // The inbound file's name.
    virtual const QString& currentEntryName() const = 0;
    virtual const Settings& settings() const = 0;
    virtual const Clock& clock() const = 0;
    // The temporary key drawn for the document's planning row when it was recorded; empty when
    // nothing is recorded.
    virtual const QString& documentKey() const = 0;
    // Writes the acknowledgement of the given kind for the inbound file name, echoing the
    // "<id>" of the packet text. Raises a FileError when the file cannot be written.
    virtual void WriteAcknowledgement(const QString& kind, const QString& entryName) = 0;
    // timestamp + " - W2W XML: " + message
    virtual void logError(const QString& message) = 0;
    // The handling passes the points of its work here.
    virtual void reachedPoint(CyclePoint point) = 0;
};

inline QString CurrentDocument::tagValue(QStringView tag) const {
    return GetTagValue(tag, packetText());
}

}  // namespace vk::w2w
