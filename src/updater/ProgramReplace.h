#pragma once

#include "platform/Errors.h"

#include <QString>

namespace vk {

// A program file could not be copied into place; the message says which and why.
class ReplaceError : public Error {
    using Error::Error;
};

// A copy of source in a temporary file beside target, with the given permission bits and flushed
// to disk, that commit() renames over target in one step: a program that starts meanwhile finds
// either the old file or the new one, never half of one, and a crash leaves the old one. The copy
// is the updater's own, so what is checked in it is what is installed, whatever happens to source
// meanwhile. Removed again unless committed. Raises a ReplaceError when it cannot.
class StagedCopy {
public:
    StagedCopy(const QString& source, QString target, unsigned permissions);
    ~StagedCopy();
    StagedCopy(const StagedCopy&) = delete;
    StagedCopy& operator=(const StagedCopy&) = delete;

    const QString& path() const { return path_; }
    void commit();

private:
    QString source_;
    QString target_;
    QString path_;
    bool committed_ = false;
};

// A copy of source put in place at target in one step (a StagedCopy, committed).
void installCopy(const QString& source, const QString& target, unsigned permissions);

// The permission bits of a file (the run bits of the program it replaces); 0755 when it has none.
unsigned permissionsOf(const QString& file);

}  // namespace vk
