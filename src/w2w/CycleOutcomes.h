#pragma once

#include "platform/Errors.h"

#include <QString>

namespace vk::w2w {

// How the handling of one entry of a cycle can end short of its handling to the end. The engine
// catches them around every entry; nothing outside the cycle sees them.

// The inbound file went to another reader between its listing and its take.
class TakenElsewhere : public Error {
    using Error::Error;
};

// A document left for a later cycle, without a further line.
struct Unfinished {};

// An entry whose outcome is settled and said: nothing more to count or to write.
struct Settled {};

// What keeps a file from being taken for now; each is said once for each file.
enum class WaitCause { Reading, Backup, Journal, Delete };

// A file that cannot be taken yet, for a cause that passes: it stays, unanswered, and is taken
// once the cause is gone.
struct Postponed {
    WaitCause cause;
    QString message;
};

}  // namespace vk::w2w
