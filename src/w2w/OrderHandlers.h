#pragma once

#include "planning/PlanningRecord.h"
#include "planning/TemporaryKey.h"
#include "planning/TransactionLog.h"
#include "w2w/DocumentHandlers.h"

#include <optional>

namespace vk::w2w {

// New trip orders ("ADD") onto a new planning row, and amendments and cancellations ("UPD") of
// the row that carries the partner's order number.
class OrderHandlers final : public DocumentHandlers {
public:
    OrderHandlers(PlanningRecord& row, TemporaryKeys& keys, TransactionLog& transactions);

    void handleNewOrder(CurrentDocument& document) override;
    void handleAmendment(CurrentDocument& document) override;
    bool documentSaved(const JournalRecord& record) override;
    void cycleStarts() override { row_.database().checkBeforeNextUse(); }

private:
    void assignNewOrder(const CurrentDocument& document);
    void cancel(CurrentDocument& document, int orderNumber);
    void amend(CurrentDocument& document, int orderNumber);
    void openByOrderNumber(int orderNumber);
    // The row with the document's temporary key and its transaction row, committed together.
    // A refused save reaches the caller; the transaction row's failures go to the general error
    // handler, and the row commits without it.
    void saveAndLog(CurrentDocument& document, int code);
    void logSaved(int code);

    PlanningRecord& row_;
    TemporaryKeys& keys_;
    TransactionLog& transactions_;
};

// The partner's order number from the text of "<id>": a whole number, spaces around it allowed.
// Anything else raises an Error that names the text.
int orderNumberOf(const QString& idText);

// "1234AB" gives "1234 AB": characters 1 to 4 of the text's ANSI form, a space, characters 5 and 6.
QString postcodeOf(const QString& zip);

// The pla_id of the row just saved, when there is one.
std::optional<int> ADOZoekLaatste(const PlanningRecord& row);

}  // namespace vk::w2w
