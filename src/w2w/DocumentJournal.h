#pragma once

#include "planning/TemporaryKey.h"

#include <QString>

#include <vector>

namespace vk::w2w {

// What the link knows of a document between the delete of its inbound file and its final outcome.
struct JournalRecord {
    qint64 id = 0;         // its number in the journal
    QString entryName;     // the inbound file's name
    QString packetText;    // the document as it was loaded
    QString kind;          // "<kind>"
    int orderNumber = 0;   // "<id>" read as a whole number: pla_extern of its planning row
    QString key;           // the temporary key its planning row carries once saved
    bool refused = false;  // its answer is "WOB", whatever happens after
};

// The documents in flight, in one file of the program folder that only grows until no document is
// in flight, when it is emptied. A record is on disk before the inbound file is deleted and is
// marked done once the document's outcome is final; a record that a run finds open belongs to a
// document that a stopped run left unanswered.
class DocumentJournal {
public:
    static constexpr QStringView kFileName = u".vk-journaal";
    // Above this size a journal with open records is written anew with only those.
    static constexpr qint64 kCompactAbove = 4 * 1024 * 1024;

    // path: the journal's file (made when the first record is written)
    DocumentJournal(QString path, TemporaryKeys& keys);
    ~DocumentJournal();
    DocumentJournal(const DocumentJournal&) = delete;
    DocumentJournal& operator=(const DocumentJournal&) = delete;

    // Writes the record of a document about to be taken, with a fresh temporary key, and makes
    // sure it is on disk. Raises a FileError when it cannot.
    JournalRecord add(const QString& entryName, const QString& packetText, const QString& kind,
                      int orderNumber);
    // Notes on disk that the document is refused, before its refusal is written. Raises a
    // FileError when it cannot.
    void markRefused(JournalRecord& record);
    // The outcome is final. A mark that does not reach the disk leaves the record open, and a later
    // run comes to the same outcome again.
    void remove(const JournalRecord& record);

    // The open records, oldest first.
    std::vector<JournalRecord> pending() const;

    const QString& path() const { return path_; }

private:
    void append(const QByteArray& entry, bool durable);
    void compact();

    QString path_;
    TemporaryKeys& keys_;
    int fd_ = -1;
    qint64 lastId_ = -1;  // -1 until the file has been read
    qint64 open_ = 0;     // records written by this run and not yet done
};

}  // namespace vk::w2w
