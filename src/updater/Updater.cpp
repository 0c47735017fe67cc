#include "updater/Updater.h"

#include "platform/FolderHandle.h"
#include "platform/LockFile.h"
#include "platform/Paths.h"
#include "update/UpdateMarker.h"
#include "update/UpdateNote.h"
#include "updater/DownloadArgument.h"
#include "updater/FolderLock.h"
#include "updater/ProgramCheck.h"
#include "updater/ProgramReplace.h"
#include "updater/Rollback.h"
#include "updater/StartProbe.h"

#include <QThread>

#include <csignal>
#include <cstdio>

namespace vk {

namespace {

constexpr auto kPoll = std::chrono::milliseconds(100);

// From the marker on, a stop request (a log-out, a terminal closed, Ctrl+C) waits until the update
// is settled: an updater ended half way would leave the new version unwatched.
void holdStopRequests() {
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGHUP);
    sigaddset(&stops, SIGINT);
    sigprocmask(SIG_BLOCK, &stops, nullptr);
}

}  // namespace

void faultPoint(const char* step) {
    if (qEnvironmentVariable("VELORA_UPDATER_FAULT") == QLatin1StringView(step)) {
        ::raise(SIGKILL);
    }
}

std::optional<DetachedProgram> Updater::startLink(const LinkStart& start, const QString& what) {
    QString why;
    std::optional<DetachedProgram> started =
        DetachedProgram::start(start.program, start.arguments, start.workingFolder, &why);
    if (!started) {
        log_.line(QStringLiteral("%1 kan niet gestart worden: %2").arg(what, why));
    } else {
        log_.line(QStringLiteral("%1 gestart: %2 (proces %3)")
                      .arg(what, commandLineText(start.program, start.arguments))
                      .arg(started->pid()));
    }
    return started;
}

