#include "updater/Rollback.h"

#include "updater/ProgramReplace.h"
#include "updater/StartProbe.h"

#include <QDateTime>

namespace vk {

bool putBackPrevious(UpdaterLog& log, const FolderHandle& installation, const UpdateMarker& marker,
                     const std::vector<KeptCopy>& copies) {
    const QString program = kInstalledProgramName.toString();
    const unsigned permissions = permissionsOf(installation, program);
    for (const KeptCopy& copy : copies) {
        try {
            const FileDescriptor in = copy.folder.openForReading(copy.name, kMaxProgramBytes);
            StagedCopy staged(in.get(), copy.folder.pathOf(copy.name), installation, program, permissions,
                              kMaxProgramBytes);
            if (staged.digest() != marker.previousDigest) {
                log.line(
                    QStringLiteral("%1 is niet meer de bewaarde vorige versie; die wordt niet teruggezet")
                        .arg(copy.folder.pathOf(copy.name)));
                continue;
            }
            if (const std::optional<QString> unflushed = staged.commit()) {
                log.line(*unflushed);
            }
        } catch (const Error& error) {
            log.line(error.message());
            continue;
        }
        // the previous program is in place: the update is settled
        log.line(QStringLiteral("De vorige versie is teruggezet uit %1").arg(copy.folder.pathOf(copy.name)));
        try {
            removeUpdateMarker(installation);
        } catch (const Error& error) {
            log.line(error.message());  // a later --recover finds the previous version and removes it
        }
        return true;
    }
    log.line(
        QStringLiteral("Geen bewaarde kopie heeft de bytes van de vorige versie; er is niets teruggezet"));
    return false;
}

void recoverInstallation(UpdaterLog& log, const QString& installationFolder, RecoveryTimings timings) {
    const FolderHandle installation = FolderHandle::open(installationFolder);
    if (!updateMarkerExists(installation)) {
        return;  // the everyday case, before every start: nothing unsettled
    }
    log.writeTo(installation);
    QString why;
    const std::unique_ptr<HeldLock> lock = takeInstallationLock(installation, timings.lockWait, &why);
    if (!lock) {
        log.line(QStringLiteral("%1; er wordt niets hersteld").arg(why));
        return;
    }
    std::optional<UpdateMarker> marker;
    try {
        marker = readUpdateMarker(installation);
    } catch (const FolderFileError& error) {
        log.line(QStringLiteral("%1; die wordt verwijderd").arg(error.message()));
        removeUpdateMarker(installation);
        return;
    }
    if (!marker) {
        return;  // settled while this one waited
    }
    const QString program = kInstalledProgramName.toString();
    QByteArray installed;
    try {
        installed = programDigest(installation, program);
    } catch (const FolderFileError& error) {
        log.line(error.message());
    }
    if (installed == marker->previousDigest) {
        log.line(QStringLiteral("De update is niet doorgegaan: de vorige versie staat er nog"));
        removeUpdateMarker(installation);
        return;
    }
    const qint64 age = log.clock().now().toMSecsSinceEpoch() - marker->writtenMs;
    std::optional<QString> whyNot;
    if (age <= marker->watchMs) {
        whyNot = whyItDoesNotStart(installation.pathOf(program), installationFolder, timings.probeLimit);
        if (!whyNot) {
            return;  // the updater's watch would still run: the new version confirms itself
        }
        log.line(QStringLiteral("De nieuwe versie start niet: %1").arg(*whyNot));
    } else {
        log.line(QStringLiteral("De update is na %1 seconden nog niet bevestigd; de vorige versie wordt "
                                "teruggezet")
                     .arg(age / 1000));
    }
    putBackPrevious(log, installation, *marker, {{installation, kPreviousProgramName.toString()}});
}

}  // namespace vk
