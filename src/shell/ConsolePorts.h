#pragma once

#include "platform/WindowPorts.h"

#include <QString>

#include <cstdio>

namespace vk {

// The log of a window-less run: every line goes to standard output as it is appended; a
// replacement of the whole text is printed as one line.
class ConsoleLog final : public LogView {
public:
    explicit ConsoleLog(std::FILE* out = stdout) : out_(out) {}
    void appendLine(const QString& line) override;
    void replaceText(const QString& text) override;

private:
    std::FILE* out_;
};

// The last packet of a window-less run is kept, not shown.
class KeptPacket final : public PacketView {
public:
    void setText(const QString& text) override { text_ = text; }
    const QString& text() const { return text_; }

private:
    QString text_;
};

// The general error handler replaces the log's text with the error's message.
class LogReplacingErrorHandler final : public GeneralErrorHandler {
public:
    explicit LogReplacingErrorHandler(LogView& log) : log_(log) {}
    void handleException(const std::exception& error) override;

private:
    LogView& log_;
};

// Lets the event loop handle what is pending (timer ticks, signals); a stop is asked for by a stop
// signal or the end of the window.
class EventLoopPump final : public MessagePump {
public:
    void processPendingMessages() override;
    bool stopRequested() const override;
};

}  // namespace vk
