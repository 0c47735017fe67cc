#pragma once

#include "platform/Errors.h"
#include "platform/WindowPorts.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace vk::test {

// The window's views as the tests see them: everything is recorded.
class RecordingLog final : public LogView {
public:
    void appendLine(const QString& line) override { lines.append(line); }
    void replaceText(const QString& text) override {
        lines = QStringList{text};
        ++replacements;
    }
    QStringList lines;
    int replacements = 0;
};

class RecordingPacket final : public PacketView {
public:
    void setText(const QString& t) override { text = t; }
    QString text;
};

// The general error handler replaces the log with the message, as the window's does.
class ReplacingErrorHandler final : public GeneralErrorHandler {
public:
    explicit ReplacingErrorHandler(LogView& log) : log_(log) {}
    void handleException(const std::exception& error) override {
        messages.append(errorMessage(error));
        log_.replaceText(errorMessage(error));
    }
    QStringList messages;

private:
    LogView& log_;
};

class ScriptedPump final : public MessagePump {
public:
    void processPendingMessages() override {
        ++calls;
        if (onPump) {
            onPump();
        }
    }
    bool stopRequested() const override { return stop; }
    int calls = 0;
    std::function<void()> onPump;
    bool stop = false;  // the program was asked to end
};

// Message boxes answered as the test sets in advance; every box shown is recorded.
class ScriptedMessageBoxes final : public MessageBoxes {
public:
    MessageBoxAnswer show(const MessageBoxRequest& request) override {
        shown.push_back(request);
        if (onShow) {
            onShow(request);
        }
        if (answers.isEmpty()) {
            return request.buttons == MessageBoxRequest::Buttons::Ok ? MessageBoxAnswer::Ok
                                                                     : MessageBoxAnswer::No;
        }
        return answers.takeFirst();
    }
    void setNextAnswer(MessageBoxAnswer answer) { answers.append(answer); }
    QList<MessageBoxAnswer> answers;
    std::vector<MessageBoxRequest> shown;
    std::function<void(const MessageBoxRequest&)> onShow;
};

}  // namespace vk::test
