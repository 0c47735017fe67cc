#pragma once

#include "platform/WindowPorts.h"

#include <QString>
#include <QtGlobal>

namespace vk {

// Where one of Qt's own messages goes.
enum class QtMessageRoute {
    Drop,   // debug and info messages; the warnings of the SQL drivers and the QSql classes, whose
            // failure the link logs itself in one line of its own
    Aside,  // a notice about the machine or the desktop session the link runs in: standard error
            // and the day's log file, never the log that the dispatcher reads (see below)
    Log,    // any other warning or critical message: a line of the run's log
    Fatal,  // qFatal: printed as Qt prints it, and Qt ends the program
};

// A warning or critical message is a notice about the surroundings (Aside) when it tells of what
// lies between Qt and the machine rather than of the link's own work, something an administrator
// may want to know but the dispatcher can do nothing about:
//   - the categories of the platform plugin and what hangs on it: "qt.qpa" and below it (display,
//     window manager, screens, input, keyboard, fonts, theme, tray, clipboard), "qt.accessibility",
//     "qt.glx", "qt.opengl", "qt.vulkan", "qt.highdpi", and "qt.text.font" (the fonts installed),
//     each with the categories below it;
//   - messages without a category of their own that begin as Qt words these notices:
//     "QStandardPaths:" (the runtime and standard folders, XDG_RUNTIME_DIR), "QXcb" (the X server),
//     "This plugin does not support" (a feature the platform plugin lacks, such as raise() on the
//     offscreen platform), "Qt: Session management error" (the desktop session) and "Unable to
//     detect a web browser".
// Anything else keeps its route: a warning that the link's own work raised belongs in its log.
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
//
// A message routed aside becomes the same line, printed on standard error at once and handed to
// the attached log for its file alone (LogView::keepOnly: the day's file of a KeptLog) the way a
// log line is handed over; it never reaches the view.
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

    // While it exists, every message of the main thread that would be a line of the log goes
    // aside instead: for a call whose failure the link says in a line of its own (a web page that
    // cannot be opened), so that Qt's words about it do not stand beside the link's. Created and
    // ended on the main thread; without a QtMessageRouting it does nothing.
    class Aside {
    public:
        Aside();
        ~Aside();
        Aside(const Aside&) = delete;
        Aside& operator=(const Aside&) = delete;

    private:
        bool counted_;
    };
};

}  // namespace vk
