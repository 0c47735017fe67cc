#pragma once

#include "w2w/CurrentDocument.h"
#include "w2w/DocumentJournal.h"

#include <QtGlobal>

namespace vk::w2w {

// Where the handling of the two document kinds plugs into the cycle. A handler reads the document
// it is given, answers it with WriteAcknowledgement() and may log through logError(); an
// exception it lets out refuses the document with a "WOB".
class DocumentHandlers {
public:
    virtual ~DocumentHandlers() = default;
    virtual void handleNewOrder(CurrentDocument& document) = 0;   // kind "ADD"
    virtual void handleAmendment(CurrentDocument& document) = 0;  // kind "UPD"
    // Whether the document of a record was saved: a planning row carries its key and order
    // number. Raises an error when that cannot be told (no database).
    virtual bool documentSaved(const JournalRecord& record) {
        Q_UNUSED(record);
        return false;
    }
    // A cycle starts: the database connection is checked before its first use in the cycle.
    virtual void cycleStarts() {}
};

}  // namespace vk::w2w
