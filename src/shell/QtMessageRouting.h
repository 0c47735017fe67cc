#pragma once

#include "platform/WindowPorts.h"

#include <QString>
#include <QtGlobal>

namespace vk {

// Where one of Qt's own messages goes.
enum class QtMessageRoute {
    Drop,   // debug and info messages; the warnings of the SQL drivers and the QSql classes, whose
            // failure the link logs itself in one line of its own
    Log,    // any other warning or critical message: a line of the run's log
    Fatal,  // qFatal: printed as Qt prints it, and Qt ends the program
};

QtMessageRoute routeOfQtMessage(QtMsgType type, const char* category, const QString& text);

// The program's one handler of Qt's messages, installed early in main and held for the whole
// program; the handler that was there before returns when it ends.
//
// A message routed to the log becomes the line "<time> - Qt: <message>". On the main thread it is
// appended to the log that is attached at that moment; a message of another thread is handed to
// the main thread through its event queue. Lines that arrive before any log is attached are kept
// and handed over once one is; after the attached log has gone, and at the end for whatever is
// still kept, they go to standard error. A message raised while a line is being appended (the log
// itself warns) goes straight to standard error, so that the handler never calls itself.
class QtMessageRouting {
public:
    QtMessageRouting();
    ~QtMessageRouting();
    QtMessageRouting(const QtMessageRouting&) = delete;
    QtMessageRouting& operator=(const QtMessageRouting&) = delete;

    // While it exists, routed messages are lines of this log. Created and ended on the main
    // thread; without a QtMessageRouting it does nothing.
    class LogAttachment {
    public:
        explicit LogAttachment(LogView& log);
        ~LogAttachment();
        LogAttachment(const LogAttachment&) = delete;
        LogAttachment& operator=(const LogAttachment&) = delete;
    };
};

}  // namespace vk
