#pragma once

#include "planning/TemporaryKey.h"

#include <QByteArray>
#include <QSet>
#include <QString>

#include <map>
#include <optional>
#include <vector>

namespace vk::w2w {

// An answer about to be put in place: its temporary file, written whole, is renamed to the answer's
// name right after this note. A run that finds the note after a stop of the same boot knows where
// the answer stands: the temporary file still there means the rename did not happen; gone means it
// did (and the partner may have taken the answer already).
struct AnswerNote {
    QString temporaryPath;
    QString finalPath;
    QByteArray bootId;  // the machine's boot when the note was written
    QString kind;       // "BOB" or "WOB"
};

// What the link knows of a document between the delete of its inbound file and its final outcome.
struct JournalRecord {
    qint64 id = 0;                     // its number in the journal
    QString entryName;                 // the inbound file's name
    QString packetText;                // the document as it was loaded
    QString kind;                      // "<kind>"
    int orderNumber = 0;               // "<id>" read as a whole number: pla_extern of its planning row
    QString key;                       // the temporary key its planning row carries once saved
    bool refused = false;              // its answer is "WOB", whatever happens after
    std::optional<AnswerNote> answer;  // its answer was being put in place
    // Where the inbound file was moved to take it, under a name of this link's own; it is removed
    // once the record is done. Empty for a record of an earlier version, which deleted the file.
    QString claimedPath;
};

// The documents in flight, in one file of the program folder that only grows until no document is
// in flight, when it is emptied. A record is on disk before the inbound file is deleted and is
// marked done once the document's outcome is final; a record that a run finds open belongs to a
// document that a stopped run left unanswered.
//
// Every entry is a line of its own. A record is preceded by a line with its length and CRC-32, so
// that a record that a stop cut short is known and passed over as never written (its inbound file
// is still there: the file is deleted only once the record is on disk); the marks carry a CRC-32
// as their last field. A journal without check lines (an earlier version of the link wrote it) is
// read as before.
class DocumentJournal {
public:
    static constexpr QStringView kFileName = u".vk-journaal";
    // Above this size, and when the open records take less than half of it, the journal is
    // written anew with only those; the cost of a document then does not grow with the journal.
    static constexpr qint64 kCompactAbove = 4 * 1024 * 1024;

    // path: the journal's file (made when the first record is written)
    DocumentJournal(QString path, TemporaryKeys& keys);
    ~DocumentJournal();
    DocumentJournal(const DocumentJournal&) = delete;
    DocumentJournal& operator=(const DocumentJournal&) = delete;

    // Writes the record of a document about to be taken, with a fresh temporary key, and makes
    // sure it is on disk. Raises a FileError when it cannot.
    JournalRecord add(const QString& entryName, const QString& packetText, const QString& kind,
                      int orderNumber, const QString& claimedPath = {});
    // Notes on disk that the document is refused, before its refusal is written. Raises a
    // FileError when it cannot.
    void markRefused(JournalRecord& record);
    // Notes that the answer's temporary file is about to be renamed into place. Written, not
    // flushed: a stop of the process keeps it, as it keeps the rename. Raises a FileError.
    void noteAnswer(JournalRecord& record, const AnswerNote& note);
    // The outcome is final. A mark that does not reach the disk leaves the record open, and a later
    // run comes to the same outcome again.
    void remove(const JournalRecord& record) {
        markDone(record.id);
        tidy();
    }
    // The same for many records at once: each marked done, then the file tidied once.
    void markDone(qint64 id);
    // Empties the file when no record is open; writes it anew with the open records when they take
    // less than half of it and it is large.
    void tidy();

    // The open records, oldest first (read from the file).
    std::vector<JournalRecord> pending() const;
    // The temporary files of the answers that open records note as about to be put in place.
    QSet<QString> notedAnswerFiles() const;

    const QString& path() const { return path_; }

private:
    void append(const QByteArray& entry, bool durable);
    void appendMark(char code, qint64 id, const QByteArray& fields, bool durable);
    void loadIndex();
    void compact();

    QString path_;
    TemporaryKeys& keys_;
    int fd_ = -1;
    bool indexLoaded_ = false;
    qint64 lastId_ = 0;
    // The open records by number, with the bytes they take in the file: a done-mark is one append
    // and one look-up, whatever the size of the journal.
    std::map<qint64, qint64> open_;
    qint64 openBytes_ = 0;
    qint64 fileBytes_ = 0;
};

// The identity of the machine's current boot (empty where the platform has none).
QByteArray currentBootId();

}  // namespace vk::w2w
