#include "updater/Updater.h"

#include "platform/Paths.h"
#include "update/UpdateNote.h"
#include "updater/DetachedStart.h"
#include "updater/FolderLock.h"
#include "updater/ProgramCheck.h"
#include "updater/ProgramReplace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

namespace vk {

namespace {

constexpr auto kPoll = std::chrono::milliseconds(100);

QString programName() {
#ifdef Q_OS_WIN
    return QStringLiteral("VeloraKarvexClient.exe");
#else
    return QStringLiteral("VeloraKarvexClient");
#endif
}

QString commandLine(const QString& program, const QStringList& arguments) {
    QStringList words{program};
    for (const QString& argument : arguments) {
        words << (argument.contains(u' ') || argument.isEmpty() ? u'"' + argument + u'"' : argument);
    }
    return words.join(u' ');
}

}  // namespace

std::optional<DetachedProgram> Updater::startProgram(const UpdateNote& start, const QString& what) {
    QString why;
    std::optional<DetachedProgram> started =
        DetachedProgram::start(start.programFile, start.arguments, start.workingFolder, &why);
    if (!started) {
        log_.line(QStringLiteral("%1 kan niet gestart worden: %2").arg(what, why));
    } else {
        log_.line(QStringLiteral("%1 gestart: %2 (proces %3)")
                      .arg(what, commandLine(start.programFile, start.arguments))
                      .arg(started->pid()));
    }
    return started;
}

UpdaterExit Updater::run(const QString& parameter) {
    if (parameter.size() < 3 || !parameter.startsWith(u'\'') || !parameter.endsWith(u'\'')) {
        log_.line(
            QStringLiteral("Gebruik: VeloraUpdater '<pad van de download>' (gekregen: %1)").arg(parameter));
        return UpdaterExit::BadCall;
    }
    const QString download =
        QDir::cleanPath(QFileInfo(parameter.mid(1, parameter.size() - 2)).absoluteFilePath());
    const QString downloads = QFileInfo(download).absolutePath();
    const QString dataFolder = QFileInfo(downloads).absolutePath();
    log_.writeTo(joinPath(dataFolder, QStringLiteral("VeloraUpdater.log")));
    log_.line(QStringLiteral("Update van %1").arg(download));

    const QString notePath = updateNotePath(downloads);
    UpdateNote old;
    if (const std::optional<UpdateNote> note = readUpdateNote(notePath)) {
        old = *note;
    } else {
        // without the note: the program beside the updater, on this data folder
        old.programFile = joinPath(ownFolder_, programName());
        if (QDir(dataFolder) != QDir(ownFolder_)) {
            old.arguments = {QStringLiteral("--folder"), dataFolder};
        }
        log_.line(
            QStringLiteral("Geen notitie %1 gevonden; het programma is %2").arg(notePath, old.programFile));
    }

    std::unique_ptr<HeldFolderLock> folderLock = HeldFolderLock::waitFor(dataFolder, timings_.lockWait);
    if (!folderLock) {
        log_.line(
            QStringLiteral("De koppeling heeft de map %1 na %2 seconden nog niet vrijgegeven; er is niets "
                           "veranderd")
                .arg(dataFolder)
                .arg(std::chrono::duration_cast<std::chrono::seconds>(timings_.lockWait).count()));
        return UpdaterExit::FolderStaysTaken;
    }
    log_.line(QStringLiteral("De koppeling heeft de map %1 vrijgegeven").arg(dataFolder));
    const auto restartOld = [&](UpdaterExit exit) {
        folderLock.reset();
        startProgram(old, QStringLiteral("De vorige versie"));
        return exit;
    };
    const auto forget = [&] {
        QFile::remove(download);
        QFile::remove(notePath);
    };

    // What is checked is the updater's own copy beside the program file, and that copy is what is
    // installed: the download cannot change in between.
    const unsigned permissions = permissionsOf(old.programFile);
    std::optional<StagedCopy> staged;
    try {
        staged.emplace(download, old.programFile, permissions);
    } catch (const ReplaceError& failed) {
        log_.line(failed.message());
        return restartOld(UpdaterExit::NotReplaced);
    }
    if (const std::optional<QString> refusal = refusalOf(staged->path(), old.programFile, download)) {
        log_.line(QStringLiteral("Geweigerd: %1").arg(*refusal));
        staged.reset();
        forget();
        return restartOld(UpdaterExit::Refused);
    }
    const QString oldVersion = programVersionOf(old.programFile);
    const QString newVersion = programVersionOf(staged->path());
    log_.line(QStringLiteral(
                  "Versie %1 is nieuwer dan %2 en ondertekend met de sleutel van het ge\u00efnstalleerde "
                  "programma")
                  .arg(newVersion, oldVersion));
    const QString backups = joinPath(dataFolder, QStringLiteral("Backups"));
    const QString kept = joinPath(backups, QFileInfo(old.programFile).fileName());
    try {
        QDir().mkpath(backups);
        installCopy(old.programFile, kept, permissions);
        log_.line(QStringLiteral("Versie %1 bewaard als %2").arg(oldVersion, kept));
        staged->commit();
    } catch (const ReplaceError& failed) {
        log_.line(failed.message());
        staged.reset();
        return restartOld(UpdaterExit::NotReplaced);
    }
    staged.reset();
    log_.line(QStringLiteral("Versie %1 ge\u00efnstalleerd als %2").arg(newVersion, old.programFile));
    forget();
    folderLock.reset();

    // The new version counts as running once it holds the folder, and still holds it a while later.
    std::optional<DetachedProgram> started = startProgram(old, QStringLiteral("Versie %1").arg(newVersion));
    if (started) {
        const auto waitWhile = [&](std::chrono::milliseconds limit, const auto& condition) {
            const auto deadline = std::chrono::steady_clock::now() + limit;
            while (condition() && std::chrono::steady_clock::now() < deadline) {
                QThread::msleep(kPoll.count());
            }
        };
        const auto holds = [&] { return !started->ended() && folderLockHeldBy(dataFolder, started->pid()); };
        waitWhile(timings_.startWait, [&] { return !started->ended() && !holds(); });
        if (holds()) {
            waitWhile(timings_.holdTime, [&] { return !started->ended(); });
            if (holds()) {
                log_.line(
                    QStringLiteral("Versie %1 draait en houdt de map %2 vast").arg(newVersion, dataFolder));
                return UpdaterExit::NewVersionRuns;
            }
        }
        if (started->ended()) {
            log_.line(QStringLiteral("Versie %1 is gestopt met exit code %2")
                          .arg(newVersion)
                          .arg(started->exitCode()));
        } else {
            log_.line(QStringLiteral("Versie %1 houdt de map %2 niet vast; ze wordt gestopt")
                          .arg(newVersion, dataFolder));
            started->stop();
        }
    }
    try {
        installCopy(kept, old.programFile, permissions);
        log_.line(QStringLiteral("Versie %1 is teruggezet").arg(oldVersion));
    } catch (const ReplaceError& failed) {
        log_.line(failed.message());
    }
    startProgram(old, QStringLiteral("De vorige versie"));
    return UpdaterExit::RolledBack;
}

}  // namespace vk
