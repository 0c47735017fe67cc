#pragma once

#include "planning/PlanningDatabase.h"
#include "platform/WindowPorts.h"

namespace vk {

// "TEST" (Button3Click): opens the connection when it is closed, reports success in a message
// box, and closes the connection. A failure replaces the log with the driver's message and goes
// to the general error handler, which does so once more.
void Button3Click(PlanningDatabase& ado, MessageBoxes& boxes, LogView& log, GeneralErrorHandler& errors);

}  // namespace vk
