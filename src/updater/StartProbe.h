#pragma once

#include <QString>

#include <chrono>
#include <optional>

namespace vk {

// Whether a program file starts on this machine: it is run with --version in workingFolder, which
// loads every library it is linked with (a missing one ends it with exit code 127) and exits 0.
// Why it does not, in words for the log; nothing when it does. A run that takes longer than limit
// is stopped and counts as one that does not start.
std::optional<QString> whyItDoesNotStart(const QString& program, const QString& workingFolder,
                                         std::chrono::milliseconds limit);

}  // namespace vk
