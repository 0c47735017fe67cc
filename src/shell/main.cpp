#include "platform/Errors.h"
#include "shell/CommandLine.h"
#include "shell/HeadlessRun.h"
#include "shell/LinkApplication.h"
#include "shell/ProgramVersion.h"
#include "shell/QtMessageRouting.h"
#include "shell/StopSignals.h"
#include "shell/WidgetPorts.h"
#include "shell/WindowRun.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

QStringList argumentsOf(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    return arguments;
}

void nameTheApplication() {
    QCoreApplication::setApplicationName(QStringLiteral("Vindo Velora Karvex koppeling"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VK_VERSION));
}

}  // namespace

int main(int argc, char** argv) {
    // First of all, so that a stop request during the start-up ends the run in order.
    try {
        vk::installStopSignalHandlers();
    } catch (const vk::Error& error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.message()));
        return 1;
    }
    const vk::QtMessageRouting qtMessages;

    const vk::CommandLine cl = vk::parseCommandLine(argumentsOf(argc, argv));
    if (!cl.error.isEmpty()) {
        std::fprintf(stderr, "%s\n\n%s", qPrintable(cl.error), qPrintable(vk::usageText()));
        return 2;
    }
    if (cl.help) {
        std::fputs(qPrintable(vk::usageText()), stdout);
        return 0;
    }
    if (cl.version) {
        // the version the program file's record gives: the one the window shows and an update compares
        QCoreApplication app(argc, argv);
        const QString recorded = vk::InternalFileVersion(QCoreApplication::applicationFilePath());
        std::printf("Vindo Velora Karvex koppeling %s\n",
                    recorded.isEmpty() ? VK_VERSION : qPrintable(recorded));
        return 0;
    }
    if (cl.headless || cl.once) {
        QCoreApplication app(argc, argv);
        nameTheApplication();
        return vk::runHeadless(cl);
    }
    if (!vk::displayAvailable()) {
        std::fprintf(stderr,
                     "Geen beeldscherm gevonden (DISPLAY en WAYLAND_DISPLAY zijn leeg): het venster kan niet "
                     "geopend worden. Start de koppeling zonder venster met --headless.\n");
        return 2;
    }
    vk::LinkApplication app(argc, argv);
    nameTheApplication();
    vk::WidgetMessageBoxes boxes;
    return vk::runWindow(cl, boxes);
}
