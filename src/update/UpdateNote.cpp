#include "update/UpdateNote.h"

#include "platform/FileReplace.h"
#include "platform/Paths.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace vk {

namespace {

constexpr QStringView kProgramFile = u"programFile";
constexpr QStringView kArguments = u"arguments";
constexpr QStringView kWorkingFolder = u"workingFolder";

}  // namespace

QString updateNotePath(const QString& tempDownloadsFolder) {
    return joinPath(tempDownloadsFolder, kUpdateNoteName.toString());
}

void writeUpdateNote(const QString& path, const UpdateNote& note) {
    QJsonObject object;
    object.insert(kProgramFile, note.programFile);
    object.insert(kArguments, QJsonArray::fromStringList(note.arguments));
    object.insert(kWorkingFolder, note.workingFolder);
    writeFileReplacing(path, QJsonDocument(object).toJson(), Durability::Flushed);
}

std::optional<UpdateNote> readUpdateNote(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxUpdateNoteBytes) {
        return std::nullopt;
    }
    return parseUpdateNote(file.read(kMaxUpdateNoteBytes));
}

std::optional<UpdateNote> parseUpdateNote(const QByteArray& text) {
    const QJsonDocument document = QJsonDocument::fromJson(text);
    const QJsonObject object = document.object();
    if (!object.value(kProgramFile).isString() || !object.value(kArguments).isArray()) {
        return std::nullopt;
    }
    UpdateNote note;
    note.programFile = object.value(kProgramFile).toString();
    for (const QJsonValue& argument : object.value(kArguments).toArray()) {
        if (!argument.isString()) {
            return std::nullopt;
        }
        note.arguments.append(argument.toString());
    }
    note.workingFolder = object.value(kWorkingFolder).toString();
    if (note.programFile.isEmpty()) {
        return std::nullopt;
    }
    return note;
}

}  // namespace vk
