#pragma once

#include <QString>

#include <optional>

namespace vk {

// Whether a downloaded file may replace the installed program file: it must be a program of ours
// (an executable carrying our version record, with the same product and internal name), of a
// newer version, and signed with the release key that the installed program carries. Returns why
// it may not, in words for the updater's log, naming the file shownAs; nothing when it may.
std::optional<QString> refusalOf(const QString& file, const QString& installedProgram,
                                 const QString& shownAs);

// The version a program file's record gives ("1.0.0.1"); empty when it has none.
QString programVersionOf(const QString& programFile);

// Whether version a is older than version b: dotted versions compared part by part as numbers,
// as the link compares them. Nothing when either is not such a version.
std::optional<bool> isOlderDottedVersion(const QString& a, const QString& b);

}  // namespace vk
