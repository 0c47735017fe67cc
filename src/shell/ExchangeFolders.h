#pragma once

#include "settings/Settings.h"

#include <QDateTime>
#include <QSet>
#include <QString>

namespace vk {

// Creates the exchange folders below the program folder where they are missing, one level
// each, in the order W2W, W2W/S2C, W2W/S2C/Backups, W2W/C2S, W2W/C2S/Backups; a folder that
// cannot be created is skipped. Then fills an empty inbound or outbound setting with the full
// path of W2W/S2C or W2W/C2S when that folder exists.
void prepareExchangeFolders(const QString& programFolder, Settings& settings);

// Removes the temporary files that writes of an earlier, killed run left behind (those older than
// runStart): in the program folder, the outbound folder and the inbound folder's backup folder.
// The answers that the journal notes as about to be put in place stay: recovery finishes them.
void removeLeftoversOfEarlierRuns(const QString& programFolder, const Settings& settings,
                                  const QDateTime& runStart, const QSet<QString>& notedAnswers = {});

}  // namespace vk
