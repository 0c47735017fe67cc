#pragma once

#include "planning/PlanningDatabase.h"
#include "platform/WindowPorts.h"
#include "settings/Settings.h"

namespace vk {

// Event codes of TRANSACTIES.
inline constexpr int kCodeNewOrder = 91;
inline constexpr int kCodeAmended = 92;
inline constexpr int kCodeCancelled = 93;

// "LogTransactie": one TRANSACTIES row for a saved planning row. A failure never reaches the
// caller: it goes to the general error handler, and the caller carries on.
class TransactionLog {
public:
    TransactionLog(PlanningDatabase& ado, const Settings& settings, GeneralErrorHandler& errors);

    void LogTransactie(int ritstaat, int rit, int wagen, int chauffeur, int code, const QString& opmerking);

    static const QString& insertStatement();

private:
    PlanningDatabase& ado_;
    const Settings& settings_;
    GeneralErrorHandler& errors_;
};

}  // namespace vk
