#pragma once

#include <QByteArray>
#include <QString>

namespace vk {

// Reads a whole file that another program delivers. Fails with a FileError when the file is
// missing, is a folder, cannot be read, or is still held open for writing by another program
// (it may be half written). Where the platform cannot tell whether a writer is present (file
// systems without leases, files of another owner without the right to lease them) the file is
// read as it is.
QByteArray readDeliveredFile(const QString& path);

// Turns the bytes of a text file into text by its byte-order mark: FF FE UTF-16 little-endian,
// FE FF UTF-16 big-endian, EF BB BF UTF-8, else the ANSI code page. Invalid UTF-8 or UTF-16 after
// a mark raises a FileError naming the file.
QString decodeTextFile(const QByteArray& bytes, const QString& path);

// Every line break (a lone CR, a lone LF, or LF CR) becomes CR LF.
QString adjustLineBreaks(QStringView text);

// The three together: the text of an inbound file with CR LF line breaks.
QString loadTextFile(const QString& path);

}  // namespace vk