UpdaterExit Updater::run(const QString& parameter) {
    const std::variant<DownloadArgument, QString> parsed = parseDownloadArgument(parameter);
    if (const QString* refused = std::get_if<QString>(&parsed)) {
        // nothing is touched for an argument the link does not give: no log file either
        log_.line(*refused);
        return UpdaterExit::BadCall;
    }
    const DownloadArgument& argument = std::get<DownloadArgument>(parsed);
    const QString download = argument.path();
    std::optional<FolderHandle> data;
    std::optional<FolderHandle> downloads;
    std::optional<FolderHandle> installation;
    try {
        data = FolderHandle::open(argument.dataFolder);
        log_.writeTo(*data);
        downloads = data->folder(QStringLiteral("TempDownloads"));
        installation = FolderHandle::open(ownFolder_);
    } catch (const FolderFileError& error) {
        log_.line(error.message());
        return UpdaterExit::BadCall;
    }
    log_.line(QStringLiteral("Update van %1").arg(download));

    QString lockRefused;
    const std::unique_ptr<HeldLock> installationLock =
        takeInstallationLock(*installation, timings_.lockWait, &lockRefused);
    if (!installationLock) {
        log_.line(QStringLiteral("%1; er is niets veranderd").arg(lockRefused));
        return UpdaterExit::FolderStaysTaken;
    }
    const QString program = kInstalledProgramName.toString();
    try {
        const int left =
            removeLeftoverCopies(*installation, program) + removeLeftoverMarkerFiles(*installation);
        if (left > 0) {
            log_.line(QStringLiteral("%1 achtergebleven tijdelijke kopie(\u00ebn) verwijderd").arg(left));
        }
    } catch (const Error& error) {
        log_.line(error.message());
    }

    // The note only says how the link ran; the program is the one beside the updater.
    const QString noteName = kUpdateNoteName.toString();
    std::optional<QByteArray> noteText;
    if (downloads->exists(noteName)) {
        try {
            noteText = downloads->readAll(noteName, kMaxUpdateNoteBytes);
        } catch (const FolderFileError& error) {
            noteText = QByteArray();
            log_.line(error.message());
        }
    } else {
        log_.line(QStringLiteral("Geen notitie %1 gevonden").arg(downloads->pathOf(noteName)));
    }
    QStringList ignored;
    const bool display = displayPresent();
    const LinkStart link =
        linkStartFor(installation->path(), argument.dataFolder, noteText, display, &ignored);
    if (!ignored.isEmpty()) {
        log_.line(QStringLiteral("Uit de notitie genegeerd: %1").arg(ignored.join(QStringLiteral("; "))));
    }
    if (!display) {
        log_.line(QStringLiteral("Geen beeldscherm gevonden: de koppeling start zonder venster"));
    }

    QString cannotLock;
    std::unique_ptr<HeldLock> folderLock =
        HeldLock::take(*data, kFolderLockFileName.toString(), timings_.lockWait, &cannotLock);
    if (!folderLock) {
        if (!cannotLock.isEmpty()) {
            log_.line(QStringLiteral("%1; er is niets veranderd").arg(cannotLock));
        } else {
            log_.line(QStringLiteral(
                          "De koppeling heeft de map %1 na %2 seconden nog niet vrijgegeven; er is niets "
                          "veranderd")
                          .arg(argument.dataFolder)
                          .arg(std::chrono::duration_cast<std::chrono::seconds>(timings_.lockWait).count()));
        }
        return UpdaterExit::FolderStaysTaken;
    }
    log_.line(QStringLiteral("De koppeling heeft de map %1 vrijgegeven").arg(argument.dataFolder));
    const auto restartOld = [&](UpdaterExit exit) {
        folderLock.reset();
        startLink(link, QStringLiteral("De vorige versie"));
        return exit;
    };
    const auto forget = [&] {
        try {
            downloads->remove(argument.fileName);
            downloads->remove(noteName);
        } catch (const FolderFileError& error) {
            log_.line(error.message());
        }
    };

    // What is checked is the updater's own copy beside the program file, and that copy is what is
    // installed: the download cannot change in between.
    const unsigned permissions = permissionsOf(*installation, program);
    std::optional<StagedCopy> staged;
    try {
        const FileDescriptor in = downloads->openForReading(argument.fileName, kMaxProgramBytes);
        staged.emplace(in.get(), download, *installation, program, permissions, kMaxProgramBytes);
    } catch (const FolderFileError& error) {
        log_.line(QStringLiteral("Geweigerd: %1").arg(error.message()));
        forget();
        return restartOld(UpdaterExit::Refused);
    } catch (const ReplaceError& failed) {
        log_.line(failed.message());
        return restartOld(UpdaterExit::NotReplaced);
    }
    faultPoint("after-staging");
    const QString installedPath = installation->pathOf(program);
    if (const std::optional<QString> refusal = refusalOf(staged->path(), installedPath, download)) {
        log_.line(QStringLiteral("Geweigerd: %1").arg(*refusal));
        staged.reset();
        forget();
        return restartOld(UpdaterExit::Refused);
    }
    const QString oldVersion = programVersionOf(installedPath);
    const QString newVersion = programVersionOf(staged->path());
    log_.line(QStringLiteral(
                  "Versie %1 is nieuwer dan %2 en ondertekend met de sleutel van het ge\u00efnstalleerde "
                  "programma")
                  .arg(newVersion, oldVersion));
    if (const std::optional<QString> doesNotStart =
            whyItDoesNotStart(staged->path(), ownFolder_, timings_.probeLimit)) {
        log_.line(QStringLiteral("Geweigerd: versie %1 start niet op deze computer: %2")
                      .arg(newVersion, *doesNotStart));
        staged.reset();
        forget();
        return restartOld(UpdaterExit::Refused);
    }

    // The previous program is kept beside the new one, for a rollback by this updater or by a later
    // --recover, and in the data folder's Backups as before.
    UpdateMarker marker;
    std::optional<FolderHandle> backups;
    std::optional<QString> unflushed;
    const auto sayUnflushed = [&] {
        if (unflushed) {
            log_.line(*unflushed);
        }
    };
    try {
        marker.previousDigest = installCopy(*installation, program, *installation,
                                            kPreviousProgramName.toString(), permissions, &unflushed);
        sayUnflushed();
        log_.line(QStringLiteral("Versie %1 bewaard als %2")
                      .arg(oldVersion, installation->pathOf(kPreviousProgramName.toString())));
    } catch (const ReplaceError& failed) {
        log_.line(failed.message());
        staged.reset();
        return restartOld(UpdaterExit::NotReplaced);
    }
    try {
        backups = data->folder(QStringLiteral("Backups"), true);
        removeLeftoverCopies(*backups, program);
        installCopy(*installation, program, *backups, program, permissions, &unflushed);
        sayUnflushed();
        log_.line(QStringLiteral("Versie %1 bewaard als %2").arg(oldVersion, backups->pathOf(program)));
    } catch (const Error& failed) {
        backups.reset();
        log_.line(QStringLiteral("%1; de kopie in de installatiemap blijft").arg(failed.message()));
    }
    faultPoint("after-keeping");

    holdStopRequests();
    marker.newDigest = staged->digest();
    marker.writtenMs = log_.clock().now().toMSecsSinceEpoch();
    marker.watchMs = (timings_.startWait + timings_.holdTime).count();
    try {
        writeUpdateMarker(*installation, marker);
        // from a successful rename on, the new program is in place: a folder that cannot be flushed
        // is said, and the marker (on disk) still lets a later --recover settle what a power cut leaves
        unflushed = staged->commit();
        sayUnflushed();
    } catch (const Error& failed) {
        log_.line(failed.message());
        staged.reset();
        try {
            if (programDigest(*installation, program) == marker.previousDigest) {
                removeUpdateMarker(*installation);
            }
        } catch (const Error& error) {
            log_.line(error.message());
        }
        return restartOld(UpdaterExit::NotReplaced);
    }
    staged.reset();
    log_.line(QStringLiteral("Versie %1 ge\u00efnstalleerd als %2").arg(newVersion, installedPath));
    faultPoint("after-swap");
    forget();
    folderLock.reset();

    // The new version counts as running once it holds the folder, and still holds it a while later.
    std::optional<DetachedProgram> started = startLink(link, QStringLiteral("Versie %1").arg(newVersion));
    faultPoint("during-watch");
    if (started) {
        const auto waitWhile = [&](std::chrono::milliseconds limit, const auto& condition) {
            const auto deadline = std::chrono::steady_clock::now() + limit;
            while (condition() && std::chrono::steady_clock::now() < deadline) {
                QThread::msleep(kPoll.count());
            }
        };
        const auto holds = [&] {
            return !started->ended() && folderLockHeldBy(argument.dataFolder, started->pid());
        };
        waitWhile(timings_.startWait, [&] { return !started->ended() && !holds(); });
        if (holds()) {
            waitWhile(timings_.holdTime, [&] { return !started->ended(); });
            if (holds()) {
                try {
                    removeUpdateMarker(*installation);
                } catch (const FolderFileError& error) {
                    log_.line(error.message());  // the version runs; it confirms the update itself
                }
                log_.line(QStringLiteral("Versie %1 draait en houdt de map %2 vast")
                              .arg(newVersion, argument.dataFolder));
                return UpdaterExit::NewVersionRuns;
            }
        }
        if (started->ended()) {
            log_.line(QStringLiteral("Versie %1 is gestopt met exit code %2")
                          .arg(newVersion)
                          .arg(started->exitCode()));
        } else {
            log_.line(QStringLiteral("Versie %1 houdt de map %2 niet vast; ze wordt gestopt")
                          .arg(newVersion, argument.dataFolder));
            started->stop();
        }
    }
    std::vector<KeptCopy> copies{{*installation, kPreviousProgramName.toString()}};
    if (backups) {
        copies.push_back({*backups, program});
    }
    if (!putBackPrevious(log_, *installation, marker, copies)) {
        // starting the version that just failed again would not help: an administrator puts a
        // version back by hand
        log_.line(
            QStringLiteral("Versie %1 blijft staan maar draait niet; zet de vorige versie met de hand terug")
                .arg(newVersion));
        return UpdaterExit::RolledBack;
    }
    log_.line(QStringLiteral("Versie %1 is teruggezet").arg(oldVersion));
    startLink(link, QStringLiteral("De vorige versie"));
    return UpdaterExit::RolledBack;
}

}  // namespace vk
