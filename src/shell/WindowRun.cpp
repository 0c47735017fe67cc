#include "shell/WindowRun.h"

#include "platform/Clock.h"
#include "shell/LinkApplication.h"
#include "shell/ProgramVersion.h"
#include "shell/StopSignals.h"
#include "shell/THoofdscherm.h"
#include "shell/WidgetPorts.h"

#include <QDir>

#include <cstdio>

namespace vk {

int runWindow(const CommandLine& cl) {
    const QString folder = programFolder(cl);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "Programmamap %s kan niet gemaakt worden\n", qPrintable(folder));
        return 1;
    }
    // The program ends when its window is closed, not when the window is hidden to the tray.
    QApplication::setQuitOnLastWindowClosed(false);
    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &QCoreApplication::quit);

    SystemClock clock;
    WidgetMessageBoxes boxes;
    DialogFolderPicker folders;
    int exitCode = 0;
    {
        THoofdscherm window(
            {folder, QCoreApplication::applicationFilePath(), clock, boxes, folders, InternalFileVersion});
        QObject::connect(&window, &THoofdscherm::endRequested, &QCoreApplication::quit);
        window.start();
        exitCode = QApplication::exec();
    }
    return exitCode;
}

}  // namespace vk
