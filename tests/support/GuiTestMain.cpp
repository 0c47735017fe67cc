#include "shell/LinkApplication.h"
#include "shell/WindowRun.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>

// The window's tests drive the real window on Qt's offscreen platform: no display is needed, and
// nothing is ever shown to a person (message boxes and pickers are answered by the tests).
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("LC_ALL", "C");
    std::setlocale(LC_ALL, "C");
    vk::LinkApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    // Qt's texts in Dutch, as the window's run has them
    if (const std::optional<QString> problem = vk::installDutchQtTranslations()) {
        std::fprintf(stderr, "%s\n", qPrintable(*problem));
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
