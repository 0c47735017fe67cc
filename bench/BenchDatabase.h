#pragma once

#include "planning/PlanningDatabase.h"
#include "settings/Settings.h"

namespace vk::bench {

// The login settings of the PostgreSQL server named by VK_PG_PORT, VK_PG_USER, VK_PG_PASSWORD and
// VK_PG_DATABASE (bench/run-with-postgres.sh sets them); false when there is none.
bool postgresFromEnvironment(Settings& settings);

// Drops and creates the link's tables.
void recreateTables(PlanningDatabase& ado);

// Adds count rows to planning in one statement, with order numbers from firstOrderNumber on.
void addExistingRows(PlanningDatabase& ado, int count, int firstOrderNumber);

}  // namespace vk::bench
