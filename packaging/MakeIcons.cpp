// Writes the program's icon as PNG files for the installation: the picture the window draws for
// itself, at the sizes a desktop menu asks for. Run by the build on Qt's offscreen platform.
//
//     vk_make_icons OUTPUT_FOLDER SIZE...      (writes OUTPUT_FOLDER/velora-karvex-SIZE.png)

#include "shell/AppIcon.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>

#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList arguments = QGuiApplication::arguments();
    if (arguments.size() < 3) {
        std::fprintf(stderr, "Gebruik: vk_make_icons MAP GROOTTE...\n");
        return 2;
    }
    const QDir folder(arguments[1]);
    if (!folder.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "Map %s kan niet gemaakt worden\n", qPrintable(arguments[1]));
        return 1;
    }
    for (qsizetype i = 2; i < arguments.size(); ++i) {
        bool ok = false;
        const int size = arguments[i].toInt(&ok);
        if (!ok || size <= 0) {
            std::fprintf(stderr, "Geen geldige grootte: %s\n", qPrintable(arguments[i]));
            return 2;
        }
        const QString path = folder.filePath(QStringLiteral("velora-karvex-%1.png").arg(size));
        if (!vk::applicationIconImage(size).save(path, "PNG")) {
            std::fprintf(stderr, "%s kan niet geschreven worden\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
