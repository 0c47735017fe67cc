#pragma once

#include <QByteArray>
#include <QString>

namespace vk {

// The largest document that is read; a larger one is refused before it is read.
inline constexpr qint64 kMaxDeliveredFileSize = 16 * 1024 * 1024;

// Reads a whole file that another program delivers. Fails with a FileError when the file is
// missing, is a folder or a symbolic link, is larger than kMaxDeliveredFileSize, cannot be read,
// or is still held open for writing by another program (it may be half written). Where the platform cannot
// tell whether a writer is present (file systems without leases, files of another owner without the right to
// lease them) the file is read as it is.
QByteArray readDeliveredFile(const QString& path);

// Turns the bytes of a text file into text by its byte-order mark: FF FE UTF-16 little-endian,
// FE FF UTF-16 big-endian, EF BB BF UTF-8, else the ANSI code page. Invalid UTF-8 or UTF-16 after
// a mark raises a FileError naming the file.
QString decodeTextFile(const QByteArray& bytes, const QString& path);

// Every line break (a lone CR, a lone LF, or LF CR) becomes CR LF.
QString adjustLineBreaks(QStringView text);

// Deletes a delivered file once it has been taken. Returns false when the file was already gone
// (another reader took it); raises a FileError for any other failure.
bool removeDeliveredFile(const QString& path);

// The three together: the text of an inbound file with CR LF line breaks.
QString loadTextFile(const QString& path);

}  // namespace vk
