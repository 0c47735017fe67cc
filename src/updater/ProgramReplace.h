#pragma once

#include "platform/Errors.h"
#include "platform/FolderHandle.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace vk {

// A program file could not be copied into place; the message says which and why.
class ReplaceError : public Error {
    using Error::Error;
};

// A copy of an open file in a temporary file of folder (".<target>.vk-update-<pid>"), with the
// given permission bits and flushed to disk, that commit() renames over target in one step: a
// program that starts meanwhile finds either the old file or the new one, never half of one, and a
// crash leaves the old one. The copy is the updater's own, so what is checked in it is what is
// installed, whatever happens to the source meanwhile. At most maxBytes are copied. Removed again
// unless committed. Raises a ReplaceError when it cannot.
class StagedCopy {
public:
    StagedCopy(int sourceFd, const QString& shownAs, FolderHandle folder, QString target,
               unsigned permissions, qint64 maxBytes);
    ~StagedCopy();
    StagedCopy(const StagedCopy&) = delete;
    StagedCopy& operator=(const StagedCopy&) = delete;

    QString path() const { return folder_.pathOf(name_); }
    const QString& name() const { return name_; }
    // SHA-256 of the bytes copied, lower-case hex
    const QByteArray& digest() const { return digest_; }
    // Renames the copy over the target and flushes the folder. A ReplaceError when the rename fails
    // (the target is as it was); when only the flush fails, the copy is in place and the reason
    // comes back, for the log: a power cut could still bring back the old file.
    [[nodiscard]] std::optional<QString> commit();

private:
    QString shownAs_;
    FolderHandle folder_;
    QString target_;
    QString name_;
    QByteArray digest_;
    bool committed_ = false;
};

// A copy of the plain file sourceName of source put in place as target of folder in one step
// (a StagedCopy, committed); its digest. A folder that cannot be flushed afterwards is said in
// *unflushed.
QByteArray installCopy(const FolderHandle& source, const QString& sourceName, const FolderHandle& folder,
                       const QString& target, unsigned permissions, std::optional<QString>* unflushed);

// Removes the temporary copies that a killed updater left for target in folder; how many.
int removeLeftoverCopies(const FolderHandle& folder, const QString& target);

// The permission bits of a file below folder (the run bits of the program it replaces); 0755 when
// it has none.
unsigned permissionsOf(const FolderHandle& folder, const QString& name);

}  // namespace vk
