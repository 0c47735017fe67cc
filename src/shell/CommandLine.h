#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace vk {

struct CommandLine {
    bool headless = false;
    bool once = false;
    bool help = false;
    bool version = false;
    QString folder;  // the program folder instead of the program file's folder; empty for that
    QString error;   // a bad option: what is wrong
};

// Reads the program's arguments (without the program name).
CommandLine parseCommandLine(const QStringList& arguments);

QString usageText();

// The folder of the running program file, with a trailing separator.
QString programFolderOfExecutable();
// The program folder of this run: --folder's, else the program file's; with a trailing separator.
QString programFolder(const CommandLine& commandLine);

// Whether a window can be shown: a display is named (X11, Wayland) or a Qt platform is chosen.
bool displayAvailable();

}  // namespace vk
