#pragma once

#include "platform/WindowPorts.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace vk {

// What the update reaches outside itself: the program's folder and file, the message boxes, the
// general error handler, and the platform's shell (a web page in the default browser, a program
// started without waiting for it). Tests put their own in place.
struct UpdateEnvironment {
    QString programFolder;  // with a trailing separator
    QString programFile;
    MessageBoxes& boxes;
    GeneralErrorHandler& errors;
    std::function<void(const QString& url)> openUrl;
    std::function<void(const QString& program, const QString& parameters)> startProgram;
    // Asks the application to end once control is back in its main message loop.
    std::function<void()> requestTermination;
    // Whether the application has been asked to end: a transfer that waits is then aborted, and the
    // update windows close with the others.
    std::function<bool()> terminationRequested;
    // The run's own arguments (without the program's name): the updater starts the new version with
    // them.
    QStringList programArguments;

    // terminationRequested, false where there is none
    bool ending() const { return terminationRequested && terminationRequested(); }
};

// The manifest's values for this program, as one check holds them.
struct UpdateManifest {
    QString DownloadFileURL;
    QString ReadmeFileURL;
    QString UpdatePageURL;
    QString Version;
    QString CRC32Hash;
    QString MD5Hash;
    QString SHA1Hash;
};

// The updater that takes over a downloaded program file: the one beside the program file.
QString updaterProgram(const QString& programFile);

}  // namespace vk
