#pragma once

#include "shell/CommandLine.h"

namespace vk {

// The link without its window: from the settings in the program folder, one cycle (--once) or
// polling every Interval seconds while Automatisch is ticked, until SIGINT or SIGTERM. Log lines
// go to standard output. Returns the process's exit code.
int runHeadless(const CommandLine& commandLine);

}  // namespace vk
