#include "updater/LinkStart.h"

#include "update/UpdateMarker.h"
#include "update/UpdateNote.h"

#include <QFile>

#include <sys/stat.h>

namespace vk {

namespace {

// Whether two paths name the same folder (however spelled).
bool sameFolder(const QString& a, const QString& b) {
    struct stat sa {};
    struct stat sb {};
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &sb) == 0 && S_ISDIR(sa.st_mode) &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool isFolder(const QString& path) {
    struct stat st {};
    return path.startsWith(u'/') && ::stat(QFile::encodeName(path).constData(), &st) == 0 &&
           S_ISDIR(st.st_mode);
}

}  // namespace

bool displayPresent() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

QString commandLineText(const QString& program, const QStringList& arguments) {
    QStringList words{program};
    for (const QString& argument : arguments) {
        words << (argument.contains(u' ') || argument.isEmpty() ? u'"' + argument + u'"' : argument);
    }
    return words.join(u' ');
}

LinkStart linkStartFor(const QString& installationFolder, const QString& dataFolder,
                       const std::optional<QByteArray>& noteText, bool display, QStringList* ignored) {
    LinkStart start;
    start.program = installationFolder + u'/' + kInstalledProgramName.toString();
    start.workingFolder = dataFolder;
    bool headless = false;
    const std::optional<UpdateNote> note = noteText ? parseUpdateNote(*noteText) : std::nullopt;
    if (noteText && !note) {
        ignored->append(QStringLiteral("de notitie zelf (geen notitie)"));
    }
    if (note) {
        if (note->programFile != start.program) {
            ignored->append(QStringLiteral("programma %1").arg(note->programFile));
        }
        const QStringList& arguments = note->arguments;
        for (qsizetype i = 0; i < arguments.size(); ++i) {
            if (arguments[i] == u"--headless") {
                headless = true;
            } else if (arguments[i] == u"--folder" && i + 1 < arguments.size() &&
                       arguments[i + 1].startsWith(u'/') && sameFolder(arguments[i + 1], dataFolder)) {
                ++i;  // the data folder of the download: the updater names it itself
            } else {
                ignored->append(QStringLiteral("argument \"%1\"").arg(arguments[i]));
            }
        }
        if (isFolder(note->workingFolder)) {
            start.workingFolder = note->workingFolder;
        } else if (!note->workingFolder.isEmpty()) {
            ignored->append(QStringLiteral("werkmap %1").arg(note->workingFolder));
        }
    }
    if (!headless && !display) {
        headless = true;
    }
    if (headless) {
        start.arguments << QStringLiteral("--headless");
    }
    if (!sameFolder(dataFolder, installationFolder)) {
        start.arguments << QStringLiteral("--folder") << dataFolder;
    }
    return start;
}

}  // namespace vk
