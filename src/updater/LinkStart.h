#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace vk {

// How the updater starts the link after an update, or the previous version after a refusal or a
// rollback: always the program beside the updater, on the data folder of the download.
struct LinkStart {
    QString program;
    QStringList arguments;  // without the program's name
    QString workingFolder;
};

// What the note the link left (its text; nothing when there was none or it could not be read) may
// decide: only whether the link ran without its window and in which working folder. A note that
// cannot be used gives the window on the data folder, the way the link hands over. Where no
// display is found the link is started without its window, since the window could not open: the
// new version is not to be taken back for that. Every part of the note that is not used goes into
// *ignored, in words for the log.
LinkStart linkStartFor(const QString& installationFolder, const QString& dataFolder,
                       const std::optional<QByteArray>& note, bool displayPresent, QStringList* ignored);

// Whether a display is there for a window (the variables a window program reads).
bool displayPresent();

// program and arguments as one line for the log
QString commandLineText(const QString& program, const QStringList& arguments);

}  // namespace vk
