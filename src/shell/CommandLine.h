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

}  // namespace vk
