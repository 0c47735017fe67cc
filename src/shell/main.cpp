#include "shell/CommandLine.h"
#include "shell/HeadlessRun.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Vindo Velora Karvex koppeling"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VK_VERSION));

    const vk::CommandLine cl = vk::parseCommandLine(QCoreApplication::arguments().mid(1));
    if (!cl.error.isEmpty()) {
        std::fprintf(stderr, "%s\n\n%s", qPrintable(cl.error), qPrintable(vk::usageText()));
        return 2;
    }
    if (cl.help) {
        std::fputs(qPrintable(vk::usageText()), stdout);
        return 0;
    }
    if (cl.version) {
        std::printf("Vindo Velora Karvex koppeling %s\n", VK_VERSION);
        return 0;
    }
    if (!cl.headless && !cl.once) {
        std::fprintf(stderr, "Het venster is in deze versie nog niet beschikbaar; start met --headless.\n");
        return 2;
    }
    return vk::runHeadless(cl);
}
