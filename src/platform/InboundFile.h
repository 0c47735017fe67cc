#pragma once

#include "platform/Errors.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <functional>

namespace vk {

// The largest document that is read; a larger one is refused before it is read.
inline constexpr qint64 kMaxDeliveredFileSize = 16 * 1024 * 1024;

// A file whose writer cannot be seen (no lease can be taken on it) is read only once it has stood
// still: the same size and modification time as at a look at least a second before. This keeps
// the looks, by path; `now` gives milliseconds from any fixed point.
class StabilityLooks {
public:
    explicit StabilityLooks(std::function<qint64()> now) : now_(std::move(now)) {}
    // Whether the file stood still since an earlier look; this look is remembered.
    bool standsStill(const QString& path, qint64 size, qint64 modifiedNs);
    void forget(const QString& path) { looks_.remove(path); }

private:
    struct Look {
        qint64 size;
        qint64 modifiedNs;
        qint64 since;  // when the file was first seen like this
    };
    std::function<qint64()> now_;
    QHash<QString, Look> looks_;
};

// A file that is not read yet because it may still be written: it is left for a later cycle.
class FileNotYetStable : public Error {
    using Error::Error;
};

// Why a delivered file could not be read. A cause that stays with the file (a symbolic link, a
// folder or other entry that is no plain file, a size over the limit, bytes that are not text in
// their encoding) gives a FileRefusedForGood: reading it again gives the same. A file that was gone
// at the open gives a FileGone. Any other FileError may pass (a writer still has the file open, an
// error of the disk).
class FileRefusedForGood : public FileError {
    using FileError::FileError;
};
class FileGone : public FileError {
    using FileError::FileError;
};

// The lease call: 0 when a read lease is taken on fd, else -1 with errno set. Replaceable so that
// tests can play a platform that refuses leases.
using LeaseCall = int (*)(int fd);
void setLeaseCall(LeaseCall call);

// Reads a whole file that another program delivers. Fails with a FileError when the file is
// missing (FileGone), is a folder or a symbolic link or larger than kMaxDeliveredFileSize
// (FileRefusedForGood), cannot be read, or is still held open for writing by another program (it
// may be half written). Where the platform cannot
// tell whether a writer is present (file systems without leases, files of another owner without the right to
// lease them) the file is read as it is.
// Where no lease can be taken and looks are given, the file is read only once it stands still;
// before that a FileNotYetStable is raised.
QByteArray readDeliveredFile(const QString& path, StabilityLooks* looks = nullptr);

// Turns the bytes of a text file into text by its byte-order mark: FF FE UTF-16 little-endian,
// FE FF UTF-16 big-endian, EF BB BF UTF-8, else the ANSI code page. Invalid UTF-8 or UTF-16 after
// a mark raises a FileRefusedForGood naming the file.
QString decodeTextFile(const QByteArray& bytes, const QString& path);

// Every line break (a lone CR, a lone LF, or LF CR) becomes CR LF.
QString adjustLineBreaks(QStringView text);

// Deletes a delivered file once it has been taken. Returns false when the file was already gone
// (another reader took it); raises a FileError for any other failure.
bool removeDeliveredFile(const QString& path);

// Takes a delivered file by moving it to claimedPath (in the same folder). Returns false when the
// file was already gone (another reader took it); raises a FileRefusedForGood when the folder can
// never take the move (a name too long, a name it does not allow), a FileError for any other
// failure.
bool claimDeliveredFile(const QString& path, const QString& claimedPath);

// The three together: the text of an inbound file with CR LF line breaks.
QString loadTextFile(const QString& path, StabilityLooks* looks = nullptr);

}  // namespace vk
