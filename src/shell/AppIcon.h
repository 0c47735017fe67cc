#pragma once

#include <QIcon>

namespace vk {

// The program's icon, for the title bar and the notification area: drawn, so that no image file
// has to travel with the program.
QIcon applicationIcon();

}  // namespace vk
