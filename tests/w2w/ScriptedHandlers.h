#pragma once

#include "w2w/DocumentHandlers.h"

#include <QStringList>

#include <functional>

namespace vk::test {

// Handlers whose behaviour each test sets; by default a new order and an amendment are
// acknowledged with "BOB", as the real ones do when all goes well.
class ScriptedHandlers final : public w2w::DocumentHandlers {
public:
    void handleNewOrder(w2w::CurrentDocument& document) override {
        newOrders.append(document.currentEntryName());
        onNewOrder ? onNewOrder(document)
                   : document.WriteAcknowledgement(QStringLiteral("BOB"), document.currentEntryName());
    }
    void handleAmendment(w2w::CurrentDocument& document) override {
        amendments.append(document.currentEntryName());
        onAmendment ? onAmendment(document)
                    : document.WriteAcknowledgement(QStringLiteral("BOB"), document.currentEntryName());
    }
    std::function<void(w2w::CurrentDocument&)> onNewOrder;
    std::function<void(w2w::CurrentDocument&)> onAmendment;
    QStringList newOrders;
    QStringList amendments;
};

}  // namespace vk::test
