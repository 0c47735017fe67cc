#include "shell/CommandLine.h"

#include <QCoreApplication>
#include <QDir>

namespace vk {

CommandLine parseCommandLine(const QStringList& arguments) {
    CommandLine cl;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == u"--headless") {
            cl.headless = true;
        } else if (a == u"--once") {
            cl.once = true;
        } else if (a == u"--help" || a == u"-h") {
            cl.help = true;
        } else if (a == u"--version" || a == u"-v") {
            cl.version = true;
        } else if (a == u"--folder") {
            if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty()) {
                cl.error = QStringLiteral("--folder verwacht een map");
                return cl;
            }
            cl.folder = arguments[++i];
        } else if (a.startsWith(u"--folder=")) {
            cl.folder = a.mid(9);
            if (cl.folder.isEmpty()) {
                cl.error = QStringLiteral("--folder verwacht een map");
                return cl;
            }
        } else {
            cl.error = QStringLiteral("Onbekende optie: %1").arg(a);
            return cl;
        }
    }
    return cl;
}

QString programFolderOfExecutable() {
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + u'/');
}

QString programFolder(const CommandLine& cl) {
    if (cl.folder.isEmpty()) {
        return programFolderOfExecutable();
    }
    QString folder = QDir::toNativeSeparators(QDir(cl.folder).absolutePath());
    if (!folder.endsWith(QDir::separator())) {
        folder += QDir::separator();
    }
    return folder;
}

bool displayAvailable() {
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        if (!qEnvironmentVariableIsEmpty(name)) {
            return true;
        }
    }
    return false;
}

QString usageText() {
    return QStringLiteral(
        "Gebruik: VeloraKarvexClient [--headless] [--once] [--folder MAP]\n"
        "\n"
        "Zonder opties opent de koppeling haar venster.\n"
        "  --headless     draait de koppeling zonder venster; logregels gaan naar de standaarduitvoer\n"
        "  --once         voert precies een importcyclus uit en stopt dan\n"
        "  --folder MAP   gebruikt MAP als programmamap (instellingenbestand, W2W-mappen), ook met venster\n"
        "  --help         toont deze tekst\n"
        "  --version      toont de versie\n");
}

}  // namespace vk
