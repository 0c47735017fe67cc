#pragma once

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <optional>

namespace vk {

// The manifest "Updates.txt" is read with the platform's INI rules: sections in square brackets,
// key=value lines, section and key names without regard to letter case, blanks around key and
// value dropped, a value in a pair of single or double quotes without them, at most 2047
// characters; anything missing gives an empty value. The text is in the ANSI code page, or UTF-16
// (or UTF-8) after a byte-order mark.
QString readIniValue(const QByteArray& file, const QString& section, const QString& key);

// Whether the offered version is newer. Dotted decimal versions compare part by part as numbers,
// a missing part counting as 0 (1.0.0.10 is newer than 1.0.0.9, 1.0 equals 1.0.0.0); when either
// is not such a version, they compare as text, code unit by code unit, a proper prefix smaller.
bool isOlderVersion(const QString& running, const QString& offered);

// The manifest section of a program: its file name up to the first "."; for rundll32.exe, that of
// the DLL named in its second argument (up to the first ",").
QString appSectionName(const QString& programFile, const QStringList& arguments);

enum class FileSizeUnit { Auto, Bytes, KiloBytes, MegaBytes, GigaBytes };
// A byte count as the download window shows it, grouped by the locale's thousands separator.
QString FormatFileSize(qint64 bytes, FileSizeUnit unit, const QLocale& locale = QLocale());

// The text after the last "/" of a URL (all of it when there is none).
QString FileNameFromURL(const QString& url);
// The local name of a download: the last part of the URL's path (no query, no fragment), decoded;
// nothing when that is empty, "." or "..", or holds a path separator or a character that file
// names may not hold, so that no file is written outside the downloads folder.
std::optional<QString> downloadFileName(const QString& url);

// The size announced in a response's header lines: the first line whose lower-case form begins
// with "content-length: ", as a 32-bit whole number; 0 when there is none or it does not convert.
qint32 announcedSize(const QStringList& headerLines);

enum class HashType { None, CRC32, MD5, SHA1 };
// The digest of a whole file in upper-case hexadecimal (CRC-32 as 8 digits); raises a FileError
// when the file cannot be read.
QString fileDigest(const QString& path, HashType type);

}  // namespace vk
