#include "shell/LinkApplication.h"

#include <gtest/gtest.h>

#include <clocale>

// The window's tests drive the real window on Qt's offscreen platform: no display is needed, and
// nothing is ever shown to a person (message boxes and pickers are answered by the tests).
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("LC_ALL", "C");
    std::setlocale(LC_ALL, "C");
    vk::LinkApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
