#pragma once

#include "w2w/ImportEngine.h"

#include <QDateTime>
#include <QString>

#include <optional>

namespace vk {

// The quiet line at the bottom of the window that shows the link is alive: the time of the last
// cycle and this run's counts.
QString livenessText(const std::optional<QDateTime>& lastCycle, const w2w::DocumentCounts& counts);

// The tray icon's hint: the caption, then the liveness line, within the 127 characters that the
// notification area shows.
QString trayHintText(const QString& caption, const QString& liveness);

inline constexpr qsizetype kTrayHintLength = 127;

}  // namespace vk
