#pragma once

#include "platform/FolderHandle.h"
#include "platform/LockFile.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

namespace vk {

// The names an update uses in the installation folder (the folder of the program file and the
// updater). The previous program is kept there, so that a version can be put back even when the
// data folder's Backups copy is gone or changed.
inline constexpr QStringView kInstalledProgramName = u"VeloraKarvexClient";
inline constexpr QStringView kPreviousProgramName = u".VeloraKarvexClient.previous";
inline constexpr QStringView kUpdateMarkerName = u".VeloraKarvexClient.update";
inline constexpr QStringView kInstallationLockName = u".VeloraUpdater.lock";

// No program of ours comes near this; a download or kept copy over it is refused unread.
inline constexpr qint64 kMaxProgramBytes = 256LL * 1024 * 1024;
// A marker is a few lines; anything larger is not one.
inline constexpr qint64 kMaxMarkerBytes = 64 * 1024;

// Written in the installation folder just before a new program file takes the place of the
// previous one, and removed once the new version has proved that it runs (it held its data folder
// for a while) or the previous one is back. While it stands the update is unsettled: whoever finds
// it later (the updater's --recover, run before every start) knows which bytes were there before
// and when the watch should have ended.
struct UpdateMarker {
    QByteArray previousDigest;  // SHA-256 of the previous program, lower-case hex
    QByteArray newDigest;       // SHA-256 of the new one
    qint64 writtenMs = 0;       // when, in milliseconds since the epoch
    qint64 watchMs = 0;         // how long the updater watches the new version at most

    bool operator==(const UpdateMarker&) const = default;
};

QByteArray updateMarkerText(const UpdateMarker& marker);
// Nothing when the text is not a whole marker.
std::optional<UpdateMarker> parseUpdateMarker(const QByteArray& text);

// Writes the marker whole (a temporary file, flushed, renamed, the folder flushed); a
// FolderFileError when any step fails.
void writeUpdateMarker(const FolderHandle& installation, const UpdateMarker& marker);
// Whether a marker stands in the installation folder.
bool updateMarkerExists(const FolderHandle& installation);
// The marker; nothing when there is none. A FolderFileError when one stands there that cannot be
// read or is no marker.
std::optional<UpdateMarker> readUpdateMarker(const FolderHandle& installation);
// Removes the temporary files of markers whose writer was killed half way; how many.
int removeLeftoverMarkerFiles(const FolderHandle& installation);
// Removes the marker and flushes the folder, so that a settled update stays settled.
void removeUpdateMarker(const FolderHandle& installation);

// SHA-256 of a plain file below folder (lower-case hex), read as FolderHandle reads: no link
// followed, at most kMaxProgramBytes.
QByteArray programDigest(const FolderHandle& folder, const QString& name);

// The lock of an installation folder (kInstallationLockName) that the updater and its --recover
// hold while they work there, and that a link takes for the moment it confirms an update: never
// two of them on one installation. Nothing when it cannot be had within wait, with why in *why
// when given (another update at work, or a lock file that cannot be used).
std::unique_ptr<HeldLock> takeInstallationLock(const FolderHandle& installation,
                                               std::chrono::milliseconds wait, QString* why = nullptr);

// What a link that has held its data folder for a while says of an update of its own program.
enum class ConfirmOutcome {
    NothingToConfirm,  // no marker: no update is unsettled
    Confirmed,         // the marker is removed: this version stays
    PreviousRuns,      // this is the previous version; the marker is left for the updater
    Busy,              // the updater or --recover is at work; try again later
};
// Confirms an unsettled update of programFile's installation when programFile is not the previous
// version. A FolderFileError when the folder cannot be read or the marker not removed.
ConfirmOutcome confirmUpdate(const QString& programFile);

}  // namespace vk
