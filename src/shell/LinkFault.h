#pragma once

#include "w2w/ImportEngine.h"

#include <QStringView>

#include <functional>
#include <optional>

namespace vk {

// Where a test may have the link killed: VELORA_LINK_FAULT names a point of a document's road
// (answer-noted, ...), and the run ends there by SIGKILL, without any orderly end, as a power cut
// or a kill -9 would end it. The test then sees what the next run makes of what was left. Without
// the variable, or with a name of no point, the run is not touched (an empty function).
std::function<void(w2w::CyclePoint)> faultPointFromEnvironment();

// The point that VELORA_LINK_FAULT names: after-record, after-delete, after-save, after-commit,
// answer-written, answer-noted or after-acknowledgement; none for any other text.
std::optional<w2w::CyclePoint> cyclePointNamed(QStringView name);

}  // namespace vk
