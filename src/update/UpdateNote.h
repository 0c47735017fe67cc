#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace vk {

// What the updater needs to start the link again after it has replaced the program file: the
// program file and the arguments and working folder of the run that handed the download over. The
// link leaves it beside the download in TempDownloads just before the hand-over; the hand-over
// itself (the download's path between apostrophes) stays as it is.
struct UpdateNote {
    QString programFile;
    QStringList arguments;  // without the program's name
    QString workingFolder;
};

// The note's name, and its place in a TempDownloads folder.
inline constexpr QStringView kUpdateNoteName = u".VeloraUpdater.note";
QString updateNotePath(const QString& tempDownloadsFolder);

// Writes the note whole or not at all; a FileError when it cannot be written.
void writeUpdateNote(const QString& path, const UpdateNote& note);
// The note at path; nothing when there is none or it is not a note.
std::optional<UpdateNote> readUpdateNote(const QString& path);
// The note in text; nothing when it is not a note.
std::optional<UpdateNote> parseUpdateNote(const QByteArray& text);
// A note is small; anything larger is not read.
inline constexpr qint64 kMaxUpdateNoteBytes = 64 * 1024;

}  // namespace vk
