#pragma once

#include "platform/WindowPorts.h"
#include "shell/CommandLine.h"

namespace vk {

// The link with its window, in a LinkApplication that already exists: the window is created and
// shown, the message loop runs until the window is closed or a stop signal arrives, and the
// window's destruction ends the program in order. A program folder that another link holds is
// reported in a message box (and on standard error), and nothing of the window opens. Returns
// the process's exit code.
int runWindow(const CommandLine& commandLine, MessageBoxes& boxes);

}  // namespace vk
