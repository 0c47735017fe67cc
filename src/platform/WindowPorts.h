#pragma once

#include <QString>

#include <exception>

namespace vk {

// The window's views and services as the working code sees them. The window implements them,
// and so do the window-less run and the tests; nothing below the shell includes a widget.

// The log memo "Logboek": lines are appended; the general error handler replaces the whole text.
class LogView {
public:
    virtual ~LogView() = default;
    virtual void appendLine(const QString& line) = 0;
    virtual void replaceText(const QString& text) = 0;
    // A line for the record alone: kept where the log is kept (the day's file), never shown. For
    // notices about the surroundings that the dispatcher need not read. A log that keeps nothing
    // beside its view drops it.
    virtual void keepOnly(const QString& line) { static_cast<void>(line); }
};

// The packet view "LP": shows the text of the inbound document being handled. The import keeps
// the text itself; a view may show it in its own way (a text widget keeps no CR LF).
class PacketView {
public:
    virtual ~PacketView() = default;
    virtual void setText(const QString& text) = 0;
};

// The program-wide handler for an error that no other level caught.
class GeneralErrorHandler {
public:
    virtual ~GeneralErrorHandler() = default;
    virtual void handleException(const std::exception& error) = 0;
};

// Lets the window handle the messages that are pending at this moment.
class MessagePump {
public:
    virtual ~MessagePump() = default;
    virtual void processPendingMessages() = 0;
    // Whether the program has been asked to end (a stop signal, the window's end): long work that
    // pumps stops at its next step and ends in order.
    virtual bool stopRequested() const { return false; }
};

}  // namespace vk

namespace vk {

// A message box: title, text, icon and buttons; the answer is the button the user chose.
struct MessageBoxRequest {
    enum class Icon { Information, Question, Warning, Error };
    enum class Buttons { Ok, YesNo };
    QString title;
    QString text;
    Icon icon = Icon::Information;
    Buttons buttons = Buttons::Ok;
};

enum class MessageBoxAnswer { Ok, Yes, No };

// Shows message boxes and waits for the answer. The window shows real ones; tests answer them
// as they set in advance.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual MessageBoxAnswer show(const MessageBoxRequest& request) = 0;
};

}  // namespace vk
