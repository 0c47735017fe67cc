#include "shell/ProgramVersion.h"

namespace vk {

QString InternalFileVersion(const QString&) {
    return QStringLiteral(VK_VERSION);
}

}  // namespace vk
