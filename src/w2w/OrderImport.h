#pragma once

#include "planning/PlanningDatabase.h"
#include "planning/PlanningRecord.h"
#include "planning/TemporaryKey.h"
#include "planning/TransactionLog.h"
#include "w2w/DocumentJournal.h"
#include "w2w/ImportEngine.h"
#include "w2w/OrderHandlers.h"

namespace vk::w2w {

// The working parts of one link, wired together: the connection, the planning row with its
// temporary keys, the transaction log, the order handlers, the journal of documents in flight
// and the import engine. The window and
// the window-less run each own one; they differ only in the ports they give it.
class OrderImport {
public:
    // programFolder: where a relative SQLite path is taken from
    OrderImport(ImportPorts ports, const QString& programFolder,
                std::chrono::milliseconds waitLimit = PlanningDatabase::kDefaultWaitLimit)
        : ado(ports.settings, programFolder, waitLimit),
          keys(ports.clock),
          row(ado, ports.settings, keys, ports.clock),
          transactions(ado, ports.settings, ports.errors),
          handlers(row, keys, transactions),
          journal(programFolder + DocumentJournal::kFileName.toString(), keys),
          engine(ports, handlers, &journal) {}

    PlanningDatabase ado;
    TemporaryKeys keys;
    PlanningRecord row;
    TransactionLog transactions;
    OrderHandlers handlers;
    DocumentJournal journal;
    ImportEngine engine;
};

}  // namespace vk::w2w
