#include "planning/TransactionLog.h"

#include "platform/Errors.h"

namespace vk {

TransactionLog::TransactionLog(PlanningDatabase& ado, const Settings& settings, GeneralErrorHandler& errors)
    : ado_(ado), settings_(settings), errors_(errors) {}

const QString& TransactionLog::insertStatement() {
    static const QString sql = QStringLiteral(
        "INSERT INTO TRANSACTIES (tra_gebruiker, tra_ritstaat, tra_rit, tra_wagen, tra_chauffeur, tra_code, "
        "tra_opmerking) VALUES  (?,?,?,?,?,?,?)");
    return sql;
}

void TransactionLog::LogTransactie(int ritstaat, int rit, int wagen, int chauffeur, int code,
                                   const QString& opmerking) {
    // Inside a unit the row goes back to a savepoint when it fails, so that the planning row
    // saved before it still commits.
    const bool inUnit = ado_.inUnit();
    const QString savepoint = QStringLiteral("vk_transactie");
    try {
        if (inUnit) {
            ado_.savepoint(savepoint);
        }
        const int gebruiker = settings_.number(Setting::Gebruiker);
        // the values are bound, so any remark is stored as it stands
        QSqlQuery& q = ado_.execute(insertStatement(), {gebruiker, ritstaat, rit, wagen, chauffeur, code,
                                                        opmerking.isNull() ? QStringLiteral("") : opmerking});
        q.finish();
    } catch (const ConnectionLost& lost) {
        if (inUnit) {
            throw;  // nothing of the unit was committed: the whole of it is done again on a new connection
        }
        errors_.handleException(lost);
    } catch (const std::exception& error) {
        if (inUnit && ado_.isOpen()) {
            try {
                ado_.rollbackToSavepoint(savepoint);
            } catch (const std::exception&) {
                // the unit now commits nothing; its commit says so
            }
        }
        errors_.handleException(error);
    }
}

}  // namespace vk
