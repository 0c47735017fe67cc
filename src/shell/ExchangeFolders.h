#pragma once

#include "settings/Settings.h"

#include <QString>

namespace vk {

// Creates the exchange folders below the program folder where they are missing, one level
// each, in the order W2W, W2W/S2C, W2W/S2C/Backups, W2W/C2S, W2W/C2S/Backups; a folder that
// cannot be created is skipped. Then fills an empty inbound or outbound setting with the full
// path of W2W/S2C or W2W/C2S when that folder exists.
void prepareExchangeFolders(const QString& programFolder, Settings& settings);

}  // namespace vk
