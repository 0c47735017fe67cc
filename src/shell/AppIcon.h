#pragma once

#include <QIcon>
#include <QImage>

namespace vk {

// The program's icon, for the title bar and the notification area: drawn, so that no image file
// has to travel with the program.
QIcon applicationIcon();

// The icon drawn at one size (size by size pixels, transparent around the square). The build makes
// the installation's image files from it, so that the menu shows the same picture as the window.
QImage applicationIconImage(int size);

}  // namespace vk
