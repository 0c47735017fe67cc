#pragma once

#include "shell/CommandLine.h"

namespace vk {

// The link with its window, in a LinkApplication that already exists: the window is created and
// shown, the message loop runs until the window is closed or a stop signal arrives, and the
// window's destruction ends the program in order. Returns the process's exit code.
int runWindow(const CommandLine& commandLine);

}  // namespace vk
