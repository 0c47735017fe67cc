#pragma once

#include <QString>

namespace vk::w2w {

// The names under which this link takes inbound files: hidden, in the inbound folder itself, and
// ending in a tag of this link's own program folder, so that links on one inbound folder tell
// their taken files apart and a run knows which leftovers are its own. "4711.s2c" is taken as
// ".4711.s2c.vk-1a2b3c4d"; a name too long for that within the file system's limit is taken as
// ".vk-" + a digest of the name + the tag (the record keeps the real name).
class ClaimedNames {
public:
    // journalPath: the program folder's journal, whose path makes the tag; empty: no names
    explicit ClaimedNames(const QString& journalPath);

    QString pathFor(const QString& folder, const QString& name) const;
    bool isClaim(const QString& name) const;

private:
    QString tag_;
};

}  // namespace vk::w2w
