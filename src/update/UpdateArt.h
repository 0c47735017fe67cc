#pragma once

class QLabel;
class QWidget;

namespace vk {

// The decorative strip at the right edge of the update windows: drawn, so that no image file has
// to travel with the program.
QLabel* decorativeStrip(QWidget* window, int width);

}  // namespace vk
