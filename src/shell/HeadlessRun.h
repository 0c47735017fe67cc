#pragma once

#include "shell/CommandLine.h"

#include <chrono>
#include <optional>

namespace vk {

// The link without its window: from the settings in the program folder, one cycle (--once) or
// polling every Interval seconds while Automatisch is ticked, until SIGINT or SIGTERM. Log lines
// go to standard output. Returns the process's exit code.
int runHeadless(const CommandLine& commandLine);

// The keep-alive's pace between cycles under a service manager: the polling interval (10 seconds
// for 0, as a tick takes it), whether Automatisch is ticked or not, so that an idle link shows life
// as often as it would look for documents; and at least twice in every watchdog period, so that a
// long interval does not pass for a hang.
int keepAliveIntervalMs(int pollingMs, std::optional<std::chrono::microseconds> watchdog);

}  // namespace vk
