#include "shell/ProgramVersion.h"

#include "update/TnoltVerInfo.h"

namespace vk {

QString InternalFileVersion(const QString& programFile) {
    TnoltVerInfo noltVerInfo1;
    noltVerInfo1.FileName = programFile;
    noltVerInfo1.ReadVersionInfo();
    return noltVerInfo1.value(QStringLiteral("InternalFileVersion"));
}

}  // namespace vk
