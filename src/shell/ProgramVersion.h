#pragma once

#include <QString>

namespace vk {

// The four-part version of a program file ("1.0.0.0"): the InternalFileVersion line of its version
// record; empty when it has none.
QString InternalFileVersion(const QString& programFile);

}  // namespace vk
