#pragma once

#include <QString>

namespace vk {

// The four-part version of the program file ("1.0.0.0"), as its version record's
// InternalFileVersion entry gives it. For now the record is the one the build puts into the
// program itself, the same for every program file.
QString InternalFileVersion(const QString& programFile);

}  // namespace vk
