#pragma once

#include "w2w/Answers.h"
#include "w2w/CycleState.h"
#include "w2w/DocumentHandlers.h"

#include <QSet>
#include <QString>

namespace vk::w2w {

// The recovery's stretch of a document's road: a document whose outcome a stopped run left open.
// Its record says what was taken. A saved row with its key and order number means the save
// happened, and only the answer is missing; no such row means that nothing was saved, and the
// document is handled again from its recorded text.
class Recovery {
public:
    Recovery(CycleState& cycle, Answers& answers, DocumentHandlers& handlers)
        : cycle_(cycle), answers_(answers), handlers_(handlers) {}

    // Makes the record the document in hand. False when nothing is owed for it: its record is gone
    // (its file is still in the folder, or another link took it).
    bool takeUp(const JournalRecord& record);
    enum class Outcome { Answered, HandleAfresh };
    // Settles what is owed for the record taken up: the answer put in place, the refusal written,
    // the answer of a saved document written, or the document to be handled again. Raises the
    // cycle's outcomes (Unfinished) as the handling of an entry does.
    Outcome recover(const JournalRecord& record);

private:
    bool stillInTheFolder(const QString& path, const QString& packetText) const;

    CycleState& cycle_;
    Answers& answers_;
    DocumentHandlers& handlers_;
    QSet<qint64> unreachableReported_;
};

}  // namespace vk::w2w
