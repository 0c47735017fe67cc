#pragma once

#include "planning/TemporaryKey.h"

#include <QString>

#include <vector>

namespace vk::w2w {

// What the link knows of a document between the delete of its inbound file and its final outcome.
struct JournalRecord {
    QString entryName;     // the inbound file's name
    QString packetText;    // the document as it was loaded
    QString kind;          // "<kind>"
    int orderNumber = 0;   // "<id>" read as a whole number: pla_extern of its planning row
    QString key;           // the temporary key its planning row carries once saved
    bool refused = false;  // its answer is "WOB", whatever happens after
    QString file;          // where the record is kept
};

// The documents in flight, one small file each in a folder of the program folder. A record is on
// disk before the inbound file is deleted and goes once the document's outcome is final; a record
// that a run finds at its start belongs to a document that a stopped run left unanswered.
class DocumentJournal {
public:
    static constexpr QStringView kFolderName = u".vk-journaal";

    // folder: the journal's folder (made when the first record is written)
    DocumentJournal(QString folder, TemporaryKeys& keys);

    // Writes the record of a document about to be taken, with a fresh temporary key, and makes
    // sure it is on disk. Raises a FileError when it cannot.
    JournalRecord add(const QString& entryName, const QString& packetText, const QString& kind,
                      int orderNumber);
    // Notes on disk that the document is refused, before its refusal is written.
    void markRefused(JournalRecord& record);
    // The outcome is final: the record goes. A record that cannot be removed is met again at the
    // next start, where it leads to the same outcome.
    void remove(const JournalRecord& record);

    // The records left, oldest first. Files that are no record of the link are passed over.
    std::vector<JournalRecord> pending() const;

    const QString& folder() const { return folder_; }

private:
    void write(const JournalRecord& record) const;

    QString folder_;
    TemporaryKeys& keys_;
    int sequence_ = 0;
};

}  // namespace vk::w2w
