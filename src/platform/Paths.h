#pragma once

#include <QDir>
#include <QString>

namespace vk {

// folder + the platform's separator + name, the folder used exactly as typed
inline QString joinPath(const QString& folder, const QString& name) {
    return folder + QDir::separator() + name;
}

}  // namespace vk
