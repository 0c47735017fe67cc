#pragma once

#include <QDir>
#include <QString>

namespace vk {

// The hidden file in a data folder whose lock a running link holds (one link per folder). The
// updater waits for it to be free before it replaces the program file.
inline constexpr QStringView kFolderLockFileName = u".VeloraKarvex.lock";

// folder + the platform's separator + name, the folder used exactly as typed
inline QString joinPath(const QString& folder, const QString& name) {
    return folder + QDir::separator() + name;
}

}  // namespace vk
