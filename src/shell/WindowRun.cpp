#include "shell/WindowRun.h"

#include "platform/Clock.h"
#include "shell/LinkApplication.h"
#include "shell/LinkFault.h"
#include "shell/ProgramFolderLock.h"
#include "shell/ProgramLauncher.h"
#include "shell/ProgramVersion.h"
#include "shell/QtMessageRouting.h"
#include "shell/StopSignals.h"
#include "shell/THoofdscherm.h"
#include "shell/UpdateConfirmation.h"
#include "shell/WidgetPorts.h"

#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

namespace vk {

std::optional<QString> installDutchQtTranslations(const QString& folder) {
    const QString where = folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
    auto translator = std::make_unique<QTranslator>(QCoreApplication::instance());
    if (!translator->load(QStringLiteral("qtbase_nl"), where)) {
        return QStringLiteral(
                   "De Nederlandse teksten van Qt (qtbase_nl.qm in %1) ontbreken: menu's en "
                   "dialogen van Qt verschijnen in het Engels")
            .arg(QDir::toNativeSeparators(where));
    }
    QCoreApplication::installTranslator(translator.release());  // the application owns it
    return std::nullopt;
}

int runWindow(const CommandLine& cl, MessageBoxes& boxes) {
    const std::optional<QString> untranslated = installDutchQtTranslations();
    const QString folder = programFolder(cl);
    std::optional<ProgramFolderLock> folderLock;
    if (const std::optional<int> exitCode = claimProgramFolder(folder, folderLock)) {
        const std::optional<QString> why = !folderLock             ? std::nullopt
                                           : folderLock->takenBy() ? folderLock->takenBy()
                                                                   : folderLock->cannotTake();
        if (why) {
            boxes.show({QStringLiteral("Vindo Velora\u00ae fout"), *why, MessageBoxRequest::Icon::Error,
                        MessageBoxRequest::Buttons::Ok});
        }
        return *exitCode;
    }
    // The program ends when its window is closed, not when the window is hidden to the tray.
    QApplication::setQuitOnLastWindowClosed(false);

    SystemClock clock;
    DialogFolderPicker folders;
    int exitCode = 0;
    {
        THoofdscherm window({folder, QCoreApplication::applicationFilePath(), clock, boxes, folders,
                             InternalFileVersion, &openInDefaultBrowser,
                             [](const QString& program, const QString& parameters) {
                                 startWithParameterString(program, parameters);
                             }});
        window.engine().faultPoint = faultPointFromEnvironment();
        const QtMessageRouting::LogAttachment qtMessagesInTheLog(window.logView());
        QObject::connect(&window, &THoofdscherm::endRequested, &LinkApplication::requestQuit);
        if (const std::optional<QString> problem = folderLock->unavailable()) {
            window.appendToLog(logTimestamp(clock.now()) + QStringLiteral(" - ") + *problem);
        }
        if (untranslated) {
            window.appendToLog(logTimestamp(clock.now()) + QStringLiteral(" - ") + *untranslated);
        }
        window.start();
        const UpdateConfirmation confirmation(
            QCoreApplication::applicationFilePath(), [&](const QString& text) {
                window.appendToLog(logTimestamp(clock.now()) + QStringLiteral(" - ") + text);
            });
        // A stop requested before the loop starts is honoured here; a later one is read by the loop.
        StopSignals stopSignals;
        QObject::connect(&stopSignals, &StopSignals::stopRequested, &LinkApplication::requestQuit);
        if (!StopSignals::requested() && !LinkApplication::quitRequested()) {
            exitCode = QApplication::exec();
        }
    }
    return exitCode;
}

}  // namespace vk
