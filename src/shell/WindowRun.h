#pragma once

#include "platform/WindowPorts.h"
#include "shell/CommandLine.h"

#include <QString>

#include <optional>

namespace vk {

// The link with its window, in a LinkApplication that already exists: the window is created and
// shown, the message loop runs until the window is closed or a stop signal arrives, and the
// window's destruction ends the program in order. A program folder that another link holds is
// reported in a message box (and on standard error), and nothing of the window opens. Returns
// the process's exit code.
int runWindow(const CommandLine& commandLine, MessageBoxes& boxes);

// Qt's own texts (a text field's context menu, the folder picker, standard buttons) in Dutch,
// whatever language the user's session speaks: Qt's Dutch translations (qtbase_nl.qm) from its
// translations folder, or from `folder` when one is given, installed on the application for the
// rest of the run. Returns why they are not there when they are not; the window works without.
std::optional<QString> installDutchQtTranslations(const QString& folder = {});

}  // namespace vk
