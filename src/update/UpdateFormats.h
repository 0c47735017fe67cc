#pragma once

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <QStringList>

namespace vk {

// The manifest "Updates.txt" is read with the platform's INI rules: sections in square brackets,
// key=value lines, section and key names without regard to letter case, blanks around key and
// value dropped, a value in a pair of single or double quotes without them, at most 2047
// characters; anything missing gives an empty value. The text is in the ANSI code page, or UTF-16
// (or UTF-8) after a byte-order mark.
QString readIniValue(const QByteArray& file, const QString& section, const QString& key);

// The update compares versions as text: code unit by code unit, a proper prefix being smaller.
// So 1.0.0.9 does not count 1.0.0.10 as newer, and 1.0.0.25 does count 1.0.0.3 as newer.
bool isOlderVersion(const QString& running, const QString& offered);

// The manifest section of a program: its file name up to the first "."; for rundll32.exe, that of
// the DLL named in its second argument (up to the first ",").
QString appSectionName(const QString& programFile, const QStringList& arguments);

enum class FileSizeUnit { Auto, Bytes, KiloBytes, MegaBytes, GigaBytes };
// A byte count as the download window shows it, grouped by the locale's thousands separator.
QString FormatFileSize(qint64 bytes, FileSizeUnit unit, const QLocale& locale = QLocale());

// The text after the last "/" of a URL (all of it when there is none).
QString FileNameFromURL(const QString& url);

// The size announced in a response's header lines: the first line whose lower-case form begins
// with "content-length: ", as a 32-bit whole number; 0 when there is none or it does not convert.
qint32 announcedSize(const QStringList& headerLines);

enum class HashType { None, CRC32, MD5, SHA1 };
// The digest of a whole file in upper-case hexadecimal (CRC-32 as 8 digits); raises a FileError
// when the file cannot be read.
QString fileDigest(const QString& path, HashType type);

}  // namespace vk
