#pragma once

#include "platform/Clock.h"
#include "settings/Settings.h"
#include "settings/SettingsDocument.h"

#include <QString>

#include <optional>

namespace vk {

// The settings file "VeloraKarvex.xml" in the program folder and the settings document it is
// read into. The disk is read once at the start of a run (LoadSettingsFile) and written once at
// its end (WriteSettingsFile); in between, RestoreSettings and SaveSettings copy the eighteen
// stored settings between the fields and the document under "Configuration\Hoofdscherm".
class SettingsStorage {
public:
    static constexpr QStringView kFileName = u"VeloraKarvex.xml";

    // filePath: the program folder followed by kFileName
    SettingsStorage(QString filePath, const Clock& clock);

    // Reads the file into the document. A missing file gives an empty document. A file that
    // cannot be read or is not well formed also leaves the document empty (so the defaults
    // stay); the returned text says what is wrong, for the log, and the file is kept aside at
    // the end of the run instead of being overwritten.
    std::optional<QString> LoadSettingsFile();
    void RestoreSettings(Settings& fields);
    void SaveSettings(const Settings& fields);
    // Writes the document to the file: a temporary file in the same folder replaces the old one
    // when complete, readable by its owner only (it holds the password). Returns what went
    // wrong, if anything; nothing is retried.
    std::optional<QString> WriteSettingsFile();
    // The end of a run in order: SaveSettings unless one happened since the restore, then
    // WriteSettingsFile.
    std::optional<QString> endRun(const Settings& fields);

    bool readOnly() const { return readOnly_; }
    bool restored() const { return restored_; }
    bool savedSinceRestore() const { return savedSinceRestore_; }
    const QString& filePath() const { return filePath_; }
    const SettingsDocument& document() const { return document_; }
    // Where an unreadable file was kept, once it has been.
    const QString& keptAsidePath() const { return keptAside_; }

    static QStringList pathOf(QStringView elementName);

private:
    std::optional<QString> keepUnreadableFileAside();

    QString filePath_;
    const Clock& clock_;
    SettingsDocument document_;
    bool readOnly_ = false;
    bool restored_ = false;
    bool savedSinceRestore_ = false;
    bool unreadable_ = false;
    QString keptAside_;
};

// The FormVersion rule: a whole number (spaces before it and a sign allowed, nothing after it);
// any other text, the empty one included, gives -1.
int readFormVersion(const QString& text);

// A tick box's stored word: TRUE/YES/Y tick, FALSE/NO/N untick (any letter case); any other
// value ticks when it is a whole number other than 0.
bool readTickBox(const QString& value);

}  // namespace vk
